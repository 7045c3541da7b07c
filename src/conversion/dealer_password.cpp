#include "conversion/dealer_password.h"

#include <utility>

namespace plugshift {

DealerPassword::DealerPassword(std::wstring dealerCode, StoreAccepted storeAccepted)
    : dealerCode_(std::move(dealerCode)), storeAccepted_(std::move(storeAccepted)) {}

bool DealerPassword::submit(const std::wstring& entry) const {
    if (!isSetUp() || entry != dealerCode_) {
        return false;
    }
    if (storeAccepted_) {
        storeAccepted_(dealerCode_);
    }
    return true;
}

bool DealerPassword::askUntilRight(const AskOnce& ask) const {
    if (!isSetUp()) {
        return false;
    }
    while (const std::optional<std::wstring> entry = ask()) {
        if (submit(*entry)) {
            return true;
        }
    }
    return false;
}

}  // namespace plugshift
