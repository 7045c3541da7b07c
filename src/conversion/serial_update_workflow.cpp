#include "conversion/serial_update_workflow.h"

#include <vector>

#include "conversion/convert_decisions.h"
#include "conversion/serial_decisions.h"
#include "conversion/serial_number_update.h"
#include "conversion/workflow_front_end.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "tasks/radio_info.h"

namespace plugshift {

SerialUpdateWorkflow::SerialUpdateWorkflow(const Configuration& config, RadioInfo& radio,
                                           WorkflowFrontEnd& frontEnd)
    : config_(config), radio_(radio), frontEnd_(frontEnd) {}

WorkflowEnd SerialUpdateWorkflow::run(std::wstring_view newSerial, uint32_t progressEnd) {
    WorkflowEnd end;
    std::vector<uint8_t> bytes;
    if (!checkSerialUpdateMayStart(radio_, end.outcome) ||
        !checkModelConfigured(config_, radio_.modelNumber(), end.outcome) ||
        !checkNewSerial(newSerial, radio_.serialNumberText(), bytes, end.outcome)) {
        return end;
    }
    SerialNumberUpdate command;
    command.radio = &radio_;
    command.progressEnd = static_cast<int32_t>(progressEnd);
    command.progressSpan = 0;
    command.setNewSerial(std::string(bytes.begin(), bytes.end()));
    ErrorChain::remove(kErrorOk);
    frontEnd_.runSerialUpdate(command);
    if (!concludeSerialUpdate(command, command.ok)) {
        end.kind = WorkflowEnd::Kind::Failed;
        end.outcome = WorkflowOutcome::of(kStrSerialFailed, MessageIcon::Error);
        end.causes = ErrorChain::records();
        return end;
    }
    end.kind = WorkflowEnd::Kind::Converted;
    end.rereadFailed = !frontEnd_.readAgain();
    end.outcome = end.rereadFailed
                      ? WorkflowOutcome::of(kStrConnectFailed, MessageIcon::Error)
                      : WorkflowOutcome::of(kStrSerialUpdated, MessageIcon::Information);
    return end;
}

}  // namespace plugshift
