#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "tasks/task_waiter.h"
#include "win32/win32_message_target.h"

namespace plugshift {

class Command;
class Task;

// The modal "Please wait..." window over a run of the Task: it hands its command to the Task when
// it comes up and closes when the Task announces the end. It cannot be closed by the user.
class TaskDialog {
public:
    TaskDialog(Task& task, std::wstring text);

    // Returns when the run has ended (or at once when the Task refused it); the caller reads the
    // command's ok flag.
    void run(Command* command, HWND owner);

private:
    static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void open(HWND dialog);
    void finish(HWND dialog);
    void close(HWND dialog);

    TaskWaiter waiter_;
    std::wstring text_;
    std::shared_ptr<Win32MessageTarget> window_;
    bool finishing_ = false;
};

}  // namespace plugshift
