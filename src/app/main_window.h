#pragma once

#include <QDialog>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <array>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>

#include "app/model_pictures.h"
#include "app/radio_display.h"
#include "conversion/conversion_record.h"
#include "conversion/convert_radio.h"
#include "conversion/serial_number_update.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;

namespace plugshift {

class ProgressStatusBar;
class Configuration;
class ConsoleLink;
class ConsoleServer;
struct ConsoleMessage;
class QtMessageTarget;
class RadioManager;
class RecordedRun;
class Task;
struct WorkflowOutcome;

// The main window: the identity of the connected radio, the radio workflows, the cable state in
// the status bar, and the dealer login, language and help menus. It runs until the user exits.
class MainWindow : public QDialog {
    Q_OBJECT
public:
    // Controls, by the ids they have always had; each widget's object name is "control<id>".
    static constexpr int kIdGetRadioInfo = 1058;
    static constexpr int kIdRestore = 1036;
    static constexpr int kIdConvert = 1039;
    static constexpr int kIdNewSerial = 1042;
    static constexpr int kIdUpdateSerial = 1044;
    static constexpr int kIdRadioInfoGroup = 1066;
    static constexpr int kIdSerialGroup = 1043;
    static constexpr int kIdSerialGroupLabel = 1078;
    static constexpr int kIdPicture = 1049;
    static constexpr int kIdTimeLabel = 1062;
    // The value edits and their captions, in display order (RadioDisplay::Field).
    static constexpr std::array<int, RadioDisplay::FieldCount> kValueIds = {1068, 1069, 1070, 1071,
                                                                            1072, 1073, 1081, 1074};
    static constexpr std::array<int, RadioDisplay::FieldCount> kCaptionIds = {
        1067, 1046, 1032, 1033, 1075, 1076, 1080, 1079};

    // Menu commands.
    static constexpr int kCmdExit = 32773;
    static constexpr int kCmdDealerLogin = 32774;
    static constexpr int kCmdAbout = 32775;
    static constexpr int kCmdHelpContents = 32776;

    static constexpr int kSerialMaxLength = 11;

    // Test mode: the caption's suffix and the question before it is entered.
    static constexpr const char* kTestModeSuffix = " [Test mode]";
    static constexpr const char* kTestModeQuestion =
        "Update flash tool is entering test mode, \t\r\ndo you want to continue?";
    // Shown when the conversion's result cannot be handed to the console.
    static constexpr const char* kConsoleUnreachable = "Failed to connect to console.";
    // A result the console does not take is handed over again at once, up to this many times.
    static constexpr int kEndAttempts = 11;
    // How long the window flashes when a console switches the test mode.
    static constexpr int kFlashMs = 1000;

    enum class Operation { Idle = 0, Converting = 1, UpdatingSerial = 2, GettingInfo = 3 };

    MainWindow(RadioManager& manager, Task& task, Configuration& configuration,
               QWidget* parent = nullptr);
    // Stops listening to the radio manager and pauses its poll.
    ~MainWindow() override;

    // A menu command or a button, by its id.
    void onCommand(int id);

    // What the controls and workflows act on; the console protocol drives these too.
    Operation operation() const { return operation_; }
    bool isCableConnected() const { return cableConnected_; }
    bool isDealerLoggedIn() const { return dealerLoggedIn_; }
    bool isResultShown() const { return resultShown_; }
    // In test mode the one-cable check counts nothing and returns 0, a conversion asks nothing
    // and its result goes to the console; the caption says so.
    bool testMode() const { return testMode_; }
    void setTestMode(bool on);
    // The console last taken by WM_TOOL_UPDATE_START; 0 for none.
    int64_t consoleWindow() const { return consoleWindow_; }
    // Where a conversion saves the personality it keeps; the data folder's backup/ by default.
    void setBackupFolder(std::filesystem::path folder) { backupFolder_ = std::move(folder); }
    const ConvertRadio& conversionCommand() const { return programCommand_; }

    // The consoles: requests from the server come to consoleRequest, answers and results go back
    // through it. The link alone serves tests that stand in for the server.
    void attachConsole(ConsoleServer& server);
    void setConsoleLink(ConsoleLink* link) { console_ = link; }
    // One request of a console; returns the answer for its RESULT line.
    int64_t consoleRequest(const ConsoleMessage& request);
    QCheckBox* restoreCheckBox() const { return restore_; }
    ProgressStatusBar* statusBar() const { return statusBar_; }

    // The shared machinery of the workflows.
    // Counts the cables and, while two or more are plugged in, asks for all but one to be
    // removed (string 113), counting again after each answer; returns the last count.
    int oneCableCheck();
    void applyEnablingRules();
    // Shows the record's values (or "N/A" before anything was read) and the model's picture.
    void refreshDisplay();
    // Hides the serial-number group until the dealer has logged in and fits the window to it.
    void layOutSerialGroup();

    // What each control shows now.
    QString displayedText(RadioDisplay::Field field) const;
    QPixmap shownPicture() const { return shownPicture_; }
    const ModelPictures& modelPictures() const { return pictures_; }
    QMenuBar* menuBar() const { return menuBar_; }
    QAction* commandAction(int command) const;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // A dialog that comes up selects the whole text of the field with the focus; the radio type
    // field holds the focus without a selection.
    void setVisible(bool visible) override;
    void changeEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The dialog never ends by Escape or Enter.
    void reject() override {}
    void accept() override {}

private:
    void buildControls();
    void buildMenu();
    QAction* addCommand(QMenu* menu, int command, int textId, int promptId);
    void setTexts();
    void rebuildPictures();

    void onCableNotification(intptr_t lParam);
    // A radio port left open on a cable that has gone (no device of the cable's kind is left) is
    // closed; true when it was.
    bool closePulledRadio();
    // Enter in the new serial number runs Update Serial Number; on a button it presses it.
    void pressEnter();
    void onProgress(uintptr_t done, intptr_t total);

    void exitApplication();
    void dealerLogin();
    void showAbout();
    void openHelp();
    void getRadioInformation();
    void updateSerialNumber();

    // The Convert workflow and the console protocol (main_window_convert.cpp).
    void convert();
    // The question before a conversion (string 116); true for Yes.
    bool confirmConversion();
    // Runs the conversion command, set up by `prepare`, behind the "Please wait..." window; true
    // when the radio is converted and its identity read again. A failure is logged and chooses
    // the outcome; what a success recorded on the way comes back in `warnings`.
    // The run is kept in the data folder's conversion record. A radio that cannot be read again
    // after a successful run is still converted: true, with rereadFailed_ set.
    bool runConversion(bool restore, WorkflowOutcome& outcome, std::wstring& warnings,
                       RecordedRun& record, const std::function<void()>& prepare);
    // The data folder's conversion record (beside backup/).
    ConversionRecord conversionRecord() const;
    // The identity read, else the serial number alone (a half-written radio), then the record's
    // unfinished conversion of that radio. identityComplete tells which read succeeded.
    std::optional<ConversionRecord::Conversion> readForUnfinished(WorkflowOutcome& outcome,
                                                                  bool& identityComplete);
    // Asks whether to finish the radio's unfinished conversion (not in test mode, which always
    // finishes it); true when the user said yes.
    bool askToFinish(const ConversionRecord::Conversion& unfinished);
    // Finishes it from its backup, or with its files when it kept none; the outcome is shown
    // (or goes to the console in test mode). The radio is connected and identified.
    bool finishConversion(const ConversionRecord::Conversion& unfinished);
    // After a success whose radio could not be read again: the note that says so.
    void showRereadNote();
    uint32_t progressScale() const;
    void showWarnings(const std::wstring& warnings);
    // The end of a conversion: the radio let go, the fields refreshed after a success, and the
    // outcome shown (or reported to the console in test mode).
    void showConversionEnd(bool converted, const WorkflowOutcome& outcome,
                           const std::wstring& warnings);
    // After a failed conversion that saved a backup: offers to convert the radio again with the
    // backup's personality, as long as the recovery fails and the user wants to try again.
    void offerRecovery(std::filesystem::path backup);
    // One recovery; returns the backup to offer again, or nothing when there is no retry.
    std::filesystem::path recoverFromBackup(const std::filesystem::path& path);
    // WM_TOOL_UPDATE_END to the console, attempt after attempt; the message box when none takes.
    void reportToConsole(bool success);
    int64_t enterTestMode(int64_t console);
    int64_t exitTestMode(int64_t console);
    int64_t startFromConsole(int64_t console);
    // The flash and the acknowledgement of a test-mode request.
    void acknowledge(int64_t console, const char* name);
    // A Yes/No question; true for Yes.
    bool ask(const QString& text, unsigned icon);

    // The opening every workflow shares: operation set, its controls disabled, the one-cable
    // check, connect. false (with the outcome set) when the radio cannot be connected.
    bool openWorkflow(Operation operation, std::initializer_list<QWidget*> controls,
                      WorkflowOutcome& outcome);
    // The identity read: false (string 143) when it fails; a read remembers the radio is known.
    bool readIdentity(WorkflowOutcome& outcome);
    // The cable-mode probe: false (with the outcome set) when the cable is in the wrong mode
    // (wrongModeString) or unsupported.
    bool probeCable(int wrongModeString, WorkflowOutcome& outcome);
    // The closing every workflow shares, after its message: rules, idle, wait cursor off.
    void closeWorkflow();
    void showOutcome(const WorkflowOutcome& outcome);

    RadioManager& manager_;
    Task& task_;
    Configuration& configuration_;
    std::shared_ptr<QtMessageTarget> target_;
    SerialNumberUpdate serialCommand_;
    ConvertRadio programCommand_;
    std::filesystem::path backupFolder_;
    ConsoleLink* console_ = nullptr;
    QPointer<ConsoleServer> attachedServer_;
    int64_t consoleWindow_ = 0;

    ProgressStatusBar* statusBar_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    QMenu* settingMenu_ = nullptr;
    std::array<QLineEdit*, RadioDisplay::FieldCount> values_{};
    QCheckBox* restore_ = nullptr;
    QPushButton* convert_ = nullptr;
    QPushButton* getInfo_ = nullptr;
    QLineEdit* newSerial_ = nullptr;
    QPushButton* updateSerial_ = nullptr;
    QGroupBox* serialGroup_ = nullptr;
    QLabel* picture_ = nullptr;
    QLabel* timeLabel_ = nullptr;

    bool cableConnected_ = false;
    Operation operation_ = Operation::Idle;
    bool dealerLoggedIn_ = false;
    bool testMode_ = false;
    bool resultShown_ = false;
    // Whether a radio has been read since the window opened; until then every value is "N/A".
    bool identityRead_ = false;
    // The last successful conversion's radio could not be read again afterwards.
    bool rereadFailed_ = false;
    bool inCableNotification_ = false;
    ModelPictures pictures_;
    QPixmap shownPicture_;
    int fullHeight_ = 0;
    int serialGroupTop_ = 0;
};

}  // namespace plugshift
