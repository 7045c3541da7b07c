#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "desktop/status_bar_parts.h"

namespace plugshift {

class Command;
class DealerLogin;
class MessageTarget;
class Task;

// What the presenter asks of a main window, whatever draws it. Controls are named by the ids
// they have always had; texts are wide strings. Modal calls return only once the user (or the
// task) has ended them, with the answer.
class MainWindowView {
public:
    // The identity values, in display order.
    enum Field {
        RadioType,
        RegionCode,
        Model,
        SerialNumber,
        FirmwareVersion,
        CodeplugVersion,
        KeypadVersion,
        UserPrivateId,
        FieldCount
    };

    // Controls.
    static constexpr int kIdGetRadioInfo = 1058;
    static constexpr int kIdKeepPersonality = 1036;
    static constexpr int kIdConvert = 1039;
    static constexpr int kIdNewSerial = 1042;
    static constexpr int kIdUpdateSerial = 1044;
    static constexpr int kIdRadioInfoGroup = 1066;
    static constexpr int kIdSerialGroup = 1043;
    static constexpr int kIdSerialGroupLabel = 1078;
    static constexpr int kIdPicture = 1049;
    static constexpr int kIdTimeLabel = 1062;
    // The value edits and their captions, by Field.
    static constexpr std::array<int, FieldCount> kValueIds = {1068, 1069, 1070, 1071,
                                                              1072, 1073, 1081, 1074};
    static constexpr std::array<int, FieldCount> kCaptionIds = {1067, 1046, 1032, 1033,
                                                                1075, 1076, 1080, 1079};
    // The window itself, where setFocus parks the focus while a workflow runs.
    static constexpr int kIdWindow = 0;

    // Menu commands.
    static constexpr int kCmdExit = 32773;
    static constexpr int kCmdDealerLogin = 32774;
    static constexpr int kCmdAbout = 32775;
    static constexpr int kCmdHelpContents = 32776;

    virtual ~MainWindowView() = default;

    // Where the task engine posts this window's messages (cable state, progress); the view hands
    // them to MainWindowPresenter::onMessage on its own thread.
    virtual std::shared_ptr<MessageTarget> messageTarget() = 0;

    virtual void setControlText(int id, const std::wstring& text) = 0;
    virtual void enableControl(int id, bool enabled) = 0;
    virtual void showControl(int id, bool shown) = 0;
    virtual void setFocus(int id) = 0;
    // Selects all of an edit's text, or none of it with the caret at the start.
    virtual void selectText(int id, bool all) = 0;
    virtual bool isKeepPersonalityChecked() const = 0;
    virtual void setKeepPersonalityChecked(bool checked) = 0;
    virtual std::wstring newSerialText() const = 0;
    // Shows or hides the serial-number group, fitting the window's height to it.
    virtual void showSerialGroup(bool shown) = 0;
    virtual void setCaption(const std::wstring& caption) = 0;
    // The picture beside the radio's values: the bitmap of that resource id, in the system's
    // colours (the same one again redraws nothing).
    virtual void showPicture(int bitmapId) = 0;
    // The Language menu's check mark on the item of the command; 0 for none.
    virtual void checkLanguage(int command) = 0;

    // The status bar: the text of the prompt or the cable part, and the progress of the command
    // at work, 0..StatusBarParts::kScale (the same percent again repaints nothing).
    virtual void showStatusText(StatusBarParts::Part part, const std::wstring& text) = 0;
    virtual void showProgress(int percent) = 0;

    virtual void setWaitCursor(bool on) = 0;
    virtual void flash(int milliseconds) = 0;

    // Modal: the message box (a MessageBoxStyle); returns the button pressed.
    virtual int messageBox(const std::wstring& text, unsigned style) = 0;
    // Modal: runs the command on the task behind the "Please wait..." window until the task
    // announces the end of the run.
    virtual void runCommand(Task& task, Command& command) = 0;
    // Modal: the dealer's password dialog, shown once with the login's last entry selected and
    // its line below the entry; the entry confirmed, or nothing when the dialog was closed.
    virtual std::optional<std::wstring> askDealerPassword(DealerLogin& login) = 0;
    virtual void showAbout() = 0;
    // Hands a help file to the system's viewer; false when it could not.
    virtual bool openHelpFile(const std::filesystem::path& path) = 0;

    // Runs the work once the current message has been handled, on the window's thread.
    virtual void runSoon(std::function<void()> work) = 0;
    // Ends the window with the result.
    virtual void closeWindow(int result) = 0;
};

}  // namespace plugshift
