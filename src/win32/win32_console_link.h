#pragma once

#include <windows.h>

#include "desktop/console_link.h"
#include "win32/registered_console_messages.h"

namespace plugshift {

// The consoles are windows: a console's handle is its window handle. The conversion's result is
// posted; the test-mode acknowledgements are sent as notifications. Neither waits for the console.
class Win32ConsoleLink : public ConsoleLink {
public:
    Win32ConsoleLink(const RegisteredConsoleMessages& messages, HWND own)
        : messages_(messages), own_(own) {}

    bool isWindow(int64_t handle) const override;
    bool post(int64_t handle, const char* name, int64_t wParam, int64_t lParam) override;
    int64_t ownHandle() const override;

    static HWND windowOf(int64_t handle);
    static int64_t handleOf(HWND window);

private:
    const RegisteredConsoleMessages& messages_;
    HWND own_;
};

}  // namespace plugshift
