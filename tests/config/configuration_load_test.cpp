#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "config/configuration.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "installation_fixture.h"

namespace plugshift {
namespace {

using Records = std::vector<std::pair<int, std::wstring>>;

constexpr const char* kSetup = R"(<setup id="1" name="PERU"/>)";

// Every element the loader reads, each resolving to a flash file of the fixture.
constexpr const char* kConfig = R"(<?xml version="1.0" encoding="windows-1252"?>
<cfg id="1" name="PERU">
  <ad name="ADDR_" ver="A01.02.00"/>
  <bu><bl name="DYN" from="1" to="" addr="820000" len="800"/></bu>
  <mo type="KMV" alias="K1" img="0" name="RQX770HJNWE"><bl name="DEF" ver="R01.02.00"/></mo>
</cfg>)";

Records chainRecords() {
    Records records;
    for (const ErrorRecord& r : ErrorChain::records()) {
        records.emplace_back(r.category, r.message);
    }
    return records;
}

std::wstring replaced(std::wstring text, const std::wstring& key, const std::wstring& value) {
    for (size_t at = text.find(key); at != std::wstring::npos; at = text.find(key, at)) {
        text.replace(at, key.size(), value);
        at += value.size();
    }
    return text;
}

class LoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ErrorChain::remove(0);
        install_.addFlashFile("addr.ftf", "ADDR_A01.02.00");
        install_.addFlashFile("def.ftf", "RQX770HJNWEDEFR01.02.00");
        ASSERT_TRUE(config_.createDocument());
    }
    void TearDown() override { ErrorChain::remove(0); }

    // nullptr leaves the file out; an empty text writes a file of 0 bytes.
    bool load(const char* config, const char* setup) {
        if (config != nullptr) {
            std::string_view text(config);
            text.empty() ? InstallationFixture::writeBytes(install_.configFile(), "")
                         : install_.writeConfig(text);
        }
        if (setup != nullptr) {
            std::string_view text(setup);
            text.empty() ? InstallationFixture::writeBytes(install_.setupFile(), "")
                         : install_.writeSetup(text);
        }
        return config_.load(install_.configPath(), install_.setupPath());
    }

    Records expected(const Records& table) const {
        Records out;
        for (const auto& [category, message] : table) {
            out.emplace_back(category,
                             replaced(replaced(message, L"{config}", install_.configPath()),
                                      L"{setup}", install_.setupPath()));
        }
        return out;
    }

    InstallationFixture install_;
    Configuration config_;
};

TEST_F(LoadTest, FullConfigurationLoads) {
    ASSERT_TRUE(load(kConfig, kSetup)) << ErrorChain::text();
    EXPECT_TRUE(ErrorChain::records().empty());
    EXPECT_EQ(config_.regionId(), L"1");
    EXPECT_EQ(config_.regionName(), L"PERU");
    std::wstring path;
    ASSERT_TRUE(config_.getAddressFile(L"A01.02.00", path));
    EXPECT_EQ(std::filesystem::path(path), install_.dataFolder() / "addr.ftf");
    ASSERT_TRUE(config_.getBlockFile(L"RQX770HJNWE", L"DEF", L"R01.02.00", path));
    EXPECT_EQ(std::filesystem::path(path), install_.dataFolder() / "def.ftf");
    EXPECT_EQ(config_.documentPath(), install_.setupPath());
}

TEST_F(LoadTest, ConfigurationWithoutElementsLoadsAndFindsNothing) {
    ASSERT_TRUE(load(R"(<c id="7" name="PERU"/>)", R"(<s id="7" name="PERU"/>)"));
    std::wstring text;
    EXPECT_FALSE(config_.getAddressFile(L"A01.02.00", text));
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(config_.hasModel(L"RQX770HJNWE"));
    EXPECT_FALSE(config_.nextModelName(text));
    int32_t kind;
    EXPECT_FALSE(config_.nextRangeKind(kind));
}

// Region texts are compared after decoding from code page 1252 on both sides.
TEST_F(LoadTest, RegionWithCodePageLettersMatches) {
    ASSERT_TRUE(load(R"(<c id="1" name="PERÚ"/>)", R"(<s id="1" name="PERÚ"/>)"))
        << ErrorChain::text();
    EXPECT_EQ(config_.regionName(), L"PER\u00DA");
}

TEST_F(LoadTest, WithoutDocumentTheGuardedRegionFails) {
    Configuration bare;
    install_.writeConfig(kConfig);
    install_.writeSetup(kSetup);
    EXPECT_FALSE(bare.load(install_.configPath(), install_.setupPath()));
    EXPECT_EQ(chainRecords(), expected({{6, L"Failed to load config file [{config}]."}}));
}

TEST_F(LoadTest, ValuesReadBeforeAFailureStay) {
    ASSERT_FALSE(load(R"(<c id="1" name="PERU">
        <ad name="ADDR_" ver="A01.02.00"/><mo type="" alias="a" img="0" name="X"/></c>)",
                      kSetup));
    EXPECT_EQ(config_.regionName(), L"PERU");
    std::wstring path;
    EXPECT_TRUE(config_.getAddressFile(L"A01.02.00", path));
}

TEST_F(LoadTest, ReadScrambledFileRefusals) {
    namespace fs = std::filesystem;
    // A path of 512 characters or more is refused before anything else, without a record.
    EXPECT_FALSE(config_.readScrambledFile(std::wstring(512, L'a')));
    EXPECT_TRUE(config_.documentPath().empty());
    EXPECT_TRUE(ErrorChain::records().empty());

    // Short enough in characters, too long once narrowed: it cannot be opened.
    const std::wstring wide(300, L'\u00E9');
    EXPECT_FALSE(config_.readScrambledFile(wide));
    std::wstring message = L"Error:failed to open the specified file [" + wide + L"].";
    message.resize(ErrorChain::kMaxMessage);
    EXPECT_EQ(chainRecords(), (Records{{1, message}}));
    ErrorChain::remove(0);

    // What cannot be read in full: a folder, and a file far larger than any configuration.
    const fs::path big = install_.dataFolder() / "big.xml";
    InstallationFixture::writeBytes(big, "x");
    fs::resize_file(big, Configuration::kMaxFileSize + 1);
    for (const fs::path& path : {install_.dataFolder(), big}) {
        EXPECT_FALSE(config_.readScrambledFile(fromUtf8(path.string())));
        EXPECT_EQ(chainRecords(), (Records{{1, L"Error:invalid config file."}})) << path;
        ErrorChain::remove(0);
    }
}

struct FailureCase {
    const char* name;
    const char* config;
    const char* setup;
    Records records;
};

class LoadFailureTest : public LoadTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LoadFailureTest, RecordsTheCauseInOrder) {
    const FailureCase& c = GetParam();
    EXPECT_FALSE(load(c.config, c.setup));
    EXPECT_EQ(chainRecords(), expected(c.records));
}

constexpr const wchar_t* kFailedConfig = L"Failed to load config file [{config}].";
constexpr const wchar_t* kFailedSetup = L"Failed to load setup file [{setup}].";
// After any failure of a setup file that is there: whose file it is, which a reinstall keeps.
const std::pair<int, std::wstring> kDamagedSetup{
    6, L"The damaged file is the setup file [{setup}] of this computer's data folder."};
const std::pair<int, std::wstring> kReinstallKeepsIt{
    6,
    L"Reinstalling the application does not replace it: move it away and start again to get a "
    L"fresh copy from the installation."};

const FailureCase kFailures[] = {
    {"ConfigMissing",
     nullptr,
     kSetup,
     {{1, L"Error:failed to open the specified file [{config}]."},
      {6, L"The initial file [{config}] is invalid."}}},
    {"ConfigOfZeroBytes", "", kSetup, {{6, L"The initial file [{config}] is invalid."}}},
    {"ConfigNotXml",
     R"(<c id="1" name="PERU">)",
     kSetup,
     {{6, L"The initial file [{config}] is invalid."}}},
    {"ConfigWithoutElement",
     R"(<?xml version="1.0"?><!-- nothing -->)",
     kSetup,
     {{6, L"The initial file [{config}] is invalid."}}},
    {"RegionIdMissing", R"(<c name="PERU"/>)", kSetup, {{6, kFailedConfig}}},
    {"RegionIdEmpty", R"(<c id="" name="PERU"/>)", kSetup, {{6, L"The Region ID is empty."}}},
    {"RegionNameMissing", R"(<c id="1"/>)", kSetup, {{6, kFailedConfig}}},
    {"RegionNameEmpty", R"(<c id="1" name=""/>)", kSetup, {{6, L"The Region name is empty."}}},
    {"AddressVersionEmpty",
     R"(<c id="1" name="PERU"><ad name="ADDR_" ver=""/></c>)",
     kSetup,
     {{6, L"The ADDR version is empty."}}},
    {"AddressVersionMissing",
     R"(<c id="1" name="PERU"><ad name="ADDR_"/></c>)",
     kSetup,
     {{6, kFailedConfig}}},
    {"AddressNameMissing",
     R"(<c id="1" name="PERU"><ad ver="A01.02.00"/></c>)",
     kSetup,
     {{6, kFailedConfig}}},
    {"AddressFileLost",
     R"(<c id="1" name="PERU"><x><ad name="ADDR_" ver="A09.09.09"/></x></c>)",
     kSetup,
     {{6, L"Address file is lost."}}},
    {"RuleNameMissing",
     R"(<c id="1" name="PERU"><bu><bl from="1"/></bu></c>)",
     kSetup,
     {{6, kFailedConfig}}},
    {"RuleFromMissing",
     R"(<c id="1" name="PERU"><bu><bl name="dyn" to="" addr="" len=""/></bu></c>)",
     kSetup,
     {{6, kFailedConfig}}},
    {"RuleLengthMissing",
     R"(<c id="1" name="PERU"><bu><bl name="CON" from="" to="" addr=""/></bu></c>)",
     kSetup,
     {{6, kFailedConfig}}},
    {"ModelTypeEmpty",
     R"(<c id="1" name="PERU"><mo type="" alias="a" img="0" name="X"/></c>)",
     kSetup,
     {{6, L"Block type is empty."}}},
    {"ModelAliasEmpty",
     R"(<c id="1" name="PERU"><mo type="K" alias="" img="0" name="X"/></c>)",
     kSetup,
     {{6, L"Block alias is empty."}}},
    {"ModelAliasMissing",
     R"(<c id="1" name="PERU"><mo type="K" img="0" name="X"/></c>)",
     kSetup,
     {{6, kFailedConfig}}},
    {"ModelImgMissing",
     R"(<c id="1" name="PERU"><mo type="K" alias="a" name="X"/></c>)",
     kSetup,
     {{6, kFailedConfig}}},
    {"ModelImgEmpty",
     R"(<c id="1" name="PERU"><mo type="K" alias="a" img="" name="X"/></c>)",
     kSetup,
     {{6, kFailedConfig}}},
    {"ModelImgNotInteger",
     R"(<c id="1" name="PERU"><mo type="K" alias="a" img="1x" name="X"/></c>)",
     kSetup,
     {{6, kFailedConfig}}},
    {"ModelImgOutOfRange",
     R"(<c id="1" name="PERU"><mo type="K" alias="a" img="2147483648" name="X"/></c>)",
     kSetup,
     {{6, kFailedConfig}}},
    {"ModelNameEmpty",
     R"(<c id="1" name="PERU"><mo type="K" alias="a" img="0" name=""/></c>)",
     kSetup,
     {{6, L"Model name is empty."}}},
    {"ModelNameMissing",
     R"(<c id="1" name="PERU"><mo type="K" alias="a" img="0"/></c>)",
     kSetup,
     {{6, kFailedConfig}}},
    {"BlockNameEmpty",
     R"(<c id="1" name="PERU"><mo type="K" alias="a" img="0" name="RQX770HJNWE">
        <bl name="" ver="R01.02.00"/></mo></c>)",
     kSetup,
     {{6, L"Block name is empty."}}},
    {"BlockVersionEmpty",
     R"(<c id="1" name="PERU"><mo type="K" alias="a" img="0" name="RQX770HJNWE">
        <bl name="DEF" ver=""/></mo></c>)",
     kSetup,
     {{6, L"Block version is empty."}}},
    {"BlockVersionMissing",
     R"(<c id="1" name="PERU"><mo type="K" alias="a" img="0" name="RQX770HJNWE">
        <bl name="DEF"/></mo></c>)",
     kSetup,
     {{6, kFailedConfig}}},
    {"BlockFileLost",
     R"(<c id="1" name="PERU"><mo type="K" alias="a" img="0" name="RQX770HJNWE">
        <bl name="DEF" ver="R01.02.00"/><bl name="HW" ver="R01.02.00"/></mo></c>)",
     kSetup,
     {{6, L"Block HW file is lost."}}},
    {"SetupMissing",
     kConfig,
     nullptr,
     {{1, L"Error:failed to open the specified file [{setup}]."},
      {6, L"The setup file [{setup}] is invalid."}}},
    {"SetupOfZeroBytes",
     kConfig,
     "",
     {{6, L"The setup file [{setup}] is invalid."}, kDamagedSetup, kReinstallKeepsIt}},
    {"SetupNotXml",
     kConfig,
     "<s id=\"1\" name=\"PERU\"></t>",
     {{6, L"The setup file [{setup}] is invalid."}, kDamagedSetup, kReinstallKeepsIt}},
    {"SetupRegionIdMissing",
     kConfig,
     R"(<s name="PERU"/>)",
     {{6, kFailedSetup}, kDamagedSetup, kReinstallKeepsIt}},
    {"SetupRegionIdEmpty",
     kConfig,
     R"(<s id="" name="PERU"/>)",
     {{6, L"The Region ID is empty."}, kDamagedSetup, kReinstallKeepsIt}},
    {"SetupRegionNameEmpty",
     kConfig,
     R"(<s id="1" name=""/>)",
     {{6, L"The Region name is empty."}, kDamagedSetup, kReinstallKeepsIt}},
    {"SetupRegionIdDiffers",
     kConfig,
     R"(<s id="2" name="PERU"/>)",
     {{6, L"The setup has a different region id with config."}, kDamagedSetup, kReinstallKeepsIt}},
    {"SetupRegionNameCaseDiffers",
     kConfig,
     R"(<s id="1" name="peru"/>)",
     {{6, L"The setup has a different region name with config."},
      kDamagedSetup,
      kReinstallKeepsIt}},
    {"SetupBothDifferReportsIdOnly",
     kConfig,
     R"(<s id="2" name="CHILE"/>)",
     {{6, L"The setup has a different region id with config."}, kDamagedSetup, kReinstallKeepsIt}},
    {"SetupPwdWithoutCd2",
     kConfig,
     R"(<s id="1" name="PERU"><pwd cd1="1234"/></s>)",
     {{6, kFailedSetup}, kDamagedSetup, kReinstallKeepsIt}},
    {"SetupRegWithoutId",
     kConfig,
     R"(<s id="1" name="PERU"><a><reg/></a></s>)",
     {{6, kFailedSetup}, kDamagedSetup, kReinstallKeepsIt}},
};

INSTANTIATE_TEST_SUITE_P(Table, LoadFailureTest, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plugshift
