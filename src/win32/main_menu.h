#pragma once

#include <windows.h>

namespace plugshift {

class LanguageList;

// The main window's menu: File, Setting (dealer login and the Language submenu) and Help, with
// the texts of the string table.
class MainMenu {
public:
    // Fills the window's menu from its template; the Language submenu only when there are
    // languages to offer, nothing checked yet.
    void build(HWND window, const LanguageList& languages);
    // Marks the checked language (radio check, bold); 0 for none, at start.
    void checkLanguage(int command);
    void enableCommand(int command, bool enabled);

private:
    HMENU menu_ = nullptr;
    HMENU languages_ = nullptr;
};

}  // namespace plugshift
