#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "conversion/workflow_outcome.h"
#include "errors/error_chain.h"

namespace plugshift {

// How a conversion workflow ended, for its front end to show.
struct WorkflowEnd {
    enum class Kind {
        Refused,    // a check said no before the radio was changed; outcome says why
        Declined,   // the user said no; nothing was changed
        Converted,  // the radio is converted
        Failed,     // the radio work failed; causes say why
    };

    Kind kind = Kind::Refused;
    WorkflowOutcome outcome;
    // A failure's error chain, root cause first (the chain itself is cleared).
    std::vector<ErrorRecord> causes;
    // Messages that follow the outcome, in the order they are to be shown.
    std::vector<WorkflowOutcome> notes;
    // What a successful run recorded and went on after, newest first; empty when nothing.
    std::wstring warnings;
    // Converted, but the radio did not answer the identity read afterwards.
    bool rereadFailed = false;
    // Converted, but the record still shows the conversion as not ended (why in recordProblem).
    bool recordNotClosed = false;
    std::string recordProblem;
    // The radio work failed because the radio went silent (no reply at all to its last request).
    bool radioSilent = false;
    // A failed run that reached the radio's flash: it may be half-written, and converting it
    // again finishes it.
    bool mayBeHalfWritten = false;
    // The personality backup that brings the owner's data back after a failure (the run's own,
    // or the one it wrote back); empty when there is none.
    std::filesystem::path backup;
    // A backup older than what the radio may hold now, which the run did not write back: the
    // way to write it on purpose.
    std::filesystem::path backupNotWritten;

    bool converted() const { return kind == Kind::Converted; }
};

}  // namespace plugshift
