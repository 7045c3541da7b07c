// Which languages the Language menu offers and which it checks.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "desktop/language_list.h"

namespace plugshift {
namespace {

namespace fs = std::filesystem;

struct Case {
    const char* name;
    std::vector<std::string> shipped;  // help files in lang/
    std::wstring current;
    std::vector<std::wstring> items;
    int checked;
};

// A language whose help is not there is not offered, so F1 always finds the help of a chosen
// language; codes compare without regard to case, an unknown one is listed as it is.
TEST(LanguageListTest, OffersOnlyLanguagesWhoseHelpShips) {
    const Case cases[] = {
        {"two shipped",
         {"en_us.chm", "sp_la.html"},
         L"sp_la",
         {L"&English", L"Espa\u00f1ol Latino Americano(&A)"},
         32788},
        {"current in capitals",
         {"en_us.html", "de.html"},
         L"DE",
         {L"&English", L"Deutsch(&D)"},
         32778},
        {"current not offered", {"en_us.html"}, L"de", {L"&English"}, 0},
        {"unknown code", {"xx.html"}, L"", {L"xx"}, 0},
        {"none", {}, L"de", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path lang = fs::temp_directory_path() / "plugshift-language-list";
        fs::remove_all(lang);
        fs::create_directories(lang);
        for (const std::string& name : c.shipped) {
            std::ofstream(lang / name) << "help";
        }
        LanguageList list({L"EN_US", L"de", L"sp_la", L"xx"}, c.current, lang);
        std::vector<std::wstring> texts;
        for (const LanguageList::Item& item : list.items()) {
            texts.push_back(item.text);
        }
        EXPECT_EQ(texts, c.items);
        EXPECT_EQ(list.checkedCommand(), c.checked);
    }
}

TEST(LanguageListTest, OnlyAKnownCommandIsChosen) {
    LanguageList list;
    ASSERT_NE(list.choose(32785), nullptr);
    EXPECT_EQ(std::wstring(list.choose(32785)->code), L"pt_br");
    EXPECT_EQ(list.checkedCommand(), 32785);
    EXPECT_EQ(list.choose(32790), nullptr);
    EXPECT_EQ(list.checkedCommand(), 32785);
    EXPECT_EQ(LanguageList::find(L"Pt_Br")->command, 32785);
    EXPECT_EQ(LanguageList::find(L"pt_"), nullptr);
}

}  // namespace
}  // namespace plugshift
