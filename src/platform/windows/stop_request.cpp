#include "platform/stop_request.h"

#include <windows.h>

#include <cstring>

namespace plugshift {

namespace {

// Read by the handler, which runs on a thread of its own.
std::atomic<std::atomic<bool>*> caught{nullptr};
std::atomic<const char*> caughtNotice{nullptr};

BOOL WINAPI onStopRequest(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            break;
        default:
            return FALSE;
    }
    if (std::atomic<bool>* stop = caught.load()) {
        stop->store(true);
    }
    if (const char* notice = caughtNotice.load()) {
        DWORD written = 0;
        ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), notice,
                    static_cast<DWORD>(std::strlen(notice)), &written, nullptr);
    }
    return TRUE;
}

}  // namespace

void catchStopRequests(std::atomic<bool>& stop, const char* notice) {
    caught.store(&stop);
    caughtNotice.store(notice);
    ::SetConsoleCtrlHandler(onStopRequest, TRUE);
}

void releaseStopRequests() {
    ::SetConsoleCtrlHandler(onStopRequest, FALSE);
    caught.store(nullptr);
    caughtNotice.store(nullptr);
}

}  // namespace plugshift
