#include "tasks/task_waiter.h"

#include <utility>

#include "tasks/messages.h"

namespace plugshift {

TaskWaiter::~TaskWaiter() {
    if (window_) {
        close();
    }
}

TaskWaiter::Opening TaskWaiter::open(std::shared_ptr<MessageTarget> window) {
    if (task_.isRunning()) {
        return Opening::Refused;
    }
    task_.clearCommands();
    for (Command* command : commands_) {
        task_.addCommand(command);
    }
    window_ = std::move(window);
    task_.addListener(window_);
    return task_.start() ? Opening::Started : Opening::NothingToRun;
}

bool TaskWaiter::endsWait(const Message& message) {
    return message.id == kMsgTaskEnded;
}

void TaskWaiter::close() {
    task_.removeListener(window_.get());
    task_.clearCommands();
    window_.reset();
    commands_.clear();
}

bool TaskWaiter::run(Command* command, MessageLoop& loop) {
    addCommand(command);
    bool ended = false;
    auto window = loop.createWindow([&ended](const Message& message) {
        ended = ended || endsWait(message);
        return intptr_t{0};
    });
    const Opening opening = open(window);
    if (opening == Opening::Started) {
        loop.runUntil([&ended] { return ended; });
    }
    close();
    window->destroy();
    return opening != Opening::Refused;
}

}  // namespace plugshift
