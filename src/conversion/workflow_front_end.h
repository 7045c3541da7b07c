#pragma once

#include <filesystem>

#include "conversion/workflow_outcome.h"

namespace plugshift {

class ConvertRadio;
class SerialNumberUpdate;

// What a front end does for the radio workflows (the window, the command line, a console's test
// station): it asks, shows and runs; the workflows decide. Each front end answers in its own way
// (a message box, a terminal prompt or --yes, a console that cannot be asked).
class WorkflowFrontEnd {
public:
    virtual ~WorkflowFrontEnd() = default;

    // A yes/no question; true for yes. A front end told to go ahead (--yes, a console's test
    // mode) answers yes without asking.
    virtual bool confirm(const WorkflowOutcome& question) = 0;
    // A question whose yes gives up the owner's data: a standing "go ahead" never answers it;
    // only a person, or an option that names the loss, does.
    virtual bool confirmLoss(const WorkflowOutcome& question) = 0;
    // A question only a person at the tool answers: no option and no test station says yes.
    virtual bool confirmInPerson(const WorkflowOutcome& question) = 0;
    // The radio's identity as last read, before the radio work or after it.
    virtual void showRadio(bool afterRadioWork) = 0;
    // Runs the prepared command to its end, its progress shown; true when the user asked it to
    // stop on the way.
    virtual bool runCommand(ConvertRadio& command) = 0;
    // Runs the serial-number command to its end: a few requests, not stopped half-way.
    virtual void runSerialUpdate(SerialNumberUpdate& command) = 0;
    // Said on the command's thread the moment the owner's personality is saved.
    virtual void backupSaved(const std::filesystem::path& backup) = 0;
    // Reads the radio's identity again after it was converted; false when it does not answer.
    virtual bool readAgain() = 0;
};

}  // namespace plugshift
