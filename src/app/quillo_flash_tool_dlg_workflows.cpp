// The radio workflows of the main window: Get radio information and Update serial number, and
// the opening and closing they share. The decisions come from the conversion library; this file
// only sequences them and shows their outcome.

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <string>
#include <vector>

#include "app/msg_box.h"
#include "app/progress_status_bar.h"
#include "app/qt_message_target.h"
#include "app/quillo_flash_tool_dlg.h"
#include "app/string_table.h"
#include "app/task_dialog.h"
#include "config/configuration.h"
#include "conversion/convert_decisions.h"
#include "conversion/serial_decisions.h"
#include "conversion/workflow_outcome.h"
#include "errors/error_chain.h"
#include "radio/sbep.h"
#include "tasks/radio_manager.h"

namespace plugshift {

int CQuilloFlashToolDlg::oneCableCheck() {
    if (testMode_) {
        return 0;
    }
    USBSerial* port = manager_.radioInfo().port();
    if (port == nullptr) {
        return 0;
    }
    int firstIndex = -1;
    int count = port->countCables(firstIndex);
    while (count >= 2) {
        CMsgBox::showMessage(StringTable::format(str::kManyCables, count), CMsgBox::kIconWarning,
                             this);
        count = port->countCables(firstIndex);
    }
    return count;
}

bool CQuilloFlashToolDlg::openWorkflow(Operation operation, QWidget* control,
                                       WorkflowOutcome& outcome) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Records left by earlier work (a failed poll, the last workflow) are not this one's.
    ErrorChain::remove(0);
    operation_ = operation;
    control->setEnabled(false);
    oneCableCheck();
    if (!manager_.connect(true)) {
        outcome = WorkflowOutcome::of(kStrConnectFailed, MessageIcon::Error);
        return false;
    }
    return true;
}

bool CQuilloFlashToolDlg::probeCable(int wrongModeString, WorkflowOutcome& outcome) {
    switch (manager_.radioInfo().probeCable()) {
        case SBEP::kCableEcho:
            outcome = WorkflowOutcome::of(wrongModeString, MessageIcon::Warning);
            return false;
        case SBEP::kCableUnsupported:
            outcome = WorkflowOutcome::of(kStrCableUnsupported, MessageIcon::Error);
            return false;
        default:
            // A cable in its digital mode answers the probe with silence; the failed read that
            // leaves behind is no fault of the radio.
            ErrorChain::remove(0);
            return true;
    }
}

bool CQuilloFlashToolDlg::readIdentity(WorkflowOutcome& outcome) {
    if (!manager_.radioInfo().readIdentity()) {
        outcome = WorkflowOutcome::of(kStrConnectFailed, MessageIcon::Error);
        return false;
    }
    identityRead_ = true;
    return true;
}

void CQuilloFlashToolDlg::showOutcome(const WorkflowOutcome& outcome) {
    if (outcome.hasMessage()) {
        CMsgBox::showMessage(QString::fromStdWString(outcome.text()),
                             static_cast<unsigned>(outcome.icon), this);
    }
}

void CQuilloFlashToolDlg::closeWorkflow() {
    applyEnablingRules();
    operation_ = Operation::Idle;
    QApplication::restoreOverrideCursor();
}

void CQuilloFlashToolDlg::getRadioInformation() {
    WorkflowOutcome outcome = WorkflowOutcome::of(kStrInfoDone, MessageIcon::Information);
    const bool read = openWorkflow(Operation::GettingInfo, getInfo_, outcome) &&
                      probeCable(kStrCableToDigital, outcome) && readIdentity(outcome) &&
                      checkModelConfigured(
                          configuration_,
                          RadioDisplay::modelNumber(manager_.radioInfo()).toStdWString(), outcome);
    manager_.connect(false);
    if (read) {
        resultShown_ = true;
        refreshDisplay();
    }
    showOutcome(outcome);
    closeWorkflow();
}

void CQuilloFlashToolDlg::updateSerialNumber() {
    WorkflowOutcome outcome = WorkflowOutcome::of(kStrSerialUpdated, MessageIcon::Information);
    newSerial_->setEnabled(false);
    RadioInfo& radio = manager_.radioInfo();
    std::vector<uint8_t> serial;
    const bool checked =
        openWorkflow(Operation::UpdatingSerial, updateSerial_, outcome) && readIdentity(outcome) &&
        checkModelConfigured(configuration_, RadioDisplay::modelNumber(radio).toStdWString(),
                             outcome) &&
        checkNewSerial(newSerial_->text().toStdWString(),
                       RadioInfo::serialText(radio.serialValue()).value_or(std::wstring()), serial,
                       outcome);
    if (checked) {
        serialCommand_.radio = &radio;
        serialCommand_.window = target_;
        serialCommand_.progressEnd = statusBar_->scale();
        serialCommand_.progressSpan = 0;
        serialCommand_.setNewSerial(
            std::string_view(reinterpret_cast<const char*>(serial.data()), serial.size()));
        CTaskDialog::run(task_, &serialCommand_, this);
        if (!serialCommand_.ok) {
            outcome = WorkflowOutcome::of(kStrSerialFailed, MessageIcon::Error);
        } else if (readIdentity(outcome)) {
            resultShown_ = true;
        }
    }
    manager_.connect(false);
    refreshDisplay();
    showOutcome(outcome);
    newSerial_->selectAll();
    closeWorkflow();
}

}  // namespace plugshift
