#include "conversion/serial_decisions.h"

#include <algorithm>

#include "tasks/radio_info.h"

namespace plugshift {

namespace {
constexpr uint32_t kLastAscii = 0x7F;
}  // namespace

bool checkNewSerial(std::wstring_view entered, std::wstring_view present,
                    std::vector<uint8_t>& bytes, WorkflowOutcome& outcome) {
    bytes.clear();
    const bool ascii = std::all_of(entered.begin(), entered.end(), [](wchar_t c) {
        return static_cast<uint32_t>(c) <= kLastAscii;
    });
    if (entered.size() != present.size() || !ascii || !RadioInfo::isSerialFormat(entered)) {
        outcome = WorkflowOutcome::of(kStrSerialIncorrect, MessageIcon::Error);
        return false;
    }
    if (entered == present) {
        outcome = WorkflowOutcome::of(kStrSerialIdentical, MessageIcon::Error);
        return false;
    }
    bytes.assign(entered.begin(), entered.end());
    return true;
}

}  // namespace plugshift
