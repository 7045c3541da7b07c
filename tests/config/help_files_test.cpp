#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/help_files.h"
#include "installation_fixture.h"

namespace plugshift {
namespace {

namespace fs = std::filesystem;
using Codes = std::vector<std::wstring>;

struct OfferCase {
    const char* name;
    Codes configured;
    std::vector<std::string> present;  // in lang/; a name ending in '/' is a folder
    Codes offered;
};

// A language is offered only when its help is a file in lang/, under its code in lower case.
TEST(HelpFilesTest, OffersOnlyTheLanguagesWhoseHelpShips) {
    const OfferCase cases[] = {
        {"the shipped two of three",
         {L"en_us", L"sp_la", L"de"},
         {"en_us.html", "sp_la.html"},
         {L"en_us", L"sp_la"}},
        {"in the configured order",
         {L"sp_la", L"en_us"},
         {"en_us.html", "sp_la.html"},
         {L"sp_la", L"en_us"}},
        {"compiled help counts", {L"en_us", L"de"}, {"de.chm"}, {L"de"}},
        {"code in capitals",
         {L"EN_US", L"Sp_La"},
         {"en_us.html", "sp_la.html"},
         {L"EN_US", L"Sp_La"}},
        {"an unknown code with help", {L"xx"}, {"xx.html"}, {L"xx"}},
        {"a folder is no help", {L"de"}, {"de.html/"}, {}},
        {"other files are no help", {L"de"}, {"de.htm", "de.html.bak", "de"}, {}},
        {"an empty code is no language", {L""}, {"en_us.html"}, {}},
        {"nothing shipped", {L"en_us", L"sp_la"}, {}, {}},
    };
    for (const OfferCase& c : cases) {
        SCOPED_TRACE(c.name);
        InstallationFixture installation;
        const fs::path lang = installation.dataFolder().parent_path() / "lang";
        fs::create_directories(lang);
        for (const std::string& name : c.present) {
            if (name.back() == '/') {
                fs::create_directories(lang / name);
            } else {
                InstallationFixture::writeBytes(lang / name, "<!DOCTYPE html>");
            }
        }
        EXPECT_EQ(HelpFiles::offered(c.configured, lang), c.offered);
    }
}

TEST(HelpFilesTest, NoFolderOffersNothing) {
    InstallationFixture installation;
    EXPECT_TRUE(
        HelpFiles::offered({L"en_us"}, installation.dataFolder().parent_path() / "lang").empty());
}

// The names F1 tries, compiled help first; an empty language is English.
TEST(HelpFilesTest, FileNamesOfALanguage) {
    EXPECT_EQ(HelpFiles::fileNames(L""), (Codes{L"en_us.chm", L"en_us.html"}));
    EXPECT_EQ(HelpFiles::fileNames(L"PT_BR"), (Codes{L"pt_br.chm", L"pt_br.html"}));
}

}  // namespace
}  // namespace plugshift
