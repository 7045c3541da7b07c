#include "desktop/dealer_login.h"

#include "desktop/string_table.h"

namespace plugshift {

DealerLogin::DealerLogin(std::wstring dealerCode, StoreAcceptedCode storeAccepted)
    : password_(std::move(dealerCode), std::move(storeAccepted)) {}

bool DealerLogin::run(const AskOnce& ask) {
    const bool accepted = password_.askUntilRight([&]() -> std::optional<std::wstring> {
        std::optional<std::wstring> entry = ask(*this);
        if (entry) {
            // What the dialog shows should it come back: the entry, refused.
            lastEntry_ = *entry;
            wrong_ = true;
        }
        return entry;
    });
    wrong_ = wrong_ && !accepted;
    return accepted;
}

bool DealerLogin::submit(const std::wstring& entry) {
    lastEntry_ = entry;
    wrong_ = !password_.submit(entry);
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
