#include "conversion/serial_decisions.h"

#include <algorithm>
#include <filesystem>

#include "conversion/conversion_record.h"
#include "conversion/convert_workflow.h"
#include "conversion/failure_trace.h"
#include "conversion/log_folder.h"
#include "conversion/serial_number_update.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

using Stage = SerialAudit::Stage;
using Reached = SerialNumberUpdate::Reached;

constexpr uint32_t kLastAscii = 0x7F;

// The number the radio holds after the run: what it reported, else the old one when nothing was
// sent; empty when that cannot be told.
std::wstring heldNumber(const SerialNumberUpdate& command, const std::wstring& oldSerial,
                        const std::optional<std::wstring>& serialRead) {
    if (serialRead) {
        return *serialRead;
    }
    return command.reached == Reached::Nothing ? oldSerial : std::wstring();
}

}  // namespace

bool checkSerialUpdateMayStart(const RadioInfo& radio, WorkflowOutcome& outcome) {
    const ConversionRecord book(ConversionRecord::dataFolderOfLog());
    if (book.folder().empty()) {
        return true;
    }
    std::optional<ConversionRecord::Conversion> unfinished;
    if (!ConvertWorkflow::lookUpUnfinished(book, radio, unfinished, outcome)) {
        return false;
    }
    if (unfinished) {
        outcome = WorkflowOutcome::of(kStrFinishFirst, MessageIcon::Warning,
                                      fromUtf8(LogFolder::shownTime(unfinished->start)));
        return false;
    }
    return true;
}

bool mayWriteAgain(const ConversionRecord& book, std::wstring_view serial) {
    ConversionRecord::History history;
    std::string reason;
    if (book.folder().empty() || !book.read(history, reason)) {
        return false;
    }
    const std::string number = toUtf8(std::wstring(serial));
    const auto& updates = history.serialUpdates;
    const auto last = std::find_if(updates.rbegin(), updates.rend(), [&](const auto& update) {
        return update.serialAfter == number;
    });
    return last != updates.rend() && !last->updated;
}

bool checkNewSerial(std::wstring_view entered, std::wstring_view present, bool mayRepeat,
                    std::vector<uint8_t>& bytes, WorkflowOutcome& outcome) {
    bytes.clear();
    const bool ascii = std::all_of(entered.begin(), entered.end(), [](wchar_t c) {
        return static_cast<uint32_t>(c) <= kLastAscii;
    });
    if (entered.size() != present.size() || !ascii || !RadioInfo::isSerialFormat(entered)) {
        outcome = WorkflowOutcome::of(kStrSerialIncorrect, MessageIcon::Error);
        return false;
    }
    if (entered == present && !mayRepeat) {
        outcome = WorkflowOutcome::of(kStrSerialIdentical, MessageIcon::Error);
        return false;
    }
    bytes.assign(entered.begin(), entered.end());
    return true;
}

SerialUpdateEnding endOfUnsuccessfulUpdate(const SerialNumberUpdate& command,
                                           const RecordedSerialUpdate::Numbers& numbers,
                                           const std::optional<std::wstring>& serialRead) {
    SerialUpdateEnding ending;
    if (command.stoppedBeforeWrite) {
        ending.stage = Stage::Stopped;
        ending.serialNow = numbers.oldSerial;
        ending.outcome = WorkflowOutcome::of(kStrSerialStoppedUnchanged, MessageIcon::Information,
                                             numbers.oldSerial);
        return ending;
    }
    ending.outcome = WorkflowOutcome::of(kStrSerialFailed, MessageIcon::Error);
    ending.serialNow = heldNumber(command, numbers.oldSerial, serialRead);
    // Writing the number the radio held already finishes an update whose backup failed.
    const bool repeat = numbers.oldSerial == numbers.newSerial;
    if (ending.serialNow.empty()) {
        ending.notes.push_back(WorkflowOutcome::of(kStrSerialNotKnown, MessageIcon::Warning));
        return ending;
    }
    if (ending.serialNow == numbers.oldSerial && !repeat) {
        ending.notes.push_back(
            WorkflowOutcome::of(kStrSerialStillOld, MessageIcon::Information, numbers.oldSerial));
        return ending;
    }
    const bool isNew = ending.serialNow == numbers.newSerial;
    ending.notes.push_back(WorkflowOutcome::of(isNew ? kStrSerialNowNew : kStrSerialNowOther,
                                               MessageIcon::Information, ending.serialNow));
    if (command.reached < Reached::BackedUp) {
        ending.stage = Stage::NotBackedUp;
        ending.notes.push_back(WorkflowOutcome::of(kStrSerialNotBackedUp, MessageIcon::Warning));
    }
    return ending;
}

void logSerialFailure(const SerialNumberUpdate& command,
                      const RecordedSerialUpdate::Numbers& numbers) {
    ErrorLog::write(L"Update serial number failed (Model:%ls,SN:%ls,New SN:%ls), caused by:\n%ls",
                    numbers.model.c_str(), numbers.oldSerial.c_str(), numbers.newSerial.c_str(),
                    ErrorChain::text().c_str());
    if (command.radio != nullptr) {
        FailureTrace::logAfterSummary(command.radio->frameRing());
    }
}

}  // namespace plugshift
