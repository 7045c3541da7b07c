#pragma once

#include <windows.h>

#include <string>

#include "desktop/message_box_style.h"

namespace plugshift {

// The application's own message box: the system's icon of the style (a MessageBoxStyle) at the
// top left, the text beside it, the buttons of the style in a band along the bottom. Returns the
// button pressed (IDOK, IDCANCEL, IDYES, IDNO).
class MessageBoxDialog {
public:
    MessageBoxDialog(std::wstring caption, std::wstring text, unsigned style);

    int run(HWND owner);

    // The system icon the style asks for, or none.
    static LPCWSTR iconOf(unsigned style);

private:
    static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void initialise(HWND dialog);
    void measureText(HWND dialog);
    void placeWindow(HWND dialog) const;
    void placeButtons(HWND dialog) const;
    void paint(HWND dialog) const;
    int buttonCount() const;

    std::wstring caption_;
    std::wstring text_;
    unsigned style_;
    HICON icon_ = nullptr;
    RECT textArea_{};
    bool singleLine_ = true;
    HBRUSH bandBrush_ = nullptr;
};

}  // namespace plugshift
