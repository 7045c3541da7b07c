#pragma once

#include <windows.h>

namespace plugshift {

class DealerLogin;

// The dealer's password entry: a hidden, digits-only edit and the Login button, with a line below
// the edit that shows what the login says (the hint, or in red the refusal of the last entry).
// A wrong entry keeps the dialog up for the next try.
class DealerLoginDialog {
public:
    explicit DealerLoginDialog(DealerLogin& login) : login_(login) {}

    // true when the login accepted an entry; false when the dialog was closed.
    bool run(HWND owner);

private:
    static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void initialise(HWND dialog);
    void submit(HWND dialog);
    void paint(HWND dialog) const;

    DealerLogin& login_;
};

}  // namespace plugshift
