#pragma once

#include <windows.h>

#include <memory>

#include "win32/win32_message_target.h"

namespace plugshift {

class Event;

// The message-only window of a task-engine Event (the Task, the RadioManager): what other threads
// post to it reaches event.handleMessage on the thread that created it.
class EventWindow {
public:
    explicit EventWindow(Event& event);
    ~EventWindow();
    EventWindow(const EventWindow&) = delete;
    EventWindow& operator=(const EventWindow&) = delete;

    // Binds a new window to the event (Event::createEventWindow); false when none could be made.
    bool bind();

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    Event& event_;
    HWND window_ = nullptr;
    std::shared_ptr<Win32MessageTarget> target_;
};

}  // namespace plugshift
