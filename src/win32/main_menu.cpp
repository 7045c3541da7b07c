#include "win32/main_menu.h"

#include <string>

#include "desktop/language_list.h"
#include "desktop/string_table.h"
#include "win32/resource_ids.h"

namespace plugshift {

namespace {

enum TopLevel { kFileMenu = 0, kSettingMenu = 1, kHelpMenu = 2 };

void setItemText(HMENU menu, UINT item, bool byPosition, const std::wstring& text) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING;
    info.dwTypeData = const_cast<wchar_t*>(text.c_str());
    SetMenuItemInfoW(menu, item, byPosition ? TRUE : FALSE, &info);
}

}  // namespace

void MainMenu::build(HWND window, const LanguageList& languages) {
    menu_ = GetMenu(window);
    setItemText(menu_, kFileMenu, true, StringTable::text(str::kMenuFile));
    setItemText(menu_, kSettingMenu, true, StringTable::text(str::kMenuSetting));
    setItemText(menu_, kHelpMenu, true, StringTable::text(str::kMenuHelp));
    setItemText(menu_, IDM_EXIT, false, StringTable::text(str::kMenuExit));
    setItemText(menu_, IDM_DEALER_LOGIN, false, StringTable::text(str::kMenuDealerLogin));
    setItemText(menu_, IDM_HELP_CONTENTS, false, StringTable::text(str::kMenuHelpContents));
    setItemText(menu_, IDM_ABOUT, false, StringTable::text(str::kMenuAbout));

    if (languages.items().empty()) {
        return;
    }
    languages_ = CreatePopupMenu();
    for (const LanguageList::Item& item : languages.items()) {
        AppendMenuW(languages_, MF_STRING, static_cast<UINT_PTR>(item.command), item.text.c_str());
    }
    AppendMenuW(GetSubMenu(menu_, kSettingMenu), MF_POPUP, reinterpret_cast<UINT_PTR>(languages_),
                StringTable::text(str::kMenuLanguage).c_str());
    DrawMenuBar(window);
}

void MainMenu::checkLanguage(int command) {
    // Nothing is checked until a language is: the menu is built without a check.
    if (languages_ == nullptr || command == 0) {
        return;
    }
    CheckMenuRadioItem(languages_, LanguageList::kFirstCommand, LanguageList::kLastCommand,
                       static_cast<UINT>(command), MF_BYCOMMAND);
    SetMenuDefaultItem(languages_, static_cast<UINT>(command), FALSE);
}

void MainMenu::enableCommand(int command, bool enabled) {
    EnableMenuItem(menu_, static_cast<UINT>(command),
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

}  // namespace plugshift
