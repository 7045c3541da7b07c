// The main window's Convert workflow and its console protocol. The decisions come from the
// conversion library, shared with the command line; here they are sequenced and their outcome
// shown, or handed to the console in test mode.

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTimer>

#include "app/console_server.h"
#include "app/msg_box.h"
#include "app/progress_status_bar.h"
#include "app/qt_message_target.h"
#include "app/quillo_flash_tool_dlg.h"
#include "app/string_table.h"
#include "app/task_dialog.h"
#include "cli/console/console_message.h"
#include "config/configuration.h"
#include "conversion/cmd_restore.h"
#include "conversion/convert_decisions.h"
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

void CQuilloFlashToolDlg::setTestMode(bool on) {
    testMode_ = on;
    setWindowTitle(on ? StringTable::title() + QLatin1String(kTestModeSuffix)
                      : StringTable::title());
}

bool CQuilloFlashToolDlg::ask(const QString& text, unsigned icon) {
    return CMsgBox::showMessage(text, CMsgBox::kYesNo | icon, this) == CMsgBox::kIdYes;
}

bool CQuilloFlashToolDlg::confirmConversion() {
    return ask(StringTable::format(str::kConfirmConvert, QString::fromLatin1(StringTable::kBand)),
               CMsgBox::kIconQuestion);
}

void CQuilloFlashToolDlg::convert() {
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
    const bool converted = planned && runConversion(plan, keepPersonality, outcome);

    manager_.connect(false);
    if (converted) {
        refreshDisplay();
    }
    if (testMode_) {
        reportToConsole(converted);
    } else {
        showOutcome(outcome);
        if (planned && !programCommand_.ok) {
            offerRestore(programCommand_.lastBackupPath());
        }
    }
    closeWorkflow();
}

bool CQuilloFlashToolDlg::runConversion(const ConvertPlan& plan, bool keepPersonality,
                                        WorkflowOutcome& outcome) {
    RadioInfo& radio = manager_.radioInfo();
    CmdProgram& command = programCommand_;
    prepareConversion(command, plan, keepPersonality, radio,
                      static_cast<uint32_t>(statusBar_->scale()), backupFolder_);
    command.window = target_;
    // What the opening left in the chain (the probe's silence) is no cause of this run's failure.
    ErrorChain::remove(0);
    CTaskDialog::run(task_, &command, this);
    if (!command.ok) {
        outcome =
            concludeFailedConversion(RadioSummary::of(radio), keepPersonality, radio.frameRing());
        if (!command.lastBackupPath().empty()) {
            ErrorLog::write(L"The radio's personality was saved to [%ls].",
                            fromUtf8(command.lastBackupPath().string()).c_str());
        }
        return false;
    }
    if (!readIdentity(outcome)) {
        return false;
    }
    resultShown_ = true;
    return true;
}

void CQuilloFlashToolDlg::offerRestore(const std::filesystem::path& backup) {
    if (backup.empty() || !ask(StringTable::text(str::kOfferRestore), CMsgBox::kIconQuestion)) {
        return;
    }
    restorePersonality(backup);
    manager_.connect(false);
}

void CQuilloFlashToolDlg::restorePersonality(const std::filesystem::path& backup) {
    RadioInfo& radio = manager_.radioInfo();
    ErrorChain::remove(0);
    if (!manager_.connect(true)) {
        showOutcome(WorkflowOutcome::of(kStrConnectFailed, MessageIcon::Error));
        ErrorChain::remove(0);
        return;
    }
    CmdRestore command;
    if (command.loadBackup(backup)) {
        command.radio = &radio;
        command.window = target_;
        command.progressEnd = statusBar_->scale();
        command.progressPos = 0;
        CTaskDialog::run(task_, &command, this);
    }
    if (command.hasBackup() && command.ok) {
        // The connection's probe leaves a record of its silence; it is no fault.
        ErrorChain::remove(0);
        CMsgBox::showMessage(str::kPersonalityRestored, CMsgBox::kIconInformation, this);
        return;
    }
    logFailedRestore(RadioSummary::of(radio), fromUtf8(backup.string()));
    ErrorChain::remove(0);
    CMsgBox::showMessage(str::kPersonalityRestoreFailed, CMsgBox::kIconError, this);
}

void CQuilloFlashToolDlg::reportToConsole(bool success) {
    const int64_t result = success ? ConsoleMessage::kEndSuccess : ConsoleMessage::kEndFailure;
    for (int attempt = 0; attempt < kEndAttempts; ++attempt) {
        if (console_ != nullptr && console_->post(consoleWindow_, ConsoleMessage::kEnd,
                                                  ConsoleMessage::kReplyValue, result)) {
            return;
        }
    }
    CMsgBox::showMessage(QString::fromLatin1(kConsoleUnreachable), CMsgBox::kIconInformation, this);
}

void CQuilloFlashToolDlg::attachConsole(ConsoleServer& server) {
    attachedServer_ = &server;
    console_ = &server;
    server.setHandler([this](const ConsoleMessage& request) { return consoleRequest(request); });
}

int64_t CQuilloFlashToolDlg::consoleRequest(const ConsoleMessage& request) {
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

int64_t CQuilloFlashToolDlg::enterTestMode(int64_t console) {
    if (!testMode_) {
        if (!ask(QString::fromLatin1(kTestModeQuestion), 0)) {
            return 0;
        }
        setTestMode(true);
    }
    acknowledge(console, ConsoleMessage::kEnterTestMode);
    return 1;
}

int64_t CQuilloFlashToolDlg::exitTestMode(int64_t console) {
    if (testMode_) {
        setTestMode(false);
    }
    acknowledge(console, ConsoleMessage::kExitTestMode);
    return 1;
}

void CQuilloFlashToolDlg::acknowledge(int64_t console, const char* name) {
    QApplication::alert(this, kFlashMs);
    // The console may be gone by now; it asked, it need not hear back.
    if (console_ != nullptr) {
        console_->post(console, name, console_->ownHandle(), ConsoleMessage::kReplyValue);
    }
}

int64_t CQuilloFlashToolDlg::startFromConsole(int64_t console) {
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
