#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "config/help_files.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "formats/codeplug_image.h"
#include "formats/flash_report.h"
#include "platform/system_files.h"

namespace plugshift {
namespace {

// The installation packed from sample/ into the build tree, which the demo and later suites use.
class SampleInstallationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ErrorChain::remove(0);
        ASSERT_TRUE(config_.createDocument());
        ASSERT_TRUE(config_.load(fromUtf8(PLUGSHIFT_SAMPLE_INSTALL_DIR "/data/config.xml"),
                                 fromUtf8(PLUGSHIFT_SAMPLE_DATA_DIR "/data/setup.dat")))
            << ErrorChain::text();
    }
    void TearDown() override { ErrorChain::remove(0); }

    Configuration config_;
};

TEST_F(SampleInstallationTest, LoadsWithBothSidesConfigured) {
    EXPECT_EQ(config_.regionName(), L"PERU");
    std::wstring cd1, cd2;
    EXPECT_TRUE(config_.dealerCodes(cd1, cd2));
    EXPECT_TRUE(config_.hasModel(L"RQX770HJNWA")) << "the simulated radio's own model";
    std::wstring path;
    EXPECT_TRUE(config_.getAddressFile(L"A01.02.00", path));
    EXPECT_TRUE(config_.getAddressFile(L"A01.03.00", path));
    int32_t address, length;
    EXPECT_TRUE(config_.findRange(kBlockDyn, 1, 1, address, length));
    EXPECT_EQ(address, 0x820000);
}

// The sample lists the thirteen languages, in the menu's order, and the build tree's lang/ holds
// the help of each, so no configured language leaves F1 with nothing to open.
TEST_F(SampleInstallationTest, ListsEveryLanguageAndShipsItsHelp) {
    const std::vector<std::wstring> all(Configuration::kLanguageCodes.begin(),
                                        Configuration::kLanguageCodes.end());
    EXPECT_EQ(config_.languages(), all);
    for (const std::wstring& code : config_.languages()) {
        const std::string name = toUtf8(HelpFiles::fileNames(code).back());
        EXPECT_TRUE(std::filesystem::is_regular_file(
            pathFromUtf8(PLUGSHIFT_SAMPLE_INSTALL_DIR "/lang/" + name)))
            << name;
    }
}

// A codeplug carries the model number (digits as values) and its version at the start of the
// default block, where the radio reports them from after a conversion.
TEST_F(SampleInstallationTest, CodeplugsCarryTheirIdentityInTheDefaultBlock) {
    const std::pair<const wchar_t*, const wchar_t*> sides[] = {{L"R01.02.00", L"A01.02.00"},
                                                               {L"R01.03.00", L"A01.03.00"}};
    for (const auto& [version, addressVersion] : sides) {
        std::wstring codeplug, addressMap;
        ASSERT_TRUE(config_.getBlockFile(L"RQX770HJNWE", L"DEF", version, codeplug));
        ASSERT_TRUE(config_.getAddressFile(addressVersion, addressMap));
        CodeplugImage cpg;
        ASSERT_TRUE(loadCodeplugBlocks(addressMap, codeplug, cpg)) << ErrorChain::text();
        const CodeplugBlock& def = cpg.block(kBlockDef);
        const uint8_t minor = version == std::wstring(L"R01.02.00") ? 2 : 3;
        const std::vector<uint8_t> identity = {'R', 'Q', 'X', 7,   7, 0,     'H', 'J',
                                               'N', 'W', 'E', 'R', 1, minor, 0};
        ASSERT_GE(def.data.size(), identity.size());
        EXPECT_EQ(std::vector<uint8_t>(def.data.begin(), def.data.begin() + 15), identity);
    }
}

}  // namespace
}  // namespace plugshift
