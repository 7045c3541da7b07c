#include "cli/terminal_front_end.h"

#include <atomic>
#include <ostream>

#include "cli/command_runner.h"
#include "cli/console_prompt.h"
#include "cli/exit_codes.h"
#include "cli/progress_bar.h"
#include "config/configuration.h"
#include "conversion/convert_radio.h"
#include "conversion/serial_number_update.h"
#include "errors/wide_text.h"
#include "platform/stop_request.h"
#include "platform/system_files.h"
#include "radio/sbep.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

constexpr const char* kNeedsConfirmation =
    "Not done: it must be confirmed on a terminal, or with --yes.";
constexpr const char* kDeclined = "Not done; the radio is unchanged.";
// What a stop (Ctrl-C, SIGTERM) writes at once; the run then ends at its request's end.
constexpr const char* kStopNotice =
    "\nStop requested: the radio work stops at the end of the request on the line.\n";
// A serial-number update is not stopped once its number is sent: the backup that follows is what
// keeps the number through a later conversion.
constexpr const char* kSerialStopNotice =
    "\nStop requested: the update stops at the end of the request on the line if the new number "
    "has not been sent yet; once it is sent, the update is finished first.\n";

std::string text(const WorkflowOutcome& outcome) {
    return toUtf8(outcome.text());
}

}  // namespace

int exitCodeFor(const WorkflowOutcome& outcome) {
    switch (outcome.stringId) {
        case kStrConnectFailed:
            return kExitNotConnected;
        case kStrRadioUnsupported:
            return kExitModelNotSupported;
        case kStrFileProblem:
        case kStrBackupNotSaved:
        case kStrNotRecorded:
        case kStrStepNotRecorded:
        case kStrRecordUnreadable:
        case kStrRecordOtherFiles:
        case kStrBackupUnusable:
        case kStrPersonalityRestoreFailed:
        case kStrSerialNotRecorded:
            return kExitFileProblem;
        case kStrAlreadyConverted:
            return kExitAlreadyConverted;
        case kStrIncompatible:
        case kStrRecoveryOtherRadio:
        case kStrBackupOtherCodeplug:
        case kStrFinishFirst:
        case kStrSerialIncorrect:
        case kStrSerialIdentical:
            return kExitRefused;
        default:
            return kExitRadioFailed;
    }
}

TerminalFrontEnd::TerminalFrontEnd(CommandIo& io, RadioSession& session, Choices choices)
    : io_(io), session_(session), choices_(choices) {}

TerminalFrontEnd::~TerminalFrontEnd() {
    releaseStops();
}

bool TerminalFrontEnd::ask(const WorkflowOutcome& question) {
    if (!io_.prompt.interactive()) {
        // Said all the same, so a script's log shows what was not confirmed.
        io_.err << text(question) << "\n";
        couldNotAsk_ = true;
        return false;
    }
    return io_.prompt.confirm(text(question));
}

bool TerminalFrontEnd::confirm(const WorkflowOutcome& question) {
    return choices_.yes || ask(question);
}

bool TerminalFrontEnd::confirmLoss(const WorkflowOutcome& question) {
    return choices_.acceptLoss || ask(question);
}

bool TerminalFrontEnd::confirmInPerson(const WorkflowOutcome& question) {
    return ask(question);
}

void TerminalFrontEnd::showRadio(bool afterRadioWork) {
    if (!choices_.showIdentity) {
        return;
    }
    io_.out << (afterRadioWork ? "\nAfter the conversion:\n" : "Before the conversion:\n");
    printIdentity(session_.radio(), &Configuration::instance(), io_.out);
}

bool TerminalFrontEnd::runCommand(ConvertRadio& command) {
    ProgressBar bar(io_.err, io_.redrawProgress);
    CommandRunner runner(&bar);
    command.window = runner.window([&command] { return command.stepText(); });
    note_ = runner.notifier();
    const bool stopped = runStoppable(runner, command, kStopNotice);
    note_ = {};
    return stopped;
}

void TerminalFrontEnd::runSerialUpdate(SerialNumberUpdate& command) {
    io_.err << "Writing the new serial number into the radio...\n";
    CommandRunner runner(nullptr);
    command.window = runner.window();
    runStoppable(runner, command, kSerialStopNotice);
}

bool TerminalFrontEnd::runStoppable(CommandRunner& runner, Command& command, const char* notice) {
    RadioInfo& radio = session_.radio();
    std::atomic<bool>& stop = io_.stop != nullptr ? *io_.stop : ownStop_;
    // Caught until the workflow has ended, the record's last line included: a stop then only
    // waits for it.
    if (!catchingStops_) {
        catchStopRequests(stop, notice);
        catchingStops_ = true;
    }
    if (radio.sbep() != nullptr) {
        radio.sbep()->setStopSignal(&stop);
    }
    runner.run(command);
    if (radio.sbep() != nullptr) {
        radio.sbep()->setStopSignal(nullptr);
    }
    return stop.load();
}

void TerminalFrontEnd::releaseStops() {
    if (catchingStops_) {
        releaseStopRequests();
        catchingStops_ = false;
    }
}

void TerminalFrontEnd::backupSaved(const std::filesystem::path& backup) {
    if (note_) {
        note_("The radio's personality was saved to " + utf8FromPath(backup));
    }
}

bool TerminalFrontEnd::readAgain() {
    return session_.rereadIdentity();
}

int TerminalFrontEnd::report(const WorkflowEnd& end, const NextCommand& next) {
    releaseStops();
    const std::string backup = utf8FromPath(end.backup);
    switch (end.kind) {
        case WorkflowEnd::Kind::Declined:
            io_.err << (couldNotAsk_ ? kNeedsConfirmation : kDeclined) << "\n";
            return kExitRefused;
        case WorkflowEnd::Kind::Refused: {
            const int code = reportFailure(io_.err, end.outcome.text(), exitCodeFor(end.outcome));
            if (end.outcome.stringId == kStrBackupUnusable) {
                io_.err << "To finish without the personality: "
                        << next.line({"convert", "--yes", "--finish-without-backup"}) << "\n";
            } else if (!end.backupNotWritten.empty()) {
                io_.err << "To convert it with this installation's files and write the "
                           "personality saved before back: "
                        << next.restore(end.backupNotWritten) << "\n";
            }
            return code;
        }
        case WorkflowEnd::Kind::Failed:
            if (end.radioSilent) {
                io_.err
                    << "The radio stopped answering. Check the cable and the radio's battery.\n";
            }
            io_.err << text(end.outcome) << "\n";
            for (const ErrorRecord& cause : end.causes) {
                io_.err << "  " << toUtf8(cause.message) << "\n";
            }
            if (end.mayBeHalfWritten) {
                io_.err << "The conversion did not end, so the radio may be half-written.\n";
                if (!backup.empty()) {
                    io_.err << "The radio's personality was saved to " << backup << "\n";
                }
                io_.err << "To finish the conversion from where it stopped: " << next.finish()
                        << "\n";
            } else if (!backup.empty()) {
                io_.err << "The radio was not changed; its personality was saved to " << backup
                        << "\n";
            }
            if (!end.backupNotWritten.empty()) {
                io_.err << "Should this keep failing, write the personality saved before back "
                           "instead: "
                        << next.restore(end.backupNotWritten) << "\n";
            }
            return exitCodeFor(end.outcome);
        case WorkflowEnd::Kind::Converted:
            break;
    }
    io_.out << text(end.outcome) << "\n";
    if (end.rereadFailed) {
        reportFailure(io_.err, workflowText(kStrConvertedNotReread), kExitOk);
    }
    if (!end.warnings.empty()) {
        io_.err << text(
                       WorkflowOutcome::of(kStrConvertWarnings, MessageIcon::Warning, end.warnings))
                << "\n";
    }
    if (end.recordNotClosed) {
        io_.err << text(WorkflowOutcome::of(kStrRecordNotClosed, MessageIcon::Warning,
                                            fromUtf8(end.recordProblem)))
                << "\n";
    }
    if (!backup.empty()) {
        // A run that wrote a backup back saved none of its own.
        io_.out << (end.outcome.stringId == kStrPersonalityRestored
                        ? "The personality written back is the backup "
                        : "The radio's personality was saved to ")
                << backup << "\n";
    }
    if (!end.backupNotWritten.empty()) {
        io_.err << "The personality saved before that conversion was not written back: "
                << utf8FromPath(end.backupNotWritten)
                << "\nIf the owner's user information or contacts are missing, write it back on "
                   "purpose: "
                << next.restore(end.backupNotWritten) << "\n";
    }
    return kExitOk;
}

}  // namespace plugshift
