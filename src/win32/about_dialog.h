#pragma once

#include <windows.h>

namespace plugshift {

// The program's name, version and legal texts, with the application and company icons.
class AboutDialog {
public:
    AboutDialog() = default;
    ~AboutDialog();
    AboutDialog(const AboutDialog&) = delete;
    AboutDialog& operator=(const AboutDialog&) = delete;

    // Returns when OK is pressed.
    void run(HWND owner);

private:
    static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void initialise(HWND dialog);

    HFONT boldFont_ = nullptr;
};

}  // namespace plugshift
