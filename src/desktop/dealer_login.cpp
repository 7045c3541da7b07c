#include "desktop/dealer_login.h"

#include "desktop/string_table.h"

namespace plugshift {

DealerLogin::DealerLogin(std::wstring dealerCode, StoreAcceptedCode storeAccepted)
    : dealerCode_(std::move(dealerCode)), storeAccepted_(std::move(storeAccepted)) {}

bool DealerLogin::submit(const std::wstring& entry) {
    wrong_ = entry != dealerCode_;
    if (!wrong_ && storeAccepted_) {
        storeAccepted_(dealerCode_);
    }
    return !wrong_;
}

std::wstring DealerLogin::lineText() const {
    return StringTable::text(wrong_ ? str::kPasswordWrong : str::kPasswordHint);
}

}  // namespace plugshift
