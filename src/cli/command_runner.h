#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tasks/message_loop.h"
#include "tasks/message_target.h"
#include "tasks/task.h"

namespace plugshift {

class Command;
class ProgressBar;

// Runs one radio command as the desktop window's wait dialog does: on the Task's worker thread,
// with the command line's thread serving the messages meanwhile, and the command's progress drawn
// on the bar (when there is one). A command that names the step it is in gives it through stepText;
// the runner reads it on the worker thread, when the command reports, since that thread alone
// changes it.
class CommandRunner {
public:
    // bar: where progress is drawn; null for a command that reports none.
    explicit CommandRunner(ProgressBar* bar);
    ~CommandRunner();
    CommandRunner(const CommandRunner&) = delete;
    CommandRunner& operator=(const CommandRunner&) = delete;

    // The window the command is to report to.
    std::shared_ptr<MessageTarget> window(std::function<std::wstring()> stepText = {});
    // A line for the bar's stream from any thread (the command's worker); it is written on this
    // thread, between progress lines, while the command runs. Null bar: dropped.
    std::function<void(std::string)> notifier();
    // Runs the command to its end; its ok flag, or false when the Task was busy.
    bool run(Command& command);

private:
    class Relay;

    void onMessage(const Message& message);

    ProgressBar* bar_;
    MessageLoop loop_;
    Task task_;
    std::shared_ptr<LoopWindow> taskWindow_;
    std::shared_ptr<LoopWindow> progressWindow_;
    std::shared_ptr<Relay> relay_;
    std::mutex notesLock_;
    std::vector<std::string> notes_;
};

}  // namespace plugshift
