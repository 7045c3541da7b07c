#include "conversion/recovery_workflow.h"

#include <algorithm>

#include "conversion/convert_decisions.h"
#include "conversion/convert_radio.h"
#include "conversion/convert_workflow.h"
#include "conversion/personality_backup.h"
#include "conversion/radio_opening.h"
#include "conversion/recorded_run.h"
#include "conversion/workflow_front_end.h"
#include "errors/wide_text.h"
#include "platform/system_files.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

WorkflowEnd refused(WorkflowOutcome outcome) {
    WorkflowEnd end;
    end.outcome = std::move(outcome);
    return end;
}

}  // namespace

RecoveryWorkflow::RecoveryWorkflow(Configuration& config, RadioInfo& radio, ConversionRecord record,
                                   WorkflowFrontEnd& frontEnd)
    : config_(config), radio_(radio), record_(std::move(record)), frontEnd_(frontEnd) {}

WorkflowEnd RecoveryWorkflow::run(const PersonalityBackup& backup,
                                  const std::filesystem::path& path, const Options& options,
                                  bool identityComplete, uint32_t progressEnd) {
    WorkflowOutcome outcome;
    if (!options.anyRadio && !backupBelongsTo(backup, radio_, outcome)) {
        return refused(outcome);
    }
    // A radio that still reports its codeplug version must be of the backup's: the blocks kept
    // are laid out by it.
    if (!options.anyRadio && identityComplete &&
        !std::ranges::equal(radio_.codeplugVersion(), backup.codeplugVersion)) {
        return refused(
            WorkflowOutcome::of(kStrBackupOtherCodeplug, MessageIcon::Warning,
                                RadioInfo::versionText(backup.codeplugVersion).value_or(L"")));
    }
    ConvertPlan plan;
    if (!planRecovery(config_, backup, plan, outcome)) {
        return refused(outcome);
    }
    if (!options.alreadyConfirmed &&
        !frontEnd_.confirm(WorkflowOutcome::of(kStrRestoreConfirm, MessageIcon::Question,
                                               fromUtf8(utf8FromPath(path))))) {
        WorkflowEnd end;
        end.kind = WorkflowEnd::Kind::Declined;
        return end;
    }
    ConvertRadio command;
    prepareRecovery(command, plan, backup, path, radio_, progressEnd);
    RecordedRun::Conversion before = RecordedRun::identityOf(backup, path);
    if (options.anyRadio) {
        // Filed under the radio written into, which a later finish looks for, not the backup's.
        before.serial = radio_.readSerialNumber(RadioOpening::kSerialReadAttempts)
                            ? toUtf8(radio_.serialNumberText())
                            : std::string();
    }
    RecordedRun record(record_, std::move(before));
    return ConvertWorkflow::execute(command, record, radio_, frontEnd_, true,
                                    kStrPersonalityRestored);
}

}  // namespace plugshift
