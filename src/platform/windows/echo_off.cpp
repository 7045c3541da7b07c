#include "platform/echo_off.h"

#include <windows.h>

#include <cstdio>

namespace plugshift {

namespace {

// Read by the console's handler thread: set before the handler is added, cleared after.
HANDLE echoConsole = nullptr;
DWORD echoMode = 0;

// Ctrl-C, Ctrl-Break or the console closing: the echo goes back on, then the default handler
// ends the process.
BOOL WINAPI restoreEcho(DWORD) {
    if (echoConsole != nullptr) {
        ::SetConsoleMode(echoConsole, echoMode);
    }
    return FALSE;
}

}  // namespace

struct EchoOff::Saved {
    HANDLE console;
    DWORD mode;
};

EchoOff::EchoOff(int fd) {
    // The console has one input; a descriptor other than the standard input has no echo.
    if (fd != 0) {
        return;
    }
    HANDLE console = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || !::GetConsoleMode(console, &mode)) {
        return;
    }
    echoConsole = console;
    echoMode = mode;
    ::SetConsoleCtrlHandler(restoreEcho, TRUE);
    if (::SetConsoleMode(console, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT))) {
        saved_ = std::make_unique<Saved>(Saved{console, mode});
    } else {
        ::SetConsoleCtrlHandler(restoreEcho, FALSE);
        echoConsole = nullptr;
    }
}

EchoOff::~EchoOff() {
    if (saved_) {
        ::SetConsoleMode(saved_->console, saved_->mode);
        ::SetConsoleCtrlHandler(restoreEcho, FALSE);
        echoConsole = nullptr;
        // The console shows no line end for the entry it did not echo.
        std::fputs("\n", stderr);
    }
}

}  // namespace plugshift
