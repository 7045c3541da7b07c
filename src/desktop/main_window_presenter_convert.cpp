// The window as a front end of the conversion workflows, and the console protocol: the workflows
// decide, the window asks, runs and shows, or hands the result to the console in test mode.

#include "config/configuration.h"
#include "conversion/convert_radio.h"
#include "conversion/convert_workflow.h"
#include "conversion/personality_backup.h"
#include "conversion/recovery_workflow.h"
#include "conversion/serial_number_update.h"
#include "conversion/workflow_outcome.h"
#include "desktop/console_link.h"
#include "desktop/console_message.h"
#include "desktop/main_window_presenter.h"
#include "desktop/message_box_style.h"
#include "desktop/string_table.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/system_files.h"
#include "tasks/radio_manager.h"

namespace plugshift {

namespace {

using View = MainWindowView;
using Box = MessageBoxStyle;

}  // namespace

void MainWindowPresenter::setTestMode(bool on) {
    testMode_ = on;
    view_.setCaption(on ? StringTable::title() + kTestModeSuffix : StringTable::title());
}

void MainWindowPresenter::convert() {
    const bool keepPersonality = view_.isKeepPersonalityChecked();
    const RadioOpening::Result opening =
        openWorkflow(Operation::Converting, {View::kIdConvert, View::kIdKeepPersonality},
                     RadioOpening::Probe::Convert, RadioOpening::Identity::FullOrSerial);
    if (opening.opened()) {
        runConvertWorkflow(keepPersonality, opening.identityComplete);
    } else {
        WorkflowEnd end;
        end.outcome = opening.outcome;
        showConversionEnd(end);
    }
    closeWorkflow();
}

void MainWindowPresenter::runConvertWorkflow(bool keepPersonality, bool identityComplete) {
    ConvertWorkflow workflow(configuration_, manager_.radioInfo(), conversionRecord(),
                             backupFolder_, *this);
    showConversionEnd(workflow.run({.keepPersonality = keepPersonality}, identityComplete,
                                   StatusBarParts::kScale));
}

void MainWindowPresenter::showConversionEnd(const WorkflowEnd& end) {
    manager_.connect(false);
    // What the opening's probe left in the chain is no fault.
    ErrorChain::remove(kErrorOk);
    if (end.converted()) {
        showResult();
    }
    if (testMode_) {
        reportToConsole(end.converted());
        return;
    }
    if (end.kind == WorkflowEnd::Kind::Declined) {
        return;  // back to idle without a word
    }
    showOutcome(end.outcome);
    if (end.rereadFailed) {
        showOutcome(WorkflowOutcome::of(kStrConvertedNotReread, MessageIcon::Warning));
    }
    if (!end.warnings.empty()) {
        showOutcome(WorkflowOutcome::of(kStrConvertWarnings, MessageIcon::Warning, end.warnings));
    }
    if (end.recordNotClosed) {
        showOutcome(WorkflowOutcome::of(kStrRecordNotClosed, MessageIcon::Warning,
                                        fromUtf8(end.recordProblem)));
    }
    if (!end.backupNotWritten.empty()) {
        showOutcome(WorkflowOutcome::of(kStrBackupNotWrittenBack, MessageIcon::Information,
                                        fromUtf8(utf8FromPath(end.backupNotWritten))));
    }
    // The backup's offer is the way back; without one, or declined, the radio may be left
    // half-written, and Convert finishes it.
    if (end.kind == WorkflowEnd::Kind::Failed && !offerRecovery(end.backup) &&
        end.mayBeHalfWritten) {
        showOutcome(WorkflowOutcome::of(kStrMayBeHalfWritten, MessageIcon::Warning));
    }
}

ConversionRecord MainWindowPresenter::conversionRecord() const {
    return ConversionRecord(backupFolder_.empty() ? ConversionRecord::dataFolderOfLog()
                                                  : backupFolder_.parent_path());
}

bool MainWindowPresenter::confirm(const WorkflowOutcome& question) {
    return testMode_ || ask(textOf(question), static_cast<unsigned>(question.icon));
}

bool MainWindowPresenter::confirmLoss(const WorkflowOutcome& question) {
    // A test station cannot be asked to give up an owner's data.
    return !testMode_ && ask(textOf(question), static_cast<unsigned>(question.icon));
}

bool MainWindowPresenter::confirmInPerson(const WorkflowOutcome& question) {
    return confirmLoss(question);
}

void MainWindowPresenter::showRadio(bool afterRadioWork) {
    // The radio the question is about; its result, and the time, only after a success.
    if (!afterRadioWork) {
        refreshDisplay();
    }
}

bool MainWindowPresenter::runCommand(ConvertRadio& command) {
    command.window = target_;
    view_.runCommand(task_, command);
    return false;  // the window's conversion runs to its end
}

void MainWindowPresenter::runSerialUpdate(SerialNumberUpdate& command) {
    command.window = target_;
    view_.runCommand(task_, command);
}

void MainWindowPresenter::backupSaved(const std::filesystem::path&) {
    // The window names the backup in err.log and in its recovery offer.
}

bool MainWindowPresenter::readAgain() {
    WorkflowOutcome reread;
    if (readIdentity(reread)) {
        return true;
    }
    identityRead_ = false;
    return false;
}

bool MainWindowPresenter::offerRecovery(const std::filesystem::path& backup) {
    // The offer stands until the radio is converted, the backup proves unusable or the user
    // declines.
    for (RecoveryEnd end = RecoveryEnd::TryAgain;
         !backup.empty() && end == RecoveryEnd::TryAgain;) {
        if (cableGone()) {
            view_.messageBox(StringTable::text(str::kReconnectForRecovery), Box::kIconWarning);
        }
        if (!ask(StringTable::text(str::kOfferRestore), Box::kIconQuestion)) {
            return false;
        }
        end = recoverFromBackup(backup);
        if (end == RecoveryEnd::Recovered) {
            return true;
        }
    }
    return false;
}

MainWindowPresenter::RecoveryEnd MainWindowPresenter::recoverFromBackup(
    const std::filesystem::path& path) {
    RadioInfo& radio = manager_.radioInfo();
    ErrorChain::remove(kErrorOk);
    WorkflowEnd end;
    PersonalityBackup backup;
    bool identityComplete = false;
    if (!PersonalityBackup::load(path, backup)) {
        ErrorLog::write(L"The personality backup cannot be used:\n%ls", ErrorChain::text().c_str());
        end.outcome = WorkflowOutcome::of(kStrPersonalityRestoreFailed, MessageIcon::Error);
        showOutcome(end.outcome);
        return RecoveryEnd::GaveUp;
    }
    if (!manager_.connect(true)) {
        end.outcome = WorkflowOutcome::of(kStrConnectFailed, MessageIcon::Error);
    } else if ((identityComplete = radio.readIdentity()) ||
               radio.readSerialNumber(RadioOpening::kSerialReadAttempts)) {
        // Its serial number is all a half-written radio must still tell.
        RecoveryWorkflow workflow(configuration_, radio, conversionRecord(), *this);
        end = workflow.run(backup, path, {.alreadyConfirmed = true}, identityComplete,
                           StatusBarParts::kScale);
    } else {
        end.outcome = WorkflowOutcome::of(kStrConnectFailed, MessageIcon::Error);
    }
    manager_.connect(false);
    // The connection's probe leaves a record of its silence; it is no fault.
    ErrorChain::remove(kErrorOk);
    if (end.converted()) {
        showResult();
    }
    showOutcome(end.outcome);
    if (end.rereadFailed) {
        showOutcome(WorkflowOutcome::of(kStrConvertedNotReread, MessageIcon::Warning));
    }
    if (!end.warnings.empty()) {
        showOutcome(WorkflowOutcome::of(kStrConvertWarnings, MessageIcon::Warning, end.warnings));
    }
    if (end.converted()) {
        return RecoveryEnd::Recovered;
    }
    // Another radio, a radio not answering or a failed run: worth another try once the right
    // radio is connected; a radio of another codeplug version or installation is not.
    const bool worthAgain = end.kind == WorkflowEnd::Kind::Failed ||
                            end.outcome.stringId == kStrConnectFailed ||
                            end.outcome.stringId == kStrRecoveryOtherRadio;
    return worthAgain ? RecoveryEnd::TryAgain : RecoveryEnd::GaveUp;
}

void MainWindowPresenter::reportToConsole(bool success) {
    const int64_t result = success ? ConsoleMessage::kEndSuccess : ConsoleMessage::kEndFailure;
    for (int attempt = 0; attempt < kEndAttempts; ++attempt) {
        if (console_ != nullptr && console_->post(consoleWindow_, ConsoleMessage::kEnd,
                                                  ConsoleMessage::kReplyValue, result)) {
            return;
        }
    }
    view_.messageBox(kConsoleUnreachable, Box::kIconInformation);
}

int64_t MainWindowPresenter::consoleRequest(const ConsoleMessage& request) {
    if (request.lParam != ConsoleMessage::kRequestValue || console_ == nullptr ||
        !console_->isWindow(request.wParam)) {
        return ConsoleMessage::kIgnored;
    }
    if (request.name == ConsoleMessage::kEnterTestMode) {
        return enterTestMode(request.wParam);
    }
    if (request.name == ConsoleMessage::kExitTestMode) {
        return exitTestMode(request.wParam);
    }
    if (request.name == ConsoleMessage::kStart) {
        return startFromConsole(request.wParam);
    }
    return ConsoleMessage::kIgnored;
}

int64_t MainWindowPresenter::enterTestMode(int64_t console) {
    if (!testMode_) {
        if (!ask(kTestModeQuestion, 0)) {
            return 0;
        }
        setTestMode(true);
    }
    acknowledge(console, ConsoleMessage::kEnterTestMode);
    return 1;
}

int64_t MainWindowPresenter::exitTestMode(int64_t console) {
    if (testMode_) {
        setTestMode(false);
    }
    acknowledge(console, ConsoleMessage::kExitTestMode);
    return 1;
}

void MainWindowPresenter::acknowledge(int64_t console, const char* name) {
    view_.flash(kFlashMs);
    // The console may be gone by now; it asked, it need not hear back.
    if (console_ != nullptr) {
        console_->post(console, name, console_->ownHandle(), ConsoleMessage::kReplyValue);
    }
}

int64_t MainWindowPresenter::startFromConsole(int64_t console) {
    if (operation_ != Operation::Idle) {
        return ConsoleMessage::kIgnored;
    }
    consoleWindow_ = console;
    // Taken now, so nothing else starts before the conversion runs; it runs once the console has
    // its answer.
    operation_ = Operation::Converting;
    view_.runSoon([this] { convert(); });
    return ConsoleMessage::kStarted;
}

}  // namespace plugshift
