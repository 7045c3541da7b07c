#pragma once

#include <string>

#include "conversion/workflow_strings.h"

namespace plugshift {

// What a workflow decided, for a front end to show: the string and icon of its message box and
// the value for the string's placeholder. The desktop window shows it in its message box; the
// command line prints text().
struct WorkflowOutcome {
    int stringId = kStrNone;
    MessageIcon icon = MessageIcon::None;
    std::wstring argument;

    static WorkflowOutcome of(int stringId, MessageIcon icon, std::wstring argument = {});

    bool hasMessage() const { return stringId != kStrNone; }
    // The English text with the argument in place of its placeholder; empty without a message.
    // The argument is inserted as it is, never read as a format.
    std::wstring text() const;
};

}  // namespace plugshift
