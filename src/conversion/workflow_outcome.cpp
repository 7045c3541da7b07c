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
    return withArgument(format, argument);
}

}  // namespace plugshift
