#include "conversion/workflow_outcome.h"

#include <utility>

namespace plugshift {

WorkflowOutcome WorkflowOutcome::of(int stringId, MessageIcon icon, std::wstring argument) {
    return WorkflowOutcome{stringId, icon, std::move(argument)};
}

std::wstring WorkflowOutcome::text() const {
    const wchar_t* format = workflowText(stringId);
    if (format == nullptr) {
        return {};
    }
    std::wstring text = format;
    for (const wchar_t* placeholder : {L"%s", L"%d", L"%1"}) {
        const size_t at = text.find(placeholder);
        if (at != std::wstring::npos) {
            text.replace(at, 2, argument);
            break;
        }
    }
    return text;
}

}  // namespace plugshift
