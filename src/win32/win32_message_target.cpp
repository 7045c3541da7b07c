#include "win32/win32_message_target.h"

namespace plugshift {

bool Win32MessageTarget::post(uint32_t id, uintptr_t wParam, intptr_t lParam) {
    const HWND window = liveWindow();
    return window != nullptr && PostMessageW(window, id, wParam, lParam) != FALSE;
}

bool Win32MessageTarget::sendNotify(uint32_t id, uintptr_t wParam, intptr_t lParam) {
    const HWND window = liveWindow();
    return window != nullptr && SendNotifyMessageW(window, id, wParam, lParam) != FALSE;
}

bool Win32MessageTarget::isAlive() const {
    return liveWindow() != nullptr;
}

void Win32MessageTarget::detach() {
    const std::lock_guard guard(lock_);
    window_ = nullptr;
}

HWND Win32MessageTarget::liveWindow() const {
    const std::lock_guard guard(lock_);
    return window_ != nullptr && IsWindow(window_) ? window_ : nullptr;
}

}  // namespace plugshift
