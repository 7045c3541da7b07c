// Which languages the Language menu lists and which it checks.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/configuration.h"
#include "desktop/language_list.h"
#include "desktop/string_table.h"

namespace plugshift {
namespace {

std::vector<std::wstring> texts(const LanguageList& list) {
    std::vector<std::wstring> result;
    for (const LanguageList::Item& item : list.items()) {
        result.push_back(item.text);
    }
    return result;
}

// Every configured code is listed in its order, whether or not its help is installed (F1 says
// when it is not); codes compare without regard to case, an unknown one is listed as it is and
// does nothing; only a listed known current language is checked.
TEST(LanguageListTest, ListsEveryConfiguredLanguage) {
    const std::vector<std::wstring> configured = {L"EN_US", L"de", L"sp_la", L"xx"};
    const std::vector<std::wstring> listed = {L"&English", L"Deutsch(&D)",
                                              L"Espa\u00f1ol Latino Americano(&A)", L"xx"};
    const struct {
        const wchar_t* current;
        int checked;
    } cases[] = {
        {L"sp_la", 32788}, {L"DE", 32778}, {L"en_us", 32777},
        {L"", 0},          {L"xx", 0},     {L"ru", 0},  // known, but not configured
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "current " << testing::PrintToString(c.current));
        const LanguageList list(configured, c.current);
        EXPECT_EQ(texts(list), listed);
        EXPECT_EQ(list.items().back().command, 0);
        EXPECT_EQ(list.checkedCommand(), c.checked);
    }
    EXPECT_TRUE(LanguageList({}, L"de").items().empty());
}

// The configuration's own thirteen codes are the thirteen languages the menu knows, each with its
// command and text, none shown as a bare code.
TEST(LanguageListTest, TheConfiguredDefaultsAreTheKnownLanguages) {
    const std::vector<std::wstring> codes(Configuration::kLanguageCodes.begin(),
                                          Configuration::kLanguageCodes.end());
    const LanguageList list(codes, L"pt_br");
    ASSERT_EQ(list.items().size(), LanguageList::known().size());
    for (size_t i = 0; i < list.items().size(); ++i) {
        const LanguageList::Item& item = list.items()[i];
        SCOPED_TRACE(testing::PrintToString(item.code));
        EXPECT_EQ(item.command, LanguageList::known()[i].command);
        EXPECT_EQ(item.text, StringTable::text(LanguageList::known()[i].stringId));
    }
    EXPECT_EQ(list.checkedCommand(), 32785);
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
