#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace plugshift {

class DealerLogin;

// The dealer's password entry: a hidden, digits-only edit holding the login's last entry,
// selected, and the Login button, with a line below the edit that shows what the login says (the
// hint, or in red the refusal of the last entry).
class DealerLoginDialog {
public:
    explicit DealerLoginDialog(DealerLogin& login) : login_(login) {}

    // Shows the dialog once: the entry confirmed with Login, or nothing when it was closed.
    std::optional<std::wstring> run(HWND owner);

private:
    static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void initialise(HWND dialog);
    void paint(HWND dialog) const;

    DealerLogin& login_;
    std::wstring entry_;
};

}  // namespace plugshift
