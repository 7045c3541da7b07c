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
#include "app/string_table.h"
#include "app/task_dialog.h"
#include "cli/console/console_message.h"
#include "config/configuration.h"
#include "conversion/convert_decisions.h"
#include "conversion/personality_backup.h"
#include "conversion/workflow_outcome.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "tasks/radio_manager.h"

namespace plugshift {

namespace {

std::wstring modelOf(const RadioInfo& radio) {
    return RadioDisplay::modelNumber(radio).toStdWString();
}

}  // namespace

void MainWindow::setTestMode(bool on) {
    testMode_ = on;
    setWindowTitle(on ? StringTable::title() + QLatin1String(kTestModeSuffix)
                      : StringTable::title());
}

bool MainWindow::ask(const QString& text, unsigned icon) {
    return MessageDialog::showMessage(text, MessageDialog::kYesNo | icon, this) ==
           MessageDialog::kIdYes;
}

bool MainWindow::confirmConversion() {
    return ask(StringTable::format(str::kConfirmConvert, QString::fromLatin1(StringTable::kBand)),
               MessageDialog::kIconQuestion);
}

void MainWindow::convert() {
    WorkflowOutcome outcome = WorkflowOutcome::of(kStrConvertDone, MessageIcon::Information);
    RadioInfo& radio = manager_.radioInfo();
    const bool keepPersonality = restore_->isChecked();
    ToolVersions tool;
    const bool ready = openWorkflow(Operation::Converting, {convert_, restore_}, outcome) &&
                       probeCable(kStrCableToDigitalRetry, outcome) && readIdentity(outcome) &&
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
    const bool converted = planned && runConversion(keepPersonality, outcome, warnings, [&] {
                               prepareConversion(programCommand_, plan, keepPersonality, radio,
                                                 progressScale(), backupFolder_);
                           });

    manager_.connect(false);
    if (converted) {
        refreshDisplay();
    }
    if (testMode_) {
        reportToConsole(converted);
    } else {
        showOutcome(outcome);
        showWarnings(warnings);
        if (planned && !programCommand_.ok) {
            offerRecovery(programCommand_.lastBackupPath());
        }
    }
    closeWorkflow();
}

uint32_t MainWindow::progressScale() const {
    return static_cast<uint32_t>(statusBar_->scale());
}

bool MainWindow::runConversion(bool restore, WorkflowOutcome& outcome, std::wstring& warnings,
                               const std::function<void()>& prepare) {
    RadioInfo& radio = manager_.radioInfo();
    ConvertRadio& command = programCommand_;
    prepare();
    command.window = target_;
    // What the opening left in the chain (the probe's silence) is no cause of this run's failure.
    ErrorChain::remove(0);
    TaskDialog::run(task_, &command, this);
    if (!command.ok) {
        outcome =
            concludeFailedConversion(command, RadioSummary::of(radio), restore, radio.frameRing());
        if (!command.lastBackupPath().empty()) {
            ErrorLog::write(L"The radio's personality was saved to [%ls].",
                            fromUtf8(command.lastBackupPath().string()).c_str());
        }
        return false;
    }
    warnings = concludeSuccessfulConversion(RadioSummary::of(radio), restore);
    if (!readIdentity(outcome)) {
        return false;
    }
    resultShown_ = true;
    return true;
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
           ask(StringTable::text(str::kOfferRestore), MessageDialog::kIconQuestion)) {
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
    } else if (readIdentity(outcome) && backupBelongsTo(backup, radio, outcome) &&
               planRecovery(configuration_, backup, plan, outcome)) {
        converted = runConversion(true, outcome, warnings, [&] {
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
