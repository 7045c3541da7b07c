#pragma once

#include <windows.h>

#include <string>

namespace plugshift {

class LanguageList;

// The main window's menu: File, Setting (dealer login and the Language submenu) and Help, with
// the texts of the string table and the status bar prompt of each command.
class MainMenu {
public:
    // Fills the window's menu from its template; the Language submenu only when there are
    // languages to offer.
    void build(HWND window, const LanguageList& languages);
    // Marks the checked language (radio check, bold); 0 for none.
    void checkLanguage(int command);
    void enableCommand(int command, bool enabled);
    // The status bar prompt while the command is highlighted; the general one for the others.
    static std::wstring promptFor(int command);

    static constexpr int kFirstLanguage = 32777;
    static constexpr int kLastLanguage = 32789;

private:
    HMENU menu_ = nullptr;
    HMENU languages_ = nullptr;
};

}  // namespace plugshift
