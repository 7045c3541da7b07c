#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "tasks/command.h"

namespace plugshift::test {

// A command whose run does what the test says and counts how often it was called.
class ScriptedCommand : public Command {
public:
    ScriptedCommand() = default;
    explicit ScriptedCommand(std::function<bool()> body) : body_(std::move(body)) {}

    bool run() override {
        ++runs;
        return body_ ? body_() : true;
    }

    std::atomic<int> runs{0};

private:
    std::function<bool()> body_;
};

// Holds a command inside its run until the test lets it go, so "while running" is a fact, not a
// matter of timing. One use.
class Gate {
public:
    // Called from run: announces that the run is under way, then waits to be let go.
    bool pass() {
        std::unique_lock guard(lock_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(guard, [&] { return released_; });
        return true;
    }
    void waitUntilEntered() {
        std::unique_lock guard(lock_);
        changed_.wait(guard, [&] { return entered_; });
    }
    void release() {
        std::lock_guard guard(lock_);
        released_ = true;
        changed_.notify_all();
    }

private:
    // A mutex and a condition rather than std::latch, whose waits MinGW's library can miss.
    std::mutex lock_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool released_ = false;
};

}  // namespace plugshift::test
