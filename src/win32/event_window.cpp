#include "win32/event_window.h"

#include "tasks/event.h"

namespace plugshift {

namespace {

constexpr wchar_t kClassName[] = L"PlugshiftEventWindow";

// The task engine's messages lie in the range applications define for themselves.
bool isEngineMessage(UINT message) {
    return message >= WM_USER && message < WM_APP;
}

}  // namespace

EventWindow::EventWindow(Event& event) : event_(event) {}

EventWindow::~EventWindow() {
    if (target_) {
        target_->detach();
    }
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

bool EventWindow::bind() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &EventWindow::procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    // A second registration fails harmlessly; the class is the same.
    RegisterClassExW(&windowClass);
    window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              windowClass.hInstance, nullptr);
    if (window_ == nullptr) {
        return false;
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    target_ = std::make_shared<Win32MessageTarget>(window_);
    return event_.createEventWindow(target_) != nullptr;
}

LRESULT CALLBACK EventWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<EventWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && isEngineMessage(message)) {
        return self->event_.handleMessage(Message{message, wParam, lParam, Delivery::Posted});
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace plugshift
