#include "cli/command_runner.h"

#include <utility>

#include "cli/progress_bar.h"
#include "tasks/command.h"
#include "tasks/messages.h"
#include "tasks/task_waiter.h"

namespace plugshift {

namespace {
constexpr double kFullPercent = 100.0;
// A runner's own message: notes are waiting to be written.
constexpr uint32_t kMsgNotes = 0x7001;
}  // namespace

// Forwards what the command sends to the loop's window, noting the command's step text first.
class CommandRunner::Relay : public MessageTarget {
public:
    Relay(std::shared_ptr<MessageTarget> target, std::function<std::wstring()> stepText)
        : target_(std::move(target)), stepText_(std::move(stepText)) {}

    bool post(uint32_t id, uintptr_t wParam, intptr_t lParam) override {
        noteStep();
        return target_->post(id, wParam, lParam);
    }
    bool sendNotify(uint32_t id, uintptr_t wParam, intptr_t lParam) override {
        noteStep();
        return target_->sendNotify(id, wParam, lParam);
    }
    bool isAlive() const override { return target_->isAlive(); }

    std::wstring step() const {
        std::lock_guard guard(lock_);
        return step_;
    }

private:
    void noteStep() {
        if (!stepText_) {
            return;
        }
        std::wstring text = stepText_();
        std::lock_guard guard(lock_);
        step_ = std::move(text);
    }

    std::shared_ptr<MessageTarget> target_;
    std::function<std::wstring()> stepText_;
    mutable std::mutex lock_;
    std::wstring step_;
};

CommandRunner::CommandRunner(ProgressBar* bar) : bar_(bar) {
    taskWindow_ = loop_.createWindow([this](const Message& m) { return task_.handleMessage(m); });
    task_.createEventWindow(taskWindow_);
    progressWindow_ = loop_.createWindow([this](const Message& m) {
        onMessage(m);
        return intptr_t{0};
    });
}

CommandRunner::~CommandRunner() {
    progressWindow_->destroy();
    taskWindow_->destroy();
}

std::shared_ptr<MessageTarget> CommandRunner::window(std::function<std::wstring()> stepText) {
    relay_ = std::make_shared<Relay>(progressWindow_, std::move(stepText));
    return relay_;
}

std::function<void(std::string)> CommandRunner::notifier() {
    return [this](std::string line) {
        {
            std::lock_guard guard(notesLock_);
            notes_.push_back(std::move(line));
        }
        progressWindow_->post(kMsgNotes, 0, 0);
    };
}

bool CommandRunner::run(Command& command) {
    if (bar_ != nullptr) {
        bar_->start();
    }
    TaskWaiter waiter(task_);
    const bool ran = waiter.run(&command, loop_);
    // Progress the command sent last may still be queued behind the Task's notice.
    loop_.dispatchPending();
    if (bar_ != nullptr) {
        bar_->finish();
    }
    return ran && command.ok;
}

void CommandRunner::onMessage(const Message& message) {
    if (message.id == kMsgNotes) {
        std::vector<std::string> notes;
        {
            std::lock_guard guard(notesLock_);
            notes.swap(notes_);
        }
        for (const std::string& note : notes) {
            if (bar_ != nullptr) {
                bar_->note(note);
            }
        }
        return;
    }
    if (bar_ == nullptr || (message.id != kMsgProgress && message.id != kMsgCommandEnded)) {
        return;
    }
    const std::wstring step = relay_ ? relay_->step() : std::wstring();
    int percent = -1;  // the end notice only brings the step up to date
    if (message.id == kMsgProgress) {
        // As the desktop window reads it: a share of lParam when one is given, else a percent.
        const auto done = static_cast<uint32_t>(message.wParam);
        percent = message.lParam != 0
                      ? static_cast<int>(kFullPercent * done / static_cast<double>(message.lParam))
                      : static_cast<int>(done);
    }
    bar_->update(percent, step);
}

}  // namespace plugshift
