#pragma once

#include <functional>
#include <string>

namespace plugshift {

// The dealer login's decisions: an entry matches the dealer code exactly or it is wrong; after a
// wrong entry the dialog comes back with the notice (string 104) in place of the hint (string
// 107) until the entry changes, with no limit on attempts. An empty dealer code means no dealer
// password is set up: no dialog is shown.
class DealerLogin {
public:
    static constexpr int kMaxDigits = 15;
    using StoreAcceptedCode = std::function<void(const std::wstring& code)>;

    DealerLogin(std::wstring dealerCode, StoreAcceptedCode storeAccepted);

    bool isSetUp() const { return !dealerCode_.empty(); }
    // The entry confirmed with Login; true (and the code stored) when it is the dealer code.
    bool submit(const std::wstring& entry);
    // The entry was edited: the hint is back.
    void entryChanged() { wrong_ = false; }
    bool isWrongShown() const { return wrong_; }
    // The line below the entry.
    std::wstring lineText() const;

private:
    std::wstring dealerCode_;
    StoreAcceptedCode storeAccepted_;
    bool wrong_ = false;
};

}  // namespace plugshift
