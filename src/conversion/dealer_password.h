#pragma once

#include <functional>
#include <optional>
#include <string>

namespace plugshift {

// The dealer login's rule, for the windows and the command line alike: an entry is the dealer
// code exactly or it is wrong, it is asked again with no limit on attempts, and the accepted
// code is stored. An empty dealer code means no dealer password is set up.
class DealerPassword {
public:
    using StoreAccepted = std::function<void(const std::wstring& code)>;
    // One entry from the dealer; nothing when the dealer gave up (a closed dialog, no input).
    using AskOnce = std::function<std::optional<std::wstring>()>;

    DealerPassword(std::wstring dealerCode, StoreAccepted storeAccepted);

    bool isSetUp() const { return !dealerCode_.empty(); }
    // True, and the code stored, when the entry is the dealer code.
    bool submit(const std::wstring& entry) const;
    // Asks until an entry is the dealer code (true) or the dealer gives up.
    bool askUntilRight(const AskOnce& ask) const;

private:
    std::wstring dealerCode_;
    StoreAccepted storeAccepted_;
};

}  // namespace plugshift
