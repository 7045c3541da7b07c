#include "win32/win32_main_window.h"

#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "desktop/console_message.h"
#include "desktop/main_window_presenter.h"
#include "desktop/string_table.h"
#include "tasks/messages.h"
#include "win32/about_dialog.h"
#include "win32/dealer_login_dialog.h"
#include "win32/message_box_dialog.h"
#include "win32/resource_ids.h"
#include "win32/task_dialog.h"

namespace plugshift {

namespace {

// Work handed to runSoon waits for this message, behind whatever is queued already.
constexpr UINT kMsgRunSoon = WM_APP + 2;
// The window's margin below the serial number group, in dialog units.
constexpr int kBottomMargin = 7;
constexpr int kSerialGroupControls[] = {IDC_SERIAL_GROUP, IDC_SERIAL_GROUP_LABEL, IDC_NEW_SERIAL,
                                        IDC_UPDATE_SERIAL};
// Menu commands have ids above every control's.
constexpr int kFirstMenuCommand = 32768;
// The picture of the window's template, shown until the presenter names one.
constexpr int kTemplatePicture = IDB_RADIO;

// The task engine's messages to this window. The dialog's own messages (DM_GETDEFID and the
// like) share the application range and must stay the dialog manager's.
bool isEngineMessage(UINT message) {
    return message == kMsgProgress || message == kMsgCableState || message == kMsgCommandStarted ||
           message == kMsgCommandEnded;
}

RECT clientRectOf(HWND control, HWND parent) {
    RECT bounds{};
    GetWindowRect(control, &bounds);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&bounds), 2);
    return bounds;
}

}  // namespace

Win32MainWindow::Win32MainWindow(RadioManager& manager, Task& task, Configuration& configuration)
    : manager_(manager), task_(task), configuration_(configuration) {}

Win32MainWindow::~Win32MainWindow() {
    for (HICON icon : {bigIcon_, smallIcon_}) {
        if (icon != nullptr) {
            DestroyIcon(icon);
        }
    }
}

int Win32MainWindow::run() {
    return static_cast<int>(DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN),
                                            nullptr, &Win32MainWindow::procedure,
                                            reinterpret_cast<LPARAM>(this)));
}

INT_PTR CALLBACK Win32MainWindow::procedure(HWND dialog, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<Win32MainWindow*>(lParam)->initialise(dialog);
        return FALSE;  // the presenter has placed the focus
    }
    auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr || !self->presenter_) {
        return FALSE;
    }
    return self->dispatch(message, wParam, lParam);
}

INT_PTR Win32MainWindow::dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (onConsoleMessage(message, wParam, lParam)) {
        return TRUE;
    }
    if (isEngineMessage(message)) {
        presenter_->onMessage(message, wParam, lParam);
        // A command's start is acknowledged.
        answer(message == kMsgCommandStarted ? 1 : 0);
        return TRUE;
    }
    switch (message) {
        case WM_COMMAND:
            onCommand(wParam);
            return TRUE;
        case WM_CLOSE:  // the close box and Alt+F4
            presenter_->onClose();
            return TRUE;
        case WM_HELP:  // F1
            presenter_->onCommand(kCmdHelpContents);
            return TRUE;
        case kMsgRunSoon:
            runQueuedWork();
            return TRUE;
        case WM_MENUSELECT: {
            const bool closed = HIWORD(wParam) == 0xFFFF && lParam == 0;
            const bool submenu = (HIWORD(wParam) & MF_POPUP) != 0;
            presenter_->onMenuHighlight(closed || submenu ? 0 : LOWORD(wParam));
            return TRUE;
        }
        case WM_INITMENUPOPUP:
        case WM_MOUSEMOVE:
            presenter_->onMenuHighlight(0);
            return FALSE;
        case WM_SETCURSOR:
            if (waitCursor_) {
                SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                answer(TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_DRAWITEM:
            return statusBar_.drawProgress(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        case WM_SYSCOLORCHANGE:
            rebuildPicture(picture_.bitmapId());
            presenter_->refreshDisplay();
            SendMessageW(statusBar_.handle(), WM_SYSCOLORCHANGE, wParam, lParam);
            return TRUE;
        case WM_DESTROY:
            onDestroy();
            return TRUE;
        default:
            return FALSE;
    }
}

void Win32MainWindow::initialise(HWND dialog) {
    window_ = dialog;
    target_ = std::make_shared<Win32MessageTarget>(dialog);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    bigIcon_ =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    rebuildPicture(kTemplatePicture);

    statusBar_.create(dialog);
    const RECT serialGroup = clientRectOf(control(IDC_SERIAL_GROUP), dialog);
    RECT margin{0, 0, 0, kBottomMargin};
    MapDialogRect(dialog, &margin);
    shortHeight_ = serialGroup.top;
    fullHeight_ = serialGroup.bottom + margin.bottom;
    SendMessageW(control(IDC_NEW_SERIAL), EM_LIMITTEXT, MainWindowPresenter::kSerialMaxLength, 0);
    showSerialGroup(false);

    presenter_ = std::make_unique<MainWindowPresenter>(*this, manager_, task_, configuration_);
    menu_.build(dialog, presenter_->languages());
    consoleLink_ = std::make_unique<Win32ConsoleLink>(consoleMessages_, dialog);
    presenter_->setConsoleLink(consoleLink_.get());
    presenter_->start();
}

void Win32MainWindow::onCommand(WPARAM wParam) {
    const int id = LOWORD(wParam);
    switch (id) {
        case IDOK: {  // Enter: what it means depends on the control with the focus
            presenter_->onEnter(GetDlgCtrlID(GetFocus()));
            return;
        }
        case IDCANCEL:  // Escape never ends the window
        case IDC_KEEP_PERSONALITY:
            return;
        default:
            break;
    }
    if (HIWORD(wParam) != BN_CLICKED) {
        return;  // edit notifications
    }
    if (id != 0) {
        presenter_->onCommand(id);
    }
}

void Win32MainWindow::onDestroy() {
    // Stops the cable notices and the poll before the window goes.
    presenter_.reset();
    target_->detach();
}

void Win32MainWindow::answer(LRESULT result) const {
    SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
}

bool Win32MainWindow::onConsoleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const std::optional<std::string> name = consoleMessages_.nameOf(message);
    if (!name) {
        return false;
    }
    ConsoleMessage request;
    request.name = *name;
    request.wParam = static_cast<int64_t>(wParam);
    request.lParam = static_cast<int64_t>(lParam);
    answer(static_cast<LRESULT>(presenter_->consoleRequest(request)));
    return true;
}

void Win32MainWindow::runQueuedWork() {
    if (soon_.empty()) {
        return;
    }
    std::function<void()> work = std::move(soon_.front());
    soon_.pop_front();
    work();
}

void Win32MainWindow::rebuildPicture(int bitmapId) {
    HWND frame = control(IDC_PICTURE);
    RECT inside{};
    GetClientRect(frame, &inside);
    HDC dc = GetDC(window_);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(window_, dc);
    if (picture_.rebuild(bitmapId, dpi, {inside.right, inside.bottom})) {
        SendMessageW(frame, STM_SETIMAGE, IMAGE_BITMAP,
                     reinterpret_cast<LPARAM>(picture_.bitmap()));
        UpdateWindow(frame);
    }
}

void Win32MainWindow::setControlText(int id, const std::wstring& text) {
    SetWindowTextW(id == kIdWindow ? window_ : control(id), text.c_str());
}

void Win32MainWindow::enableControl(int id, bool enabled) {
    if (id >= kFirstMenuCommand) {
        menu_.enableCommand(id, enabled);
        return;
    }
    EnableWindow(control(id), enabled ? TRUE : FALSE);
}

void Win32MainWindow::showControl(int id, bool shown) {
    ShowWindow(control(id), shown ? SW_SHOW : SW_HIDE);
}

void Win32MainWindow::setFocus(int id) {
    if (id == kIdWindow) {
        SetFocus(window_);
        return;
    }
    SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control(id)), TRUE);
}

void Win32MainWindow::selectText(int id, bool all) {
    SendMessageW(control(id), EM_SETSEL, 0, all ? -1 : 0);
    SendMessageW(control(id), EM_SCROLLCARET, 0, 0);
}

bool Win32MainWindow::isKeepPersonalityChecked() const {
    return IsDlgButtonChecked(window_, IDC_KEEP_PERSONALITY) == BST_CHECKED;
}

void Win32MainWindow::setKeepPersonalityChecked(bool checked) {
    CheckDlgButton(window_, IDC_KEEP_PERSONALITY, checked ? BST_CHECKED : BST_UNCHECKED);
}

std::wstring Win32MainWindow::newSerialText() const {
    HWND edit = control(IDC_NEW_SERIAL);
    std::vector<wchar_t> buffer(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1);
    GetWindowTextW(edit, buffer.data(), static_cast<int>(buffer.size()));
    return buffer.data();
}

void Win32MainWindow::showSerialGroup(bool shown) {
    for (int id : kSerialGroupControls) {
        ShowWindow(control(id), shown ? SW_SHOW : SW_HIDE);
    }
    RECT frame{};
    RECT client{};
    GetWindowRect(window_, &frame);
    GetClientRect(window_, &client);
    const int chrome = (frame.bottom - frame.top) - client.bottom;
    const int height = (shown ? fullHeight_ : shortHeight_) + statusBar_.height() + chrome;
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    statusBar_.placeAtBottom();
}

void Win32MainWindow::setCaption(const std::wstring& caption) {
    SetWindowTextW(window_, caption.c_str());
}

void Win32MainWindow::showPicture(int bitmapId) {
    if (bitmapId != picture_.bitmapId()) {
        rebuildPicture(bitmapId);
    }
}

void Win32MainWindow::showProgress(int percent) {
    if (percent != statusBar_.percent()) {
        statusBar_.setPercent(percent);
    }
}

void Win32MainWindow::setWaitCursor(bool on) {
    waitCursor_ = on;
    SetCursor(LoadCursorW(nullptr, on ? IDC_WAIT : IDC_ARROW));
}

void Win32MainWindow::flash(int milliseconds) {
    FLASHWINFO info{};
    info.cbSize = sizeof(info);
    info.hwnd = window_;
    info.dwFlags = FLASHW_ALL;
    // One blink at the system's caret rate for each of its periods in the time asked.
    const int period = std::max(1, static_cast<int>(GetCaretBlinkTime()));
    info.uCount = static_cast<UINT>(std::max(1, milliseconds / period));
    FlashWindowEx(&info);
}

int Win32MainWindow::messageBox(const std::wstring& text, unsigned style) {
    return MessageBoxDialog(StringTable::title(), text, style).run(window_);
}

void Win32MainWindow::runCommand(Task& task, Command& command) {
    TaskDialog(task, StringTable::text(str::kPleaseWait)).run(&command, window_);
}

std::optional<std::wstring> Win32MainWindow::askDealerPassword(DealerLogin& login) {
    return DealerLoginDialog(login).run(window_);
}

void Win32MainWindow::showAbout() {
    AboutDialog().run(window_);
}

bool Win32MainWindow::openHelpFile(const std::filesystem::path& path) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(window_, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    // Values up to 32 are the shell's error codes.
    return result > 32;
}

void Win32MainWindow::runSoon(std::function<void()> work) {
    soon_.push_back(std::move(work));
    PostMessageW(window_, kMsgRunSoon, 0, 0);
}

void Win32MainWindow::closeWindow(int result) {
    EndDialog(window_, result);
}

}  // namespace plugshift
