#include "win32/instance_mutex.h"

#include <windows.h>

namespace plugshift {

InstanceMutex::InstanceMutex(const std::wstring& name)
    : handle_(::CreateMutexW(nullptr, FALSE, name.c_str())),
      outcome_(handle_ == nullptr                         ? Outcome::kFailed
               : ::GetLastError() == ERROR_ALREADY_EXISTS ? Outcome::kAlreadyRunning
                                                          : Outcome::kFirst) {}

InstanceMutex::~InstanceMutex() {
    if (handle_ != nullptr) {
        ::CloseHandle(handle_);
    }
}

bool InstanceMutex::raiseWindowTitled(const std::wstring& title) {
    HWND window = ::FindWindowW(nullptr, title.c_str());
    if (window == nullptr) {
        return false;
    }
    HWND popup = ::GetLastActivePopup(window);
    if (::IsIconic(window)) {
        ::ShowWindow(window, SW_SHOWNOACTIVATE);
    }
    ::SetForegroundWindow(popup != nullptr ? popup : window);
    return true;
}

}  // namespace plugshift
