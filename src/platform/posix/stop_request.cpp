#include "platform/stop_request.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace plugshift {

namespace {

// Read by the handler: set before the handler is installed, cleared after it is removed.
std::atomic<bool>* caught = nullptr;
const char* caughtNotice = nullptr;
size_t caughtNoticeLength = 0;

// Ctrl-C, a kill, and a terminal or SSH session that went away: each stops the radio work at the
// end of its request, so the record closes and the way back is said.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
// What SIGPIPE did before: while the radio works, output to a reader that went away (`| head`)
// must not end the program half-way through the flash.
struct sigaction pipeBefore {};

void onStopRequest(int) {
    // Only what is safe in a signal handler: a lock-free store and write(2).
    if (caught != nullptr) {
        caught->store(true);
    }
    if (caughtNotice != nullptr) {
        [[maybe_unused]] const ssize_t ignored =
            ::write(STDERR_FILENO, caughtNotice, caughtNoticeLength);
    }
}

}  // namespace

void catchStopRequests(std::atomic<bool>& stop, const char* notice) {
    caught = &stop;
    caughtNotice = notice;
    caughtNoticeLength = notice != nullptr ? std::strlen(notice) : 0;
    struct sigaction action {};
    action.sa_handler = onStopRequest;
    sigemptyset(&action.sa_mask);
    // Reads and waits resume after the handler: the engine decides where to stop.
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &pipeBefore);
}

void releaseStopRequests() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
    ::sigaction(SIGPIPE, &pipeBefore, nullptr);
    caught = nullptr;
    caughtNotice = nullptr;
}

}  // namespace plugshift
