#include "platform/echo_off.h"

#include <windows.h>

#include <cstdio>

namespace plugshift {

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
    if (::SetConsoleMode(console, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT))) {
        saved_ = std::make_unique<Saved>(Saved{console, mode});
    }
}

EchoOff::~EchoOff() {
    if (saved_) {
        ::SetConsoleMode(saved_->console, saved_->mode);
        // The console shows no line end for the entry it did not echo.
        std::fputs("\n", stderr);
    }
}

}  // namespace plugshift
