#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "cli/next_command.h"
#include "cli/radio_session.h"
#include "conversion/workflow_end.h"
#include "conversion/workflow_front_end.h"

namespace plugshift {

class Command;
class CommandRunner;

// The radio workflows on a terminal: questions on the prompt (or answered by --yes), the radio's
// identity and the progress bar on the command's streams, Ctrl-C and SIGTERM stopping the radio
// work at the end of a request.
class TerminalFrontEnd : public WorkflowFrontEnd {
public:
    struct Choices {
        bool yes = false;          // --yes: confirm without asking
        bool acceptLoss = false;   // an option that names the loss of the owner's data
        bool showIdentity = true;  // print the identity before and after
    };

    TerminalFrontEnd(CommandIo& io, RadioSession& session, Choices choices);
    ~TerminalFrontEnd() override;
    TerminalFrontEnd(const TerminalFrontEnd&) = delete;
    TerminalFrontEnd& operator=(const TerminalFrontEnd&) = delete;

    bool confirm(const WorkflowOutcome& question) override;
    bool confirmLoss(const WorkflowOutcome& question) override;
    bool confirmInPerson(const WorkflowOutcome& question) override;
    void showRadio(bool afterRadioWork) override;
    bool runCommand(ConvertRadio& command) override;
    void runSerialUpdate(SerialNumberUpdate& command) override;
    void backupSaved(const std::filesystem::path& backup) override;
    bool readAgain() override;

    // A question went unasked because there was no terminal to ask on.
    bool couldNotAsk() const { return couldNotAsk_; }

    // Prints how the workflow ended and returns the exit code; `next` gives the commands that
    // go on from there with this command's own options. Stops are no longer caught.
    int report(const WorkflowEnd& end, const NextCommand& next);

private:
    bool ask(const WorkflowOutcome& question);
    // Runs the command with Ctrl-C, SIGTERM and SIGHUP raising the radio engine's stop signal (the
    // notice said at once); true when a stop was asked for. The stops stay caught until
    // releaseStops, so a record's last line is written whatever comes.
    bool runStoppable(CommandRunner& runner, Command& command, const char* notice);
    void releaseStops();

    CommandIo& io_;
    RadioSession& session_;
    Choices choices_;
    bool couldNotAsk_ = false;
    std::atomic<bool> ownStop_{false};
    bool catchingStops_ = false;
    std::function<void(std::string)> note_;
};

// The exit code of a workflow's message.
int exitCodeFor(const WorkflowOutcome& outcome);

}  // namespace plugshift
