#include "win32/win32_console_link.h"

#include <string>

#include "desktop/console_message.h"

namespace plugshift {

bool Win32ConsoleLink::isWindow(int64_t handle) const {
    return handle != 0 && IsWindow(windowOf(handle)) != FALSE;
}

bool Win32ConsoleLink::post(int64_t handle, const char* name, int64_t wParam, int64_t lParam) {
    const UINT id = messages_.idOf(name);
    if (id == 0 || !isWindow(handle)) {
        return false;
    }
    const auto w = static_cast<WPARAM>(wParam);
    const auto l = static_cast<LPARAM>(lParam);
    if (std::string(name) == ConsoleMessage::kEnd) {
        return PostMessageW(windowOf(handle), id, w, l) != FALSE;
    }
    return SendNotifyMessageW(windowOf(handle), id, w, l) != FALSE;
}

int64_t Win32ConsoleLink::ownHandle() const {
    return handleOf(own_);
}

HWND Win32ConsoleLink::windowOf(int64_t handle) {
    return reinterpret_cast<HWND>(static_cast<intptr_t>(handle));
}

int64_t Win32ConsoleLink::handleOf(HWND window) {
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(window));
}

}  // namespace plugshift
