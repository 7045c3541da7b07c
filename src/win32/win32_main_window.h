#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>

#include "desktop/main_window_view.h"
#include "win32/main_menu.h"
#include "win32/progress_status_bar.h"
#include "win32/radio_picture.h"
#include "win32/registered_console_messages.h"
#include "win32/win32_console_link.h"
#include "win32/win32_message_target.h"

namespace plugshift {

class Configuration;
class MainWindowPresenter;
class RadioManager;

// The main window as a Win32 dialog from its template: it draws what the presenter says and hands
// it the clicks, the menu commands, the task engine's messages and the consoles' requests.
class Win32MainWindow : public MainWindowView {
public:
    Win32MainWindow(RadioManager& manager, Task& task, Configuration& configuration);
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;

    // Runs the window modally until it closes; returns the result it closed with.
    int run();
    HWND handle() const { return window_; }

    std::shared_ptr<MessageTarget> messageTarget() override { return target_; }
    void setControlText(int id, const std::wstring& text) override;
    void enableControl(int id, bool enabled) override;
    void showControl(int id, bool shown) override;
    void setFocus(int id) override;
    void selectText(int id, bool all) override;
    bool isKeepPersonalityChecked() const override;
    void setKeepPersonalityChecked(bool checked) override;
    std::wstring newSerialText() const override;
    void showSerialGroup(bool shown) override;
    void setCaption(const std::wstring& caption) override;
    void showPicture(int bitmapId) override;
    void checkLanguage(int command) override { menu_.checkLanguage(command); }
    void showStatusText(StatusBarParts::Part part, const std::wstring& text) override {
        statusBar_.setText(part, text);
    }
    void showProgress(int percent) override;
    void setWaitCursor(bool on) override;
    void flash(int milliseconds) override;
    int messageBox(const std::wstring& text, unsigned style) override;
    void runCommand(Task& task, Command& command) override;
    std::optional<std::wstring> askDealerPassword(DealerLogin& login) override;
    void showAbout() override;
    bool openHelpFile(const std::filesystem::path& path) override;
    void runSoon(std::function<void()> work) override;
    void closeWindow(int result) override;

private:
    static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void initialise(HWND dialog);
    void onCommand(WPARAM wParam);
    void onDestroy();
    void answer(LRESULT result) const;
    bool onConsoleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void runQueuedWork();
    // Makes the picture of the bitmap for the present colours and DPI, and shows it.
    void rebuildPicture(int bitmapId);
    HWND control(int id) const { return GetDlgItem(window_, id); }

    RadioManager& manager_;
    Task& task_;
    Configuration& configuration_;
    HWND window_ = nullptr;
    std::shared_ptr<Win32MessageTarget> target_;
    RegisteredConsoleMessages consoleMessages_;
    std::unique_ptr<Win32ConsoleLink> consoleLink_;
    std::unique_ptr<MainWindowPresenter> presenter_;
    MainMenu menu_;
    ProgressStatusBar statusBar_;
    RadioPicture picture_;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    std::deque<std::function<void()>> soon_;
    // Client heights: to the serial number group's top (logged out) and below it (logged in).
    int shortHeight_ = 0;
    int fullHeight_ = 0;
    bool waitCursor_ = false;
};

}  // namespace plugshift
