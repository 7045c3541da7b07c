#include "win32/task_dialog.h"

#include "tasks/task.h"
#include "win32/resource_ids.h"

namespace plugshift {

namespace {

// Closes the dialog on a later turn of the loop, once the Task has handled its own notice.
constexpr UINT kMsgClose = WM_APP + 1;

}  // namespace

TaskDialog::TaskDialog(Task& task, std::wstring text) : waiter_(task), text_(std::move(text)) {}

void TaskDialog::run(Command* command, HWND owner) {
    waiter_.addCommand(command);
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PLEASE_WAIT), owner,
                    &TaskDialog::procedure, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK TaskDialog::procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<TaskDialog*>(lParam)->open(dialog);
        return TRUE;
    }
    auto* self = reinterpret_cast<TaskDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    if (TaskWaiter::endsWait(Message{message, wParam, static_cast<intptr_t>(lParam)})) {
        self->finish(dialog);
        return TRUE;
    }
    switch (message) {
        case kMsgClose:
            self->close(dialog);
            return TRUE;
        case WM_COMMAND:  // Enter and Escape
        case WM_CLOSE:
            return TRUE;
        default:
            return FALSE;
    }
}

void TaskDialog::open(HWND dialog) {
    SetDlgItemTextW(dialog, IDC_PLEASE_WAIT_TEXT, text_.c_str());
    window_ = std::make_shared<Win32MessageTarget>(dialog);
    if (waiter_.open(window_) != TaskWaiter::Opening::Started) {
        finish(dialog);  // nothing will announce an end
    }
}

void TaskDialog::finish(HWND dialog) {
    if (finishing_) {
        return;
    }
    finishing_ = true;
    PostMessageW(dialog, kMsgClose, 0, 0);
}

void TaskDialog::close(HWND dialog) {
    window_->detach();
    waiter_.close();
    EndDialog(dialog, 1);
}

}  // namespace plugshift
