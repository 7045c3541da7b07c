// The main window's Convert workflow and its console protocol. The decisions come from the
// conversion library, shared with the command line; here they are sequenced and their outcome
// shown, or handed to the console in test mode.

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTimer>

#include "app/console_server.h"
#include "app/main_window.h"
#include "app/message_dialog.h"
#include "app/progress_status_bar.h"
#include "app/qt_message_target.h"
#include "app/qt_strings.h"
#include "app/task_dialog.h"
#include "desktop/console_message.h"
#include "config/configuration.h"
#include "conversion/convert_decisions.h"
#include "conversion/personality_backup.h"
#include "conversion/recorded_run.h"
#include "conversion/workflow_outcome.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/system_files.h"
#include "tasks/radio_manager.h"

namespace plugshift {

namespace {

// A half-written radio may miss a reply now and then; its serial number is worth a few tries.
constexpr int kSerialReadAttempts = 3;

std::wstring modelOf(const RadioInfo& radio) {
    return RadioDisplay::modelNumber(radio).toStdWString();
}

}  // namespace

void MainWindow::setTestMode(bool on) {
    testMode_ = on;
    setWindowTitle(on ? QtStrings::title() + QLatin1String(kTestModeSuffix)
                      : QtStrings::title());
}

bool MainWindow::ask(const QString& text, unsigned icon) {
    return MessageDialog::showMessage(text, MessageDialog::kYesNo | icon, this) ==
           MessageDialog::kIdYes;
}

bool MainWindow::confirmConversion() {
    return ask(QtStrings::format(str::kConfirmConvert, QString::fromLatin1(StringTable::kBand)),
               MessageDialog::kIconQuestion);
}

void MainWindow::convert() {
    WorkflowOutcome outcome = WorkflowOutcome::of(kStrConvertDone, MessageIcon::Information);
    RadioInfo& radio = manager_.radioInfo();
    const bool keepPersonality = restore_->isChecked();
    bool identityComplete = false;
    const bool opened = openWorkflow(Operation::Converting, {convert_, restore_}, outcome) &&
                        probeCable(kStrCableToDigitalRetry, outcome);
    const std::optional<ConversionRecord::Conversion> unfinished =
        opened ? readForUnfinished(outcome, identityComplete) : std::nullopt;
    if (unfinished) {
        // A half-written radio is finished first; declining leaves it as it is, silently.
        if (askToFinish(*unfinished)) {
            finishConversion(*unfinished);
        }
        manager_.connect(false);
        closeWorkflow();
        return;
    }
    ToolVersions tool;
    const bool ready = opened && identityComplete &&
                       checkModelConfigured(configuration_, modelOf(radio), outcome) &&
                       findToolVersions(configuration_, tool, outcome);
    if (ready && !testMode_ && !confirmConversion()) {
        // Declined: back to idle without a word.
        manager_.connect(false);
        closeWorkflow();
        return;
    }
    ConvertPlan plan;
    const bool planned = ready && checkModelConfigured(configuration_, modelOf(radio), outcome) &&
                         planConversion(configuration_, tool, modelOf(radio),
                                        radio.codeplugVersion(), keepPersonality, plan, outcome);
    std::wstring warnings;
    RecordedRun record(conversionRecord(), RecordedRun::identityOf(radio));
    const bool converted =
        planned && runConversion(keepPersonality, outcome, warnings, record, [&] {
            prepareConversion(programCommand_, plan, keepPersonality, radio, progressScale(),
                              backupFolder_);
        });

    showConversionEnd(converted, outcome, warnings);
    if (!testMode_ && planned && !programCommand_.ok) {
        offerRecovery(programCommand_.lastBackupPath());
    }
    closeWorkflow();
}

void MainWindow::showConversionEnd(bool converted, const WorkflowOutcome& outcome,
                                   const std::wstring& warnings) {
    manager_.connect(false);
    if (converted) {
        refreshDisplay();
    }
    if (testMode_) {
        reportToConsole(converted);
    } else {
        showOutcome(outcome);
        showRereadNote();
        showWarnings(warnings);
    }
}

uint32_t MainWindow::progressScale() const {
    return static_cast<uint32_t>(statusBar_->scale());
}

ConversionRecord MainWindow::conversionRecord() const {
    return ConversionRecord(backupFolder_.empty() ? ConversionRecord::dataFolderOfLog()
                                                  : backupFolder_.parent_path());
}

std::optional<ConversionRecord::Conversion> MainWindow::readForUnfinished(WorkflowOutcome& outcome,
                                                                          bool& identityComplete) {
    RadioInfo& radio = manager_.radioInfo();
    identityComplete = readIdentity(outcome);
    if (!identityComplete && !radio.readSerialNumber(kSerialReadAttempts)) {
        return std::nullopt;
    }
    const std::optional<ConversionRecord::Conversion> unfinished = conversionRecord().unfinishedFor(
        toUtf8(RadioInfo::serialText(radio.serialValue()).value_or(L"")));
    if (unfinished) {
        // What the full read recorded is no failure once the radio is known by its serial number.
        ErrorChain::remove(0);
    }
    return unfinished;
}

bool MainWindow::askToFinish(const ConversionRecord::Conversion& unfinished) {
    return testMode_ || ask(QString::fromStdWString(finishQuestion(unfinished).text()),
                            MessageDialog::kIconQuestion);
}

bool MainWindow::finishConversion(const ConversionRecord::Conversion& unfinished) {
    RadioInfo& radio = manager_.radioInfo();
    const bool withBackup = !unfinished.backup.empty();
    WorkflowOutcome outcome = WorkflowOutcome::of(
        withBackup ? kStrPersonalityRestored : kStrConvertDone, MessageIcon::Information);
    const ConversionRecord book = conversionRecord();
    std::string reason;
    if (unfinished.result == ConversionRecord::Result::Open &&
        !book.close(unfinished.id, ConversionRecord::Result::Interrupted, {}, reason)) {
        ErrorLog::write(L"The conversion record could not be written: %ls",
                        fromUtf8(reason).c_str());
    }
    RecordedRun record(book, RecordedRun::finishing(unfinished));
    std::wstring warnings;
    bool prepared = true;
    const bool converted = runConversion(withBackup, outcome, warnings, record, [&] {
        prepared = prepareFinish(configuration_, unfinished, programCommand_, radio,
                                 progressScale(), outcome);
    });
    if (!prepared) {
        ErrorLog::write(L"The unfinished conversion cannot be finished:\n%ls",
                        ErrorChain::text().c_str());
        ErrorChain::remove(0);
    }
    showConversionEnd(converted, outcome, warnings);
    return converted;
}

bool MainWindow::runConversion(bool restore, WorkflowOutcome& outcome, std::wstring& warnings,
                               RecordedRun& record, const std::function<void()>& prepare) {
    RadioInfo& radio = manager_.radioInfo();
    ConvertRadio& command = programCommand_;
    rereadFailed_ = false;
    const WorkflowOutcome planned = outcome;
    prepare();
    if (outcome.stringId != planned.stringId) {
        return false;  // the preparation refused, and said why
    }
    command.window = target_;
    record.attach(command, {});
    // What the opening left in the chain (the probe's silence) is no cause of this run's failure.
    ErrorChain::remove(0);
    TaskDialog::run(task_, &command, this);
    record.finish(command, false);
    if (!command.ok) {
        outcome =
            concludeFailedConversion(command, RadioSummary::of(radio), restore, radio.frameRing());
        if (record.notRecorded()) {
            outcome = WorkflowOutcome::of(kStrNotRecorded, MessageIcon::Error,
                                          fromUtf8(utf8FromPath(record.record().folder())));
        }
        if (!command.lastBackupPath().empty()) {
            ErrorLog::write(L"The radio's personality was saved to [%ls].",
                            fromUtf8(command.lastBackupPath().string()).c_str());
        }
        return false;
    }
    warnings = concludeSuccessfulConversion(RadioSummary::of(radio), restore);
    WorkflowOutcome reread;
    if (!readIdentity(reread)) {
        // Converted all the same: only the look at the result failed.
        ErrorLog::write(L"The radio could not be read again after its conversion:\n%ls",
                        ErrorChain::text().c_str());
        ErrorChain::remove(0);
        rereadFailed_ = true;
        identityRead_ = false;
    }
    resultShown_ = true;
    return true;
}

void MainWindow::showRereadNote() {
    if (rereadFailed_) {
        showOutcome(WorkflowOutcome::of(kStrConvertedNotReread, MessageIcon::Warning));
        rereadFailed_ = false;
    }
}

void MainWindow::showWarnings(const std::wstring& warnings) {
    if (!warnings.empty()) {
        showOutcome(WorkflowOutcome::of(kStrConvertWarnings, MessageIcon::Warning, warnings));
    }
}

void MainWindow::offerRecovery(std::filesystem::path backup) {
    // A recovery that fails names its backup again, so the offer stands until the radio is
    // converted or the user declines.
    while (!backup.empty() &&
           ask(QtStrings::text(str::kOfferRestore), MessageDialog::kIconQuestion)) {
        backup = recoverFromBackup(backup);
    }
}

std::filesystem::path MainWindow::recoverFromBackup(const std::filesystem::path& path) {
    RadioInfo& radio = manager_.radioInfo();
    ErrorChain::remove(0);
    WorkflowOutcome outcome =
        WorkflowOutcome::of(kStrPersonalityRestored, MessageIcon::Information);
    PersonalityBackup backup;
    ConvertPlan plan;
    std::wstring warnings;
    bool converted = false;
    // Worth another try unless the backup is unusable or the conversion went through.
    bool retry = true;
    if (!PersonalityBackup::load(path, backup)) {
        retry = false;
        ErrorLog::write(L"The personality backup cannot be used:\n%ls", ErrorChain::text().c_str());
        outcome = WorkflowOutcome::of(kStrPersonalityRestoreFailed, MessageIcon::Error);
    } else if (!manager_.connect(true)) {
        outcome = WorkflowOutcome::of(kStrConnectFailed, MessageIcon::Error);
    } else if (!radio.readSerialNumber(kSerialReadAttempts)) {
        // Its serial number is all a half-written radio must still tell.
        outcome = WorkflowOutcome::of(kStrConnectFailed, MessageIcon::Error);
    } else if (backupBelongsTo(backup, radio, outcome) &&
               planRecovery(configuration_, backup, plan, outcome)) {
        RecordedRun record(conversionRecord(), RecordedRun::identityOf(backup, path));
        converted = runConversion(true, outcome, warnings, record, [&] {
            prepareRecovery(programCommand_, plan, backup, path, radio, progressScale());
        });
        retry = !programCommand_.ok;
    }
    manager_.connect(false);
    // The connection's probe leaves a record of its silence; it is no fault.
    ErrorChain::remove(0);
    if (converted) {
        refreshDisplay();
    }
    showOutcome(outcome);
    showRereadNote();
    showWarnings(warnings);
    return retry ? path : std::filesystem::path();
}

void MainWindow::reportToConsole(bool success) {
    const int64_t result = success ? ConsoleMessage::kEndSuccess : ConsoleMessage::kEndFailure;
    for (int attempt = 0; attempt < kEndAttempts; ++attempt) {
        if (console_ != nullptr && console_->post(consoleWindow_, ConsoleMessage::kEnd,
                                                  ConsoleMessage::kReplyValue, result)) {
            return;
        }
    }
    MessageDialog::showMessage(QString::fromLatin1(kConsoleUnreachable),
                               MessageDialog::kIconInformation, this);
}

void MainWindow::attachConsole(ConsoleServer& server) {
    attachedServer_ = &server;
    console_ = &server;
    server.setHandler([this](const ConsoleMessage& request) { return consoleRequest(request); });
}

int64_t MainWindow::consoleRequest(const ConsoleMessage& request) {
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

int64_t MainWindow::enterTestMode(int64_t console) {
    if (!testMode_) {
        if (!ask(QString::fromLatin1(kTestModeQuestion), 0)) {
            return 0;
        }
        setTestMode(true);
    }
    acknowledge(console, ConsoleMessage::kEnterTestMode);
    return 1;
}

int64_t MainWindow::exitTestMode(int64_t console) {
    if (testMode_) {
        setTestMode(false);
    }
    acknowledge(console, ConsoleMessage::kExitTestMode);
    return 1;
}

void MainWindow::acknowledge(int64_t console, const char* name) {
    QApplication::alert(this, kFlashMs);
    // The console may be gone by now; it asked, it need not hear back.
    if (console_ != nullptr) {
        console_->post(console, name, console_->ownHandle(), ConsoleMessage::kReplyValue);
    }
}

int64_t MainWindow::startFromConsole(int64_t console) {
    if (operation_ != Operation::Idle) {
        return ConsoleMessage::kIgnored;
    }
    consoleWindow_ = console;
    // Taken now, so nothing else starts before the conversion runs; it runs once the console has
    // its answer.
    operation_ = Operation::Converting;
    QTimer::singleShot(0, this, [this] { convert(); });
    return ConsoleMessage::kStarted;
}

}  // namespace plugshift
