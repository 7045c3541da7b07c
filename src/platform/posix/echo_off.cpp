#include "platform/echo_off.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <iterator>

namespace plugshift {

namespace {

// Signals that end the process by default: the echo goes back on before they do, or the shell
// the user returns to would show nothing that is typed.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Read by the handler: set before it is installed, cleared after it is removed.
int echoFd = -1;
termios echoSettings{};
struct sigaction replaced[std::size(kEndingSignals)];
bool installed[std::size(kEndingSignals)];

void restoreAndEnd(int signal) {
    // Only calls that are safe in a handler. The entry never got its line end.
    ::tcsetattr(echoFd, TCSAFLUSH, &echoSettings);
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, "\n", 1);
    // Reset to the default by SA_RESETHAND: the signal ends the process once this returns.
    ::raise(signal);
}

void catchEndingSignals(int fd, const termios& settings) {
    echoFd = fd;
    echoSettings = settings;
    struct sigaction action {};
    action.sa_handler = restoreAndEnd;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
        // A signal someone else handles or ignores stays theirs.
        installed[i] = ::sigaction(kEndingSignals[i], nullptr, &replaced[i]) == 0 &&
                       replaced[i].sa_handler == SIG_DFL &&
                       ::sigaction(kEndingSignals[i], &action, nullptr) == 0;
    }
}

void releaseEndingSignals() {
    for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
        if (installed[i]) {
            ::sigaction(kEndingSignals[i], &replaced[i], nullptr);
            installed[i] = false;
        }
    }
    echoFd = -1;
}

}  // namespace

struct EchoOff::Saved {
    int fd;
    termios settings;
};

EchoOff::EchoOff(int fd) {
    termios settings{};
    if (fd < 0 || ::tcgetattr(fd, &settings) != 0) {
        return;
    }
    termios quiet = settings;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    catchEndingSignals(fd, settings);
    if (::tcsetattr(fd, TCSAFLUSH, &quiet) == 0) {
        saved_ = std::make_unique<Saved>(Saved{fd, settings});
    } else {
        releaseEndingSignals();
    }
}

EchoOff::~EchoOff() {
    if (saved_) {
        ::tcsetattr(saved_->fd, TCSAFLUSH, &saved_->settings);
        releaseEndingSignals();
    }
}

}  // namespace plugshift
