#pragma once

#include <windows.h>

#include <memory>
#include <mutex>

#include "tasks/message_target.h"

namespace plugshift {

// A MessageTarget that is a window of the user-interface thread: messages are posted to it, or
// sent as notifications, so no worker waits for that thread. A handle can be reused by another
// window once its own is destroyed, so the owner detaches the target before it destroys the window.
class Win32MessageTarget : public MessageTarget {
public:
    explicit Win32MessageTarget(HWND window) : window_(window) {}

    bool post(uint32_t id, uintptr_t wParam, intptr_t lParam) override;
    bool sendNotify(uint32_t id, uintptr_t wParam, intptr_t lParam) override;
    bool isAlive() const override;

    // Refuses later messages.
    void detach();

private:
    HWND liveWindow() const;

    mutable std::mutex lock_;
    HWND window_;  // null once detached
};

}  // namespace plugshift
