#pragma once

#include <memory>
#include <vector>

#include "tasks/command.h"
#include "tasks/message_loop.h"
#include "tasks/message_target.h"
#include "tasks/task.h"

namespace plugshift {

// What the "Please wait..." dialog does with the Task, without the dialog, so the Qt dialog and
// the command line behave alike: when it comes up it hands its commands to the Task and listens,
// it closes when the Task announces the end, and when it goes away it stops listening and empties
// the Task's list. The Qt dialog calls open, endsWait and close; the command line calls run.
class TaskWaiter {
public:
    enum class Opening {
        Started,       // wait for the Task's notice
        Refused,       // another run is under way: close at once, the commands are not run
        NothingToRun,  // no command was given: close at once, no notice would ever come
    };

    explicit TaskWaiter(Task& task) : task_(task) {}
    ~TaskWaiter();
    TaskWaiter(const TaskWaiter&) = delete;
    TaskWaiter& operator=(const TaskWaiter&) = delete;

    // The commands of this wait (not owned); null ones are left out when they are handed over.
    void addCommand(Command* command) { commands_.push_back(command); }

    // When the dialog comes up; window is where the Task's end notice is to arrive.
    Opening open(std::shared_ptr<MessageTarget> window);
    // Whether a message arriving on that window ends the wait.
    static bool endsWait(const Message& message);
    // When the dialog goes away. The commands of this wait are dropped with it.
    void close();

    // The whole modal wait on the command line: adds the command, opens with a window on loop,
    // runs the loop (and so every other window on it) until the Task's notice, and closes. loop
    // must be the one that serves the Task's own window. false when another run was under way, so
    // the command did not run; otherwise the caller reads the command's ok flag.
    bool run(Command* command, MessageLoop& loop);

private:
    Task& task_;
    std::vector<Command*> commands_;
    std::shared_ptr<MessageTarget> window_;
};

}  // namespace plugshift
