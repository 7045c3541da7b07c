#include "conversion/serial_update_workflow.h"

#include <optional>
#include <string>
#include <vector>

#include "conversion/conversion_record.h"
#include "conversion/convert_decisions.h"
#include "conversion/log_folder.h"
#include "conversion/recorded_serial_update.h"
#include "conversion/serial_decisions.h"
#include "conversion/serial_number_update.h"
#include "conversion/workflow_front_end.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "platform/system_files.h"
#include "tasks/radio_info.h"

namespace plugshift {

SerialUpdateWorkflow::SerialUpdateWorkflow(const Configuration& config, RadioInfo& radio,
                                           WorkflowFrontEnd& frontEnd)
    : config_(config), radio_(radio), frontEnd_(frontEnd) {}

WorkflowEnd SerialUpdateWorkflow::run(std::wstring_view newSerial, uint32_t progressEnd) {
    WorkflowEnd end;
    const ConversionRecord book(ConversionRecord::dataFolderOfLog());
    std::vector<uint8_t> bytes;
    if (!checkSerialUpdateMayStart(radio_, end.outcome) ||
        !checkModelConfigured(config_, radio_.modelNumber(), end.outcome) ||
        !checkNewSerial(newSerial, radio_.serialNumberText(), mayWriteAgain(book, newSerial), bytes,
                        end.outcome)) {
        return end;
    }
    RecordedSerialUpdate trace(
        LogFolder::current(), book,
        {radio_.modelNumber(), radio_.serialNumberText(), std::wstring(newSerial)});
    std::filesystem::path unwritable;
    if (!trace.begin(unwritable)) {
        end.outcome = WorkflowOutcome::of(kStrSerialNotRecorded, MessageIcon::Error,
                                          fromUtf8(utf8FromPath(unwritable)));
        return end;
    }
    SerialNumberUpdate command;
    command.radio = &radio_;
    command.progressEnd = static_cast<int32_t>(progressEnd);
    command.progressSpan = 0;
    command.setNewSerial(std::string(bytes.begin(), bytes.end()));
    ErrorChain::remove(kErrorOk);
    frontEnd_.runSerialUpdate(command);
    return command.ok ? succeeded(trace) : failed(command, trace);
}

WorkflowEnd SerialUpdateWorkflow::succeeded(RecordedSerialUpdate& trace) {
    trace.finish(SerialAudit::Stage::Success, {}, {});
    WorkflowEnd end;
    end.kind = WorkflowEnd::Kind::Converted;
    end.rereadFailed = !frontEnd_.readAgain();
    end.outcome = end.rereadFailed
                      ? WorkflowOutcome::of(kStrConnectFailed, MessageIcon::Error)
                      : WorkflowOutcome::of(kStrSerialUpdated, MessageIcon::Information);
    return end;
}

WorkflowEnd SerialUpdateWorkflow::failed(const SerialNumberUpdate& command,
                                         RecordedSerialUpdate& trace) {
    WorkflowEnd end;
    end.kind = WorkflowEnd::Kind::Failed;
    end.causes = ErrorChain::records();
    const std::string error = toUtf8(ErrorChain::firstMessage());
    std::optional<std::wstring> serialRead;
    if (!command.stoppedBeforeWrite) {
        logSerialFailure(command, trace.numbers());
        // The update's causes are kept above; the read's own silence is no cause of it.
        ErrorChain::remove(kErrorOk);
        if (frontEnd_.readAgain()) {
            serialRead = radio_.serialNumberText();
        }
        ErrorChain::remove(kErrorOk);
    }
    const SerialUpdateEnding ending = endOfUnsuccessfulUpdate(command, trace.numbers(), serialRead);
    trace.finish(ending.stage, ending.serialNow, error);
    end.outcome = ending.outcome;
    end.notes = ending.notes;
    return end;
}

}  // namespace plugshift
