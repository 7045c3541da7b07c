#include "conversion/radio_opening.h"

#include <string>
#include <vector>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "radio/sbep.h"
#include "tasks/radio_info.h"
#include "tasks/radio_manager.h"

namespace plugshift {

RadioOpening::Result RadioOpening::open(Probe probe, Identity identity) {
    // Records left by earlier work (a failed poll, the last workflow) are not this one's.
    ErrorChain::remove(kErrorOk);
    const int cables = checkOneCable();
    if (question_ != nullptr && cables == 0) {
        return fail(Step::NoCable, kStrConnectFailed, MessageIcon::Error);
    }
    if (cables > 1) {
        return fail(Step::SeveralCables, kStrManyCables, MessageIcon::Warning,
                    std::to_wstring(cables));
    }
    if (!manager_.connect(true)) {
        return fail(Step::NotConnected, kStrConnectFailed, MessageIcon::Error);
    }
    Result result;
    if (!probeCable(probe, result) || !readIdentity(identity, result)) {
        manager_.connect(false);
    }
    return result;
}

int RadioOpening::checkOneCable() {
    USBSerial* port = manager_.radioInfo().port();
    if (question_ == nullptr || port == nullptr) {
        return 0;
    }
    int firstIndex = -1;
    int count = port->countCables(firstIndex);
    while (count >= 2 && question_->removeExtraCables(count)) {
        count = port->countCables(firstIndex);
    }
    return count;
}

bool RadioOpening::probeCable(Probe probe, Result& result) {
    if (probe != Probe::None) {
        switch (manager_.radioInfo().probeCable()) {
            case SBEP::kCableEcho:
                result = fail(Step::CableWrongMode,
                              probe == Probe::Info ? kStrCableToDigital : kStrCableToDigitalRetry,
                              MessageIcon::Warning);
                return false;
            case SBEP::kCableUnsupported:
                result = fail(Step::CableUnsupported, kStrCableUnsupported, MessageIcon::Error);
                return false;
            default:
                break;
        }
    }
    // A cable in its digital mode answers the probe with silence, which leaves a failed read
    // behind that is no fault.
    ErrorChain::remove(kErrorOk);
    return true;
}

bool RadioOpening::readIdentity(Identity identity, Result& result) {
    RadioInfo& radio = manager_.radioInfo();
    bool known = true;
    switch (identity) {
        case Identity::None:
            break;
        case Identity::SerialOnly:
            known = radio.readSerialNumber(kSerialReadAttempts);
            break;
        case Identity::Full:
            result.identityComplete = radio.readIdentity();
            known = result.identityComplete;
            break;
        case Identity::FullOrSerial: {
            result.identityComplete = radio.readIdentity();
            if (result.identityComplete) {
                break;
            }
            // The full read's records say why the radio is not fully known; the fallback's
            // would only repeat them.
            const std::vector<ErrorRecord> why = ErrorChain::records();
            known = radio.readSerialNumber(kSerialReadAttempts);
            ErrorChain::remove(kErrorOk);
            for (const ErrorRecord& record : why) {
                ErrorChain::add(record.category, L"%ls", record.message.c_str());
            }
            break;
        }
    }
    if (!known) {
        result = fail(Step::IdentityUnread, kStrConnectFailed, MessageIcon::Error);
    }
    return known;
}

RadioOpening::Result RadioOpening::fail(Step step, int stringId, MessageIcon icon,
                                        std::wstring argument) {
    Result result;
    result.step = step;
    result.outcome = WorkflowOutcome::of(stringId, icon, std::move(argument));
    return result;
}

}  // namespace plugshift
