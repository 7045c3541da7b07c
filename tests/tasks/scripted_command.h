#pragma once

#include <atomic>
#include <functional>
#include <latch>

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
        entered_.count_down();
        released_.wait();
        return true;
    }
    void waitUntilEntered() { entered_.wait(); }
    void release() { released_.count_down(); }

  private:
    std::latch entered_{1};
    std::latch released_{1};
};

}  // namespace plugshift::test
