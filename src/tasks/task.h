#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

#include "tasks/command.h"
#include "tasks/event.h"

namespace plugshift {

// Runs a list of commands, one run at a time, on a worker thread, so radio work never blocks the
// user interface. The worker reports only by message: when the run ends it notifies the Task's own
// window (kMsgTaskEnded, lParam = the number of commands when all of them ran and returned true,
// otherwise the index of the first one that did not); the Task, on the user-interface thread, then
// reaps the worker and posts kMsgTaskEnded (0, 0) to its listeners.
class Task : public Event {
public:
    Task() = default;
    // Stops the run after its current command and waits for the worker, which uses this object.
    ~Task() override;

    // The list for the next run (not owned); false for no command.
    bool addCommand(Command* command);
    // Empties the list; returns how many commands it held.
    size_t clearCommands();

    // Starts a run of the listed commands. Nothing starts, and false comes back, while a run is
    // under way or when the list is empty.
    bool start();
    // Stops the run before its next command; a request made between runs is dropped at the next
    // start. Any thread may call it.
    void cancel();
    // From start until the Task has handled the run's end notice.
    bool isRunning() const;

    intptr_t handleMessage(const Message& message) override;

private:
    // What the worker reads. Filled before the worker starts and left alone until it has been
    // joined; only the atomics are shared while it runs.
    struct ThreadBlock {
        std::atomic<bool> cancel{false};  // reset by the worker's check, as an auto-reset event
        std::shared_ptr<MessageTarget> notifyWindow;
        std::vector<Command*> commands;
        std::atomic<bool> noticeDelivered{false};
        std::atomic<bool> finished{false};
    };

    static void runCommands(ThreadBlock& block);
    static intptr_t runAll(ThreadBlock& block);
    static bool runGuarded(Command& command);
    void onRunEnded();

    std::vector<Command*> commands_;
    ThreadBlock threadBlock_;
    std::thread workerThread_;
};

}  // namespace plugshift
