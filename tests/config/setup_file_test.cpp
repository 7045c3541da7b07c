#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "config/config_scrambler.h"
#include "config/configuration.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "failing_writer.h"
#include "formats/ansi_text.h"
#include "installation_fixture.h"
#include "platform/safe_file_writer.h"
#include "platform/system_files.h"

namespace plugshift {
namespace {

namespace fs = std::filesystem;

constexpr const char* kConfig = R"(<c id="1" name="PERU"/>)";

class SetupFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ErrorChain::remove(0);
        install_.writeConfig(kConfig);
    }
    void TearDown() override { ErrorChain::remove(0); }

    // A fresh configuration, as at the next start of the program.
    bool start(Configuration& config) {
        return config.createDocument() && config.load(install_.configPath(), install_.setupPath());
    }

    InstallationFixture install_;
};

TEST_F(SetupFileTest, LoadHoldsInstallationValues) {
    install_.writeSetup(R"(<s id="1" name="PERU"><x><reg id="ID-42"/></x>
        <pwd cd1="1234" cd2="999"/><pwd cd1="5" cd2="6"/><langs def="pt_br"/></s>)");
    Configuration config;
    ASSERT_TRUE(start(config)) << ErrorChain::text();
    EXPECT_EQ(config.installId(), L"ID-42");
    std::wstring cd1, cd2;
    ASSERT_TRUE(config.dealerCodes(cd1, cd2));
    EXPECT_EQ(cd1, L"1234");
    EXPECT_EQ(cd2, L"999");
    EXPECT_EQ(config.defaultLanguage(), L"pt_br");
}

TEST_F(SetupFileTest, ValuesAreHeldEvenWhenTheRegionDiffers) {
    install_.writeSetup(R"(<s id="2" name="PERU"><reg id="ID"/><pwd cd1="1" cd2=""/></s>)");
    Configuration config;
    ASSERT_FALSE(start(config));
    EXPECT_EQ(config.installId(), L"ID");
    EXPECT_EQ(config.dealerCode(), L"1");
}

// "Please re-install the application" cannot help with the data folder's own file: err.log says
// which file it is and what does help (the chain's records are in the load table). A missing one
// is the installation's to give, so a reinstall is the right advice there.
TEST_F(SetupFileTest, ErrLogNamesADamagedSetupFileAsThisComputersOwn) {
    ErrorLog::setDirectory(fromUtf8(utf8FromPath(install_.setupFolder())));
    // Without the line ends, which Windows writes as CR LF.
    const std::string notes[] = {
        "] The damaged file is the setup file [" + utf8FromPath(install_.setupFile()) +
            "] of this computer's data folder.",
        "] Reinstalling the application does not replace it: move it away and start again to get a "
        "fresh copy from the installation."};
    const fs::path log = install_.setupFolder() / "log" / "err.log";

    Configuration missing;
    EXPECT_FALSE(start(missing));
    EXPECT_EQ(ErrorChain::records().size(), 2u) << toUtf8(ErrorChain::text());
    EXPECT_FALSE(fs::exists(log));

    install_.writeSetup("not a setup file");
    Configuration damaged;
    EXPECT_FALSE(start(damaged));
    const std::string written = InstallationFixture::readBytes(log);
    for (const std::string& note : notes) {
        EXPECT_NE(written.find(note), std::string::npos) << written;
    }
    ErrorLog::reset();
}

TEST_F(SetupFileTest, WithoutDealerCodeThereAreNoCodes) {
    install_.writeSetup(R"(<s id="1" name="PERU"><pwd cd1="" cd2="77"/></s>)");
    Configuration config;
    ASSERT_TRUE(start(config));
    std::wstring cd1 = L"x", cd2 = L"y";
    EXPECT_FALSE(config.dealerCodes(cd1, cd2));
    EXPECT_TRUE(cd1.empty());
    EXPECT_TRUE(cd2.empty());
}

TEST_F(SetupFileTest, StoredValuesSurviveARestart) {
    install_.writeSetup(R"(<s id="1" name="PERU"><pwd cd1="1234" cd2=""/></s>)");
    Configuration config;
    ASSERT_TRUE(start(config));
    ASSERT_TRUE(config.storeAcceptedCode(L"1234"));
    std::wstring cd1, cd2;
    ASSERT_TRUE(config.dealerCodes(cd1, cd2));
    EXPECT_EQ(cd2, L"1234");
    EXPECT_NE(install_.setupText().find(R"(<pwd cd1="1234" cd2="1234")"), std::string::npos)
        << install_.setupText();
    // Elements missing from the file are created below the root rather than dropped.
    ASSERT_TRUE(config.storeInstallId(L"INST-7"));
    ASSERT_TRUE(config.storeLanguage(L"de"));
    EXPECT_EQ(config.installId(), L"") << "the held id is not changed by a store";

    Configuration next;
    ASSERT_TRUE(start(next)) << ErrorChain::text() << install_.setupText();
    EXPECT_EQ(next.installId(), L"INST-7");
    EXPECT_EQ(next.acceptedCode(), L"1234");
    EXPECT_EQ(next.defaultLanguage(), L"de");
}

TEST_F(SetupFileTest, RefusedStoresLeaveTheFileAlone) {
    install_.writeSetup(R"(<s id="1" name="PERU"><langs def="fr"/></s>)");
    const std::string before = InstallationFixture::readBytes(install_.setupFile());
    Configuration config;
    ASSERT_TRUE(start(config));
    EXPECT_FALSE(config.storeLanguage(L""));
    EXPECT_FALSE(config.storeInstallId(L""));
    EXPECT_FALSE(config.storeAcceptedCode(L""));
    // No byte of code page 1252 stands for this character; writing '?' would change the value.
    EXPECT_FALSE(config.storeInstallId(L"\u4E2D"));
    EXPECT_EQ(InstallationFixture::readBytes(install_.setupFile()), before);
}

// A value the code page cannot hold never enters the document, so the stores after it still
// save, and err.log says why the refused one was not saved (without the value: it may be a
// password).
TEST_F(SetupFileTest, ARefusedValueDoesNotBlockLaterStores) {
    install_.writeSetup(R"(<s id="1" name="PERU"><reg id="old"/><pwd cd1="1234" cd2=""/></s>)");
    ErrorLog::setDirectory(install_.setupFolder().wstring());
    Configuration config;
    ASSERT_TRUE(start(config));
    EXPECT_FALSE(config.storeInstallId(L"Gy\u0151r-7"));
    EXPECT_FALSE(config.storeAcceptedCode(L"12\u01513"));
    EXPECT_EQ(config.acceptedCode(), L"") << "a refused code is not held either";

    ASSERT_TRUE(config.storeAcceptedCode(L"1234"));
    ASSERT_TRUE(config.storeLanguage(L"es"));
    const std::string text = install_.setupText();
    EXPECT_NE(text.find("<reg id=\"old\" />"), std::string::npos) << text;
    EXPECT_NE(text.find("cd2=\"1234\""), std::string::npos) << text;
    EXPECT_NE(text.find("<langs def=\"es\" />"), std::string::npos) << text;

    const std::string log =
        InstallationFixture::readBytes(install_.setupFolder() / "log" / "err.log");
    ErrorLog::reset();
    EXPECT_NE(log.find("the new value of reg/id has a character"), std::string::npos) << log;
    EXPECT_NE(log.find("the new value of pwd/cd2 has a character"), std::string::npos) << log;
    EXPECT_EQ(log.find("\xC5\x91"), std::string::npos) << "no refused value is logged: " << log;
}

// A file written on Windows keeps every byte of its code page, the undefined ones included.
TEST_F(SetupFileTest, CodePageBytesSurviveAWrite) {
    std::string windows = "<s id=\"1\" name=\"PERU\"><reg id=\"Se\xF1or \x80\x81\x9D\"/></s>";
    InstallationFixture::writeBytes(install_.setupFile(), scrambledConfigText(windows));
    Configuration config;
    ASSERT_TRUE(start(config)) << ErrorChain::text();
    EXPECT_EQ(config.installId(), L"Se\u00F1or \u20AC\u0081\u009D");
    ASSERT_TRUE(config.storeLanguage(L"en_us"));
    EXPECT_NE(install_.setupText().find("<reg id=\"Se\xF1or \x80\x81\x9D\" />"), std::string::npos)
        << install_.setupText();
}

TEST_F(SetupFileTest, SavedDocumentReadsBackToTheSameText) {
    install_.writeSetup(R"(<?xml version="1.0"?>
<!-- kept --><s id="1" name="PERU"><pwd cd1="1" cd2="2"/></s>)");
    Configuration config;
    ASSERT_TRUE(start(config));
    ASSERT_TRUE(config.saveDocument());
    const std::string written = install_.setupText();
    EXPECT_NE(written.find("<?xml version=\"1.0\"?>"), std::string::npos) << written;
    EXPECT_NE(written.find("<!-- kept -->"), std::string::npos) << written;
    ASSERT_TRUE(config.readScrambledFile(install_.setupPath()));
    EXPECT_EQ(config.xmlText(), written);
    ASSERT_TRUE(config.saveDocument());
    EXPECT_EQ(install_.setupText(), written) << "a second save writes the same bytes";
}

TEST(SaveDocument, NeedsAPathAndADocument) {
    Configuration config;
    EXPECT_FALSE(config.saveDocument());
    ASSERT_TRUE(config.createDocument());
    EXPECT_FALSE(config.saveDocument());
}

TEST_F(SetupFileTest, InterruptedSaveLeavesTheOldFile) {
    install_.writeSetup(R"(<s id="1" name="PERU"><pwd cd1="1234" cd2="1"/></s>)");
    const std::string before = InstallationFixture::readBytes(install_.setupFile());
    for (auto step :
         {FailingWriter::Step::write, FailingWriter::Step::sync, FailingWriter::Step::rename}) {
        Configuration config;
        ASSERT_TRUE(start(config));
        FailingWriter writer(step);
        config.setFileWriter(&writer);
        EXPECT_FALSE(config.storeAcceptedCode(L"1234"));
        EXPECT_EQ(InstallationFixture::readBytes(install_.setupFile()), before);
        int files = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(install_.setupFolder())) {
            ++files;
        }
        EXPECT_EQ(files, 1) << "no temporary file is left behind";
    }
}

TEST_F(SetupFileTest, ReplacementKeepsThePermissions) {
    install_.writeSetup(R"(<s id="1" name="PERU"/>)");
    fs::permissions(install_.setupFile(), fs::perms::owner_read | fs::perms::owner_write |
                                              fs::perms::group_read | fs::perms::group_write);
    Configuration config;
    ASSERT_TRUE(start(config));
    ASSERT_TRUE(config.storeLanguage(L"it"));
    EXPECT_EQ(fs::status(install_.setupFile()).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::group_write);
}

}  // namespace
}  // namespace plugshift
