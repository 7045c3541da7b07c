#pragma once

#include <string>

namespace plugshift {

// The named mutex that marks the running instance of the window, for every session of the
// machine to see; held from construction to destruction.
class InstanceMutex {
public:
    enum class Outcome { kFirst, kAlreadyRunning, kFailed };

    // Creates (without owning) the mutex of that name; "Global\" is not added, as the name is
    // the product's own.
    explicit InstanceMutex(const std::wstring& name);
    ~InstanceMutex();
    InstanceMutex(const InstanceMutex&) = delete;
    InstanceMutex& operator=(const InstanceMutex&) = delete;

    Outcome outcome() const { return outcome_; }

    // Brings the top-level window of exactly that caption to the front: its last active pop-up
    // (an open message box or dialog) comes forward, the window is shown again without taking
    // the focus when minimised. False when no window has that caption.
    static bool raiseWindowTitled(const std::wstring& title);

private:
    void* handle_;
    Outcome outcome_;
};

}  // namespace plugshift
