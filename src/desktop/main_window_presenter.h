#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "conversion/conversion_record.h"
#include "conversion/radio_opening.h"
#include "conversion/workflow_end.h"
#include "conversion/workflow_front_end.h"
#include "desktop/language_list.h"
#include "desktop/main_window_view.h"

namespace plugshift {

class Configuration;
class ConsoleLink;
struct ConsoleMessage;
class RadioManager;
class Task;
struct WorkflowOutcome;

// The main window's decisions, for any view: the controls' enabling and focus, the cable state,
// the dealer login, test mode, the three radio workflows and their messages, the console
// requests, the language list and the help. The view draws; this decides what it shows.
class MainWindowPresenter : private CableCountQuestion, private WorkflowFrontEnd {
public:
    enum class Operation { Idle = 0, Converting = 1, UpdatingSerial = 2, GettingInfo = 3 };

    static constexpr int kSerialMaxLength = 11;
    // A result the console does not take is handed over again at once, up to this many times.
    static constexpr int kEndAttempts = 11;
    // How long the window flashes when a console switches the test mode.
    static constexpr int kFlashMs = 1000;
    // Test mode: the caption's suffix and the question before it is entered.
    static constexpr const wchar_t* kTestModeSuffix = L" [Test mode]";
    static constexpr const wchar_t* kTestModeQuestion =
        L"Update flash tool is entering test mode, \t\r\ndo you want to continue?";
    // Shown when the conversion's result cannot be handed to the console.
    static constexpr const wchar_t* kConsoleUnreachable = L"Failed to connect to console.";

    // Listens to the manager's cable notices through the view's message target and resumes its
    // poll; the view is fully built.
    MainWindowPresenter(MainWindowView& view, RadioManager& manager, Task& task,
                        Configuration& configuration);
    // Stops listening and pauses the poll.
    ~MainWindowPresenter() override;
    MainWindowPresenter(const MainWindowPresenter&) = delete;
    MainWindowPresenter& operator=(const MainWindowPresenter&) = delete;

    // The first state of the window: texts, caption, enabling, "N/A" everywhere.
    void start();

    // A menu command or a button, by its id.
    void onCommand(int id);
    // A message of the task engine for this window (progress, cable state).
    void onMessage(uint32_t id, uintptr_t wParam, intptr_t lParam);
    // Enter pressed with the focus on the control: the new serial number is entered to be
    // written, a button is pressed.
    void onEnter(int focusedId);
    // The close box (or Alt+F4): the window ends as by Exit, and like Exit not while a workflow
    // runs, when it is refused without a word.
    void onClose() { exitApplication(); }
    // A menu command highlighted: its prompt in the status bar; any other id (0 when a menu
    // closes or the pointer moves over the window) brings the general prompt back.
    void onMenuHighlight(int command);

    Operation operation() const { return operation_; }
    bool isCableConnected() const { return cableConnected_; }
    bool isDealerLoggedIn() const { return dealerLoggedIn_; }
    bool isResultShown() const { return resultShown_; }
    bool isEnabled(int id) const;
    // In test mode the one-cable check counts nothing and returns 0, a conversion asks nothing
    // and its result goes to the console; the caption says so.
    bool testMode() const { return testMode_; }
    void setTestMode(bool on);
    // The console last taken by WM_TOOL_UPDATE_START; 0 for none.
    int64_t consoleWindow() const { return consoleWindow_; }
    // Where a conversion saves the personality it keeps; the data folder's backup/ by default.
    void setBackupFolder(std::filesystem::path folder) { backupFolder_ = std::move(folder); }

    // Answers and results to the consoles go through the link.
    void setConsoleLink(ConsoleLink* link) { console_ = link; }
    // One request of a console; returns the answer for its RESULT line.
    int64_t consoleRequest(const ConsoleMessage& request);

    // The languages the Language menu offers and the one checked; choosing one (its command)
    // stores it for the next start and says a restart is needed.
    const LanguageList& languages() const { return languages_; }

    // Counts the cables and, while two or more are plugged in, asks for all but one to be
    // removed (string 113), counting again after each answer; returns the last count.
    int oneCableCheck();
    void applyEnablingRules();
    // Shows the radio's values (or "N/A" before anything was read) and its model's picture.
    void refreshDisplay();
    // After a workflow's success: the values and the time of the result.
    void showResult();
    // The texts the value controls show now.
    const std::array<std::wstring, MainWindowView::FieldCount>& shownTexts() const {
        return shown_;
    }

private:
    void exitApplication();
    void dealerLogin();
    void chooseLanguage(int command);
    // The serial-number group is shown and usable only to a logged-in dealer.
    void showSerialGroup(bool shown);
    void openHelp();
    void getRadioInformation();
    void updateSerialNumber();
    void onCableNotification(intptr_t lParam);
    bool closePulledRadio();
    void setEnabled(int id, bool enabled);
    void setTexts();
    bool removeExtraCables(int count) override;
    // The question of the one-cable check; none in test mode, which counts nothing.
    CableCountQuestion* cableQuestion() { return testMode_ ? nullptr : this; }
    // A Yes/No question; true for Yes.
    bool ask(const std::wstring& text, unsigned icon);
    static std::wstring textOf(const WorkflowOutcome& outcome);
    void showOutcome(const WorkflowOutcome& outcome);

    // The opening every workflow shares: operation set, its controls disabled, then the radio
    // opened; a full identity read remembers the radio is known.
    RadioOpening::Result openWorkflow(Operation operation, std::initializer_list<int> controls,
                                      RadioOpening::Probe probe, RadioOpening::Identity identity);
    // The identity read again after radio work: false (string 143) when it fails.
    bool readIdentity(WorkflowOutcome& outcome);
    // The cable is no longer plugged in.
    bool cableGone();
    void closeWorkflow();

    // Convert (main_window_presenter_convert.cpp): the window as the workflows' front end.
    void convert();
    // The Convert workflow on the opened radio: a conversion, or the finish of one that did not
    // end; its end shown, or handed to the console in test mode.
    void runConvertWorkflow(bool keepPersonality, bool identityComplete);
    void showConversionEnd(const WorkflowEnd& end);
    ConversionRecord conversionRecord() const;
    bool confirm(const WorkflowOutcome& question) override;
    bool confirmLoss(const WorkflowOutcome& question) override;
    bool confirmInPerson(const WorkflowOutcome& question) override;
    void showRadio(bool afterRadioWork) override;
    bool runCommand(ConvertRadio& command) override;
    void runSerialUpdate(SerialNumberUpdate& command) override;
    void backupSaved(const std::filesystem::path& backup) override;
    bool readAgain() override;
    // After a failed conversion that saved a backup: offers to convert the radio again with the
    // backup's personality, as long as the recovery fails and the user wants to try again. A
    // pulled cable is to be plugged in again first. True when the radio was recovered.
    bool offerRecovery(const std::filesystem::path& backup);
    enum class RecoveryEnd { Recovered, TryAgain, GaveUp };
    RecoveryEnd recoverFromBackup(const std::filesystem::path& path);
    void reportToConsole(bool success);
    int64_t enterTestMode(int64_t console);
    int64_t exitTestMode(int64_t console);
    int64_t startFromConsole(int64_t console);
    void acknowledge(int64_t console, const char* name);

    MainWindowView& view_;
    RadioManager& manager_;
    Task& task_;
    Configuration& configuration_;
    std::shared_ptr<MessageTarget> target_;
    std::filesystem::path backupFolder_;
    ConsoleLink* console_ = nullptr;
    int64_t consoleWindow_ = 0;
    LanguageList languages_;

    std::array<std::wstring, MainWindowView::FieldCount> shown_;
    std::vector<int> enabled_;
    bool cableConnected_ = false;
    Operation operation_ = Operation::Idle;
    bool dealerLoggedIn_ = false;
    bool testMode_ = false;
    bool resultShown_ = false;
    // Whether a radio has been read since the window opened; until then every value is "N/A".
    bool identityRead_ = false;
    bool inCableNotification_ = false;
};

}  // namespace plugshift
