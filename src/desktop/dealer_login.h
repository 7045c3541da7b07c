#pragma once

#include <functional>
#include <optional>
#include <string>

#include "conversion/dealer_password.h"

namespace plugshift {

// The dealer login dialog's decisions over the shared password rule: after a wrong entry the
// dialog comes back, the entry selected, with the notice (string 104) in place of the hint
// (string 107) until the entry changes. Without a dealer password set up no dialog is shown.
class DealerLogin {
public:
    static constexpr int kMaxDigits = 15;
    using StoreAcceptedCode = DealerPassword::StoreAccepted;
    // Shows the dialog once; the entry confirmed with Login, or nothing when it was closed.
    using AskOnce = std::function<std::optional<std::wstring>(DealerLogin& login)>;

    DealerLogin(std::wstring dealerCode, StoreAcceptedCode storeAccepted);

    bool isSetUp() const { return password_.isSetUp(); }
    // Asks until an entry is the dealer code (true, the code stored) or the dialog is closed.
    bool run(const AskOnce& ask);
    // The entry confirmed with Login; true (and the code stored) when it is the dealer code.
    bool submit(const std::wstring& entry);
    // The entry as it reads now: the hint is back once it differs from the refused one.
    void entryChanged(const std::wstring& entry);
    bool isWrongShown() const { return wrong_; }
    // What the entry holds when the dialog comes up: the last entry tried.
    const std::wstring& lastEntry() const { return lastEntry_; }
    // The line below the entry.
    std::wstring lineText() const;

private:
    DealerPassword password_;
    std::wstring lastEntry_;
    bool wrong_ = false;
};

}  // namespace plugshift
