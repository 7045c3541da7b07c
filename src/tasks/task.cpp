#include "tasks/task.h"

#include <exception>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "tasks/messages.h"

namespace plugshift {

Task::~Task() {
    if (workerThread_.joinable()) {
        cancel();
        workerThread_.join();
    }
}

bool Task::addCommand(Command* command) {
    if (command == nullptr) {
        return false;
    }
    commands_.push_back(command);
    return true;
}

size_t Task::clearCommands() {
    const size_t held = commands_.size();
    commands_.clear();
    return held;
}

bool Task::isRunning() const {
    if (!workerThread_.joinable()) {
        return false;
    }
    // A worker that has ended without getting its notice out is never reaped by the handler.
    const bool ended = threadBlock_.finished.load(std::memory_order_acquire);
    return !ended || threadBlock_.noticeDelivered.load(std::memory_order_relaxed);
}

bool Task::start() {
    if (isRunning()) {
        return false;
    }
    if (workerThread_.joinable()) {
        workerThread_.join();
    }
    if (commands_.empty()) {
        return false;
    }
    threadBlock_.cancel = false;
    threadBlock_.notifyWindow = eventWindow();
    threadBlock_.commands = commands_;
    threadBlock_.noticeDelivered = false;
    threadBlock_.finished = false;
    workerThread_ = std::thread(&Task::runCommands, std::ref(threadBlock_));
    return true;
}

void Task::cancel() {
    threadBlock_.cancel = true;
}

intptr_t Task::handleMessage(const Message& message) {
    if (message.id == kMsgTaskEnded) {
        onRunEnded();
    }
    return 0;
}

void Task::onRunEnded() {
    // The notice is the worker's last act, so this wait is short; after it the block is ours again.
    if (workerThread_.joinable()) {
        workerThread_.join();
    }
    postToListeners(kMsgTaskEnded, 0, 0);
}

void Task::runCommands(ThreadBlock& block) {
    const intptr_t result = runAll(block);
    const bool delivered =
        block.notifyWindow && block.notifyWindow->sendNotify(kMsgTaskEnded, 0, result);
    block.noticeDelivered.store(delivered, std::memory_order_relaxed);
    block.finished.store(true, std::memory_order_release);
}

// The count when every command ran and returned true, otherwise the index of the first command
// that failed, threw or was not started because the run was cancelled.
intptr_t Task::runAll(ThreadBlock& block) {
    const auto count = static_cast<intptr_t>(block.commands.size());
    for (intptr_t i = 0; i < count; ++i) {
        if (block.cancel.exchange(false)) {
            return i;
        }
        if (!runGuarded(*block.commands[i])) {
            return i;
        }
    }
    return count;
}

// An exception must not end the worker without its notice, and it is a failure of the command:
// the caller learns the outcome from the ok flag and the chain.
bool Task::runGuarded(Command& command) {
    const wchar_t* kThrew = L"Error:command stopped by an exception (%ls).";
    try {
        return command.run();
    } catch (const std::exception& e) {
        ErrorChain::add(kErrorOther, kThrew, fromUtf8(e.what()).c_str());
    } catch (...) {
        ErrorChain::add(kErrorOther, kThrew, L"unknown");
    }
    command.ok = false;
    return false;
}

}  // namespace plugshift
