#include "desktop/main_window_presenter.h"

#include <ctime>
#include <cwchar>
#include <optional>
#include <vector>

#include "config/configuration.h"
#include "conversion/convert_decisions.h"
#include "conversion/convert_workflow.h"
#include "conversion/serial_update_workflow.h"
#include "conversion/workflow_outcome.h"
#include "desktop/dealer_login.h"
#include "desktop/help_location.h"
#include "desktop/message_box_style.h"
#include "desktop/progress_percent.h"
#include "desktop/radio_display.h"
#include "desktop/string_table.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "platform/system_time.h"
#include "tasks/messages.h"
#include "tasks/radio_manager.h"
#include "tasks/task.h"

namespace plugshift {

namespace {

using View = MainWindowView;
using Box = MessageBoxStyle;

// The workflow controls, in the order the enabling rules visit them.
constexpr int kWorkflowControls[] = {View::kIdGetRadioInfo, View::kIdKeepPersonality,
                                     View::kIdConvert, View::kIdNewSerial, View::kIdUpdateSerial};

std::vector<std::wstring> configuredLanguages(Configuration& configuration) {
    std::vector<std::wstring> codes;
    std::wstring code;
    while (configuration.nextLanguage(code)) {
        codes.push_back(code);
    }
    return codes;
}

std::wstring withColon(int stringId) {
    return StringTable::text(stringId) + L':';
}

// When the last result was read, as the time label shows it.
std::wstring resultTime() {
    std::tm local{};
    if (!localTime(std::time(nullptr), local)) {
        return StringTable::text(str::kTimeLabelEmpty);
    }
    wchar_t text[32];
    std::wcsftime(text, std::size(text), L"[ %m-%d %H:%M ]", &local);
    return text;
}

}  // namespace

MainWindowPresenter::MainWindowPresenter(MainWindowView& view, RadioManager& manager, Task& task,
                                         Configuration& configuration)
    : view_(view),
      manager_(manager),
      task_(task),
      configuration_(configuration),
      target_(view.messageTarget()),
      languages_(configuredLanguages(configuration), configuration.defaultLanguage()),
      // A freshly built window's controls are all enabled.
      enabled_(std::begin(kWorkflowControls), std::end(kWorkflowControls)) {
    if (const std::filesystem::path data = ConversionRecord::dataFolderOfLog(); !data.empty()) {
        backupFolder_ = data / "backup";
    }
}

MainWindowPresenter::~MainWindowPresenter() {
    manager_.removeListener(target_.get());
    manager_.pausePolling();
}

void MainWindowPresenter::start() {
    view_.setCaption(StringTable::title());
    showSerialGroup(false);
    manager_.addListener(target_);
    manager_.resumePolling();
    applyEnablingRules();
    setTexts();
    refreshDisplay();
    view_.setKeepPersonalityChecked(false);
    view_.checkLanguage(languages_.checkedCommand());
    onMenuHighlight(0);
}

void MainWindowPresenter::onMenuHighlight(int command) {
    view_.showStatusText(StatusBarParts::Prompt, StatusBarParts::prompt(command));
}

void MainWindowPresenter::showSerialGroup(bool shown) {
    // Enabled before it shows, so the group comes up drawn once, as it is; the entry and its
    // button follow the enabling rules.
    for (int id : {View::kIdSerialGroup, View::kIdSerialGroupLabel}) {
        view_.enableControl(id, shown);
    }
    view_.showSerialGroup(shown);
}

void MainWindowPresenter::setTexts() {
    view_.setControlText(View::kIdGetRadioInfo, StringTable::text(str::kButtonGetRadioInfo));
    view_.setControlText(View::kIdKeepPersonality, StringTable::text(str::kCheckKeepPersonality));
    view_.setControlText(View::kIdConvert, StringTable::text(str::kButtonConvert));
    view_.setControlText(View::kIdUpdateSerial, StringTable::text(str::kButtonUpdateSerial));
    static constexpr std::array<int, View::FieldCount> kCaptionTexts = {
        str::kLabelRadioType,     str::kLabelRegionCode,      str::kLabelModel,
        str::kLabelSerialNumber,  str::kLabelFirmwareVersion, str::kLabelCodeplugVersion,
        str::kLabelKeypadVersion, str::kLabelUserPrivateId};
    for (int field = 0; field < View::FieldCount; ++field) {
        // The user private ID's caption brings its own colon.
        view_.setControlText(View::kCaptionIds[field], field == View::UserPrivateId
                                                           ? StringTable::text(kCaptionTexts[field])
                                                           : withColon(kCaptionTexts[field]));
    }
    view_.setControlText(View::kIdRadioInfoGroup, StringTable::text(str::kRadioInformation));
    view_.setControlText(View::kIdSerialGroup, StringTable::text(str::kLabelSerialNumber));
    view_.setControlText(View::kIdSerialGroupLabel, StringTable::text(str::kLabelSerialNumber));
    view_.setControlText(View::kIdTimeLabel, StringTable::text(str::kTimeLabelEmpty));
}

void MainWindowPresenter::onCommand(int id) {
    switch (id) {
        case View::kIdGetRadioInfo:
            getRadioInformation();
            break;
        case View::kIdUpdateSerial:
            updateSerialNumber();
            break;
        case View::kIdConvert:
            // Not while a console's start waits for its turn.
            if (operation_ == Operation::Idle) {
                convert();
            }
            break;
        case View::kCmdExit:
            exitApplication();
            break;
        case View::kCmdDealerLogin:
            dealerLogin();
            break;
        case View::kCmdAbout:
            view_.showAbout();
            break;
        case View::kCmdHelpContents:
            openHelp();
            break;
        default:
            if (LanguageList::isCommand(id)) {
                chooseLanguage(id);
            }
            break;
    }
}

void MainWindowPresenter::onMessage(uint32_t id, uintptr_t wParam, intptr_t lParam) {
    switch (id) {
        case kMsgProgress:
            if (const std::optional<int> percent = progressPercent(wParam, lParam)) {
                view_.showProgress(*percent);
            }
            break;
        case kMsgCableState:
            onCableNotification(lParam);
            break;
        default:  // command started and ended need nothing here
            break;
    }
}

void MainWindowPresenter::onEnter(int focusedId) {
    // The new serial number is entered to be written; elsewhere Enter presses the focused button.
    const int button = focusedId == View::kIdNewSerial ? View::kIdUpdateSerial : focusedId;
    const bool isButton = button == View::kIdGetRadioInfo || button == View::kIdConvert ||
                          button == View::kIdUpdateSerial;
    if (isButton && isEnabled(button)) {
        onCommand(button);
    }
}

bool MainWindowPresenter::isEnabled(int id) const {
    return std::find(enabled_.begin(), enabled_.end(), id) != enabled_.end();
}

void MainWindowPresenter::setEnabled(int id, bool enabled) {
    std::erase(enabled_, id);
    if (enabled) {
        enabled_.push_back(id);
    }
    view_.enableControl(id, enabled);
}

void MainWindowPresenter::exitApplication() {
    if (operation_ == Operation::Idle) {
        view_.closeWindow(View::kCmdExit);
    }
}

void MainWindowPresenter::dealerLogin() {
    if (dealerLoggedIn_) {
        return;
    }
    std::wstring dealerCode;
    std::wstring acceptedCode;
    if (!configuration_.dealerCodes(dealerCode, acceptedCode)) {
        return;
    }
    DealerLogin login(dealerCode,
                      [this](const std::wstring& code) { configuration_.storeAcceptedCode(code); });
    if (!login.run([this](DealerLogin& asked) { return view_.askDealerPassword(asked); })) {
        return;
    }
    dealerLoggedIn_ = true;
    view_.enableControl(View::kCmdDealerLogin, false);
    showSerialGroup(true);
    applyEnablingRules();
}

void MainWindowPresenter::chooseLanguage(int command) {
    const LanguageList::Language* language = languages_.choose(command);
    if (language == nullptr) {
        return;
    }
    view_.checkLanguage(languages_.checkedCommand());
    configuration_.storeLanguage(language->code);
    view_.messageBox(StringTable::text(str::kRestartForLanguage), Box::kIconInformation);
}

void MainWindowPresenter::openHelp() {
    for (const std::filesystem::path& path :
         HelpLocation::candidates(configuration_.defaultLanguage())) {
        // The system's viewer may run in the background and cannot report a missing file.
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error) &&
            view_.openHelpFile(std::filesystem::absolute(path, error).lexically_normal())) {
            return;
        }
    }
    view_.messageBox(StringTable::text(str::kHelpUnavailable), Box::kIconInformation);
    ErrorLog::write(L"Failed to load help file.");
}

void MainWindowPresenter::applyEnablingRules() {
    const bool wasEnabled[] = {isEnabled(View::kIdGetRadioInfo), isEnabled(View::kIdConvert),
                               isEnabled(View::kIdUpdateSerial)};
    for (int control : kWorkflowControls) {
        const bool serialControl =
            control == View::kIdNewSerial || control == View::kIdUpdateSerial;
        setEnabled(control, cableConnected_ && (!serialControl || dealerLoggedIn_));
    }
    if (cableConnected_) {
        // The focus goes to the first workflow button that has just become usable.
        if (!wasEnabled[0]) {
            view_.setFocus(View::kIdGetRadioInfo);
        } else if (!wasEnabled[1]) {
            view_.setFocus(View::kIdConvert);
        } else if (dealerLoggedIn_ && !wasEnabled[2]) {
            view_.setFocus(View::kIdUpdateSerial);
        }
    } else {
        const int radioType = View::kValueIds[View::RadioType];
        // Focus first: a dialog's focus move selects an edit's whole text, and the caret is to
        // stand at the start with nothing selected.
        view_.setFocus(radioType);
        view_.selectText(radioType, false);
    }
    view_.showStatusText(StatusBarParts::Cable, StatusBarParts::cableText(cableConnected_));
    view_.showControl(View::kIdTimeLabel, resultShown_);
}

void MainWindowPresenter::refreshDisplay() {
    const RadioInfo& radio = manager_.radioInfo();
    shown_ = identityRead_ ? RadioDisplay::texts(radio, configuration_) : RadioDisplay::unknown();
    for (int field = 0; field < View::FieldCount; ++field) {
        view_.setControlText(View::kValueIds[field], shown_[field]);
        view_.selectText(View::kValueIds[field], false);
    }
    if (const std::optional<int> bitmap = RadioDisplay::picture(
            identityRead_ ? radio.modelNumber() : std::wstring(), configuration_)) {
        view_.showPicture(*bitmap);
    }
}

void MainWindowPresenter::showResult() {
    resultShown_ = true;
    refreshDisplay();
    // A number typed for the radio read before is not this radio's.
    view_.setControlText(View::kIdNewSerial, L"");
    view_.showControl(View::kIdTimeLabel, true);
    view_.setControlText(View::kIdTimeLabel, resultTime());
}

void MainWindowPresenter::onCableNotification(intptr_t lParam) {
    // A message box of the one-cable check runs a loop in which later notices arrive; they are
    // dropped, the check counts for itself.
    if (inCableNotification_) {
        return;
    }
    inCableNotification_ = true;
    if (closePulledRadio()) {
        lParam = 0;  // the count held one for the port just closed
    }
    view_.showStatusText(StatusBarParts::Cable, StatusBarParts::cableText(lParam > 0));
    const bool wasConnected = cableConnected_;
    cableConnected_ = lParam > 0;
    if (operation_ == Operation::Idle) {
        if (cableConnected_ != wasConnected) {
            applyEnablingRules();
        }
        if (lParam > 1) {
            view_.setWaitCursor(true);
            const bool before = cableConnected_;
            cableConnected_ = oneCableCheck() > 0;
            view_.setWaitCursor(false);
            if (cableConnected_ != before) {
                applyEnablingRules();
            }
        }
    }
    inCableNotification_ = false;
}

bool MainWindowPresenter::closePulledRadio() {
    // Not under a command at work on the worker thread: the pulled cable fails its next exchange,
    // and its workflow closes the port when it ends.
    if (!manager_.radioInfo().isConnected() || task_.isRunning() || !cableGone()) {
        return false;
    }
    manager_.connect(false);
    return true;
}

bool MainWindowPresenter::cableGone() {
    return manager_.deviceCount() == 0;
}

int MainWindowPresenter::oneCableCheck() {
    return RadioOpening(manager_, cableQuestion()).checkOneCable();
}

bool MainWindowPresenter::removeExtraCables(int count) {
    view_.messageBox(StringTable::format(str::kManyCables, count), Box::kIconWarning);
    return true;
}

bool MainWindowPresenter::ask(const std::wstring& text, unsigned icon) {
    return view_.messageBox(text, Box::kYesNo | icon) == Box::kIdYes;
}

// The window's own string table holds the same numbers, so every text comes from one place.
std::wstring MainWindowPresenter::textOf(const WorkflowOutcome& outcome) {
    return outcome.argument.empty() ? StringTable::text(outcome.stringId)
                                    : StringTable::format(outcome.stringId, outcome.argument);
}

void MainWindowPresenter::showOutcome(const WorkflowOutcome& outcome) {
    if (outcome.hasMessage()) {
        view_.messageBox(textOf(outcome), static_cast<unsigned>(outcome.icon));
    }
}

RadioOpening::Result MainWindowPresenter::openWorkflow(Operation operation,
                                                       std::initializer_list<int> controls,
                                                       RadioOpening::Probe probe,
                                                       RadioOpening::Identity identity) {
    view_.setWaitCursor(true);
    operation_ = operation;
    // The window holds the focus while it works: a disabled control would pass it on along the
    // tab order into the radio's fields, which select their text when tabbed into.
    view_.setFocus(View::kIdWindow);
    for (int control : controls) {
        setEnabled(control, false);
    }
    const RadioOpening::Result result =
        RadioOpening(manager_, cableQuestion()).open(probe, identity);
    if (result.identityComplete) {
        identityRead_ = true;
    }
    return result;
}

bool MainWindowPresenter::readIdentity(WorkflowOutcome& outcome) {
    if (!manager_.radioInfo().readIdentity()) {
        outcome = WorkflowOutcome::of(kStrConnectFailed, MessageIcon::Error);
        return false;
    }
    identityRead_ = true;
    return true;
}

void MainWindowPresenter::closeWorkflow() {
    applyEnablingRules();
    operation_ = Operation::Idle;
    view_.setWaitCursor(false);
}

void MainWindowPresenter::getRadioInformation() {
    WorkflowOutcome outcome = WorkflowOutcome::of(kStrInfoDone, MessageIcon::Information);
    const RadioOpening::Result opening =
        openWorkflow(Operation::GettingInfo, {View::kIdGetRadioInfo}, RadioOpening::Probe::Info,
                     RadioOpening::Identity::FullOrSerial);
    std::optional<ConversionRecord::Conversion> unfinished;
    if (!opening.opened()) {
        outcome = opening.outcome;
    } else if (ConvertWorkflow::lookUpUnfinished(conversionRecord(), manager_.radioInfo(),
                                                 unfinished, outcome) &&
               unfinished) {
        // A half-written radio: the offer to finish it comes before anything else is said.
        ErrorChain::remove(kErrorOk);
        runConvertWorkflow(view_.isKeepPersonalityChecked(), opening.identityComplete);
        closeWorkflow();
        return;
    } else if (!opening.identityComplete && outcome.stringId == kStrInfoDone) {
        outcome = WorkflowOutcome::of(kStrConnectFailed, MessageIcon::Error);
    }
    const bool read =
        opening.identityComplete && outcome.stringId == kStrInfoDone &&
        checkModelConfigured(configuration_, manager_.radioInfo().modelNumber(), outcome);
    if (read) {
        showResult();
    }
    manager_.connect(false);
    showOutcome(outcome);
    closeWorkflow();
}

void MainWindowPresenter::updateSerialNumber() {
    // The number was typed for the radio on display: only that radio takes it.
    const std::optional<std::wstring> shownSerial =
        resultShown_ ? std::optional(shown_[View::SerialNumber]) : std::nullopt;
    const RadioOpening::Result opening =
        openWorkflow(Operation::UpdatingSerial, {View::kIdUpdateSerial, View::kIdNewSerial},
                     RadioOpening::Probe::None, RadioOpening::Identity::Full);
    WorkflowOutcome outcome = opening.outcome;
    std::vector<WorkflowOutcome> notes;
    const std::wstring connectedSerial =
        RadioDisplay::texts(manager_.radioInfo(), configuration_)[View::SerialNumber];
    if (opening.opened() && shownSerial && *shownSerial != connectedSerial) {
        showResult();
        outcome =
            WorkflowOutcome::of(str::kAnotherRadioConnected, MessageIcon::Warning, connectedSerial);
    } else if (opening.opened()) {
        SerialUpdateWorkflow workflow(configuration_, manager_.radioInfo(), *this);
        const WorkflowEnd end = workflow.run(view_.newSerialText(), StatusBarParts::kScale);
        if (end.converted() && !end.rereadFailed) {
            showResult();
        }
        outcome = end.outcome;
        notes = end.notes;
    }
    manager_.connect(false);
    refreshDisplay();
    showOutcome(outcome);
    for (const WorkflowOutcome& note : notes) {
        showOutcome(note);
    }
    view_.selectText(View::kIdNewSerial, true);
    closeWorkflow();
}

}  // namespace plugshift
