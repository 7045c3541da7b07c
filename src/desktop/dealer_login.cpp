#include "desktop/dealer_login.h"

#include "desktop/string_table.h"

namespace plugshift {

DealerLogin::DealerLogin(std::wstring dealerCode, StoreAcceptedCode storeAccepted)
    : dealerCode_(std::move(dealerCode)), storeAccepted_(std::move(storeAccepted)) {}

bool DealerLogin::run(const AskOnce& ask) {
    if (!isSetUp()) {
        return false;
    }
    while (const std::optional<std::wstring> entry = ask(*this)) {
        if (submit(*entry)) {
            return true;
        }
    }
    return false;
}

bool DealerLogin::submit(const std::wstring& entry) {
    lastEntry_ = entry;
    wrong_ = entry != dealerCode_;
    if (!wrong_ && storeAccepted_) {
        storeAccepted_(dealerCode_);
    }
    return !wrong_;
}

void DealerLogin::entryChanged(const std::wstring& entry) {
    // The refused entry put back into the edit as the dialog comes up is no change.
    if (entry != lastEntry_) {
        wrong_ = false;
    }
}

std::wstring DealerLogin::lineText() const {
    return StringTable::text(wrong_ ? str::kPasswordWrong : str::kPasswordHint);
}

}  // namespace plugshift
