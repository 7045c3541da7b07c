#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "desktop/language_list.h"
#include "desktop/main_window_view.h"
#include "desktop/string_table.h"
#include "win32/main_menu.h"
#include "win32/resource_ids.h"

namespace plugshift {
namespace {

std::wstring itemText(HMENU menu, int position) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, 128, MF_BYPOSITION);
    return text;
}

class MainMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "no X display for Wine's windows";
        }
        window_ =
            CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                            LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAIN_MENU)),
                            nullptr, nullptr);
    }
    void TearDown() override {
        if (window_ != nullptr) {
            DestroyWindow(window_);
        }
    }

    HWND window_ = nullptr;
};

// The Setting menu: the dealer login, then every configured language, the one the presenter checks
// checked and bold; all texts from the string table.
TEST_F(MainMenuTest, SettingMenuHoldsTheLoginAndTheLanguages) {
    ASSERT_NE(window_, nullptr);
    const LanguageList languages({L"EN_US", L"de", L"pt_br"}, L"pt_br");
    MainMenu menu;
    menu.build(window_, languages);
    menu.checkLanguage(languages.checkedCommand());

    HMENU bar = GetMenu(window_);
    EXPECT_EQ(itemText(bar, 0), StringTable::text(str::kMenuFile));
    EXPECT_EQ(itemText(bar, 1), StringTable::text(str::kMenuSetting));
    HMENU setting = GetSubMenu(bar, 1);
    ASSERT_EQ(GetMenuItemCount(setting), 2);
    EXPECT_EQ(GetMenuItemID(setting, 0), UINT(MainWindowView::kCmdDealerLogin));
    EXPECT_EQ(itemText(setting, 0), StringTable::text(str::kMenuDealerLogin));
    EXPECT_EQ(itemText(setting, 1), StringTable::text(str::kMenuLanguage));
    HMENU list = GetSubMenu(setting, 1);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(GetMenuItemCount(list), 3);
    EXPECT_EQ(itemText(list, 0), L"&English");
    EXPECT_EQ(itemText(list, 1), L"Deutsch(&D)");
    EXPECT_EQ(itemText(list, 2), L"Portugu\u00eas (&Brasil)");
    const UINT brazil = GetMenuItemID(list, 2);
    EXPECT_NE(GetMenuState(list, brazil, MF_BYCOMMAND) & MF_CHECKED, 0u);
    EXPECT_EQ(GetMenuDefaultItem(list, FALSE, 0), brazil);
    EXPECT_EQ(GetMenuState(list, GetMenuItemID(list, 0), MF_BYCOMMAND) & MF_CHECKED, 0u);

    menu.enableCommand(MainWindowView::kCmdDealerLogin, false);
    EXPECT_NE(GetMenuState(setting, MainWindowView::kCmdDealerLogin, MF_BYCOMMAND) & MF_GRAYED, 0u);
}

TEST_F(MainMenuTest, WithoutLanguagesTheSettingMenuHoldsOnlyTheLogin) {
    ASSERT_NE(window_, nullptr);
    MainMenu menu;
    menu.build(window_, LanguageList());
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(GetMenu(window_), 1)), 1);
}

}  // namespace
}  // namespace plugshift
