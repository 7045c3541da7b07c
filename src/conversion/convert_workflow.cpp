#include "conversion/convert_workflow.h"

#include <algorithm>
#include <system_error>

#include "config/configuration.h"
#include "conversion/convert_radio.h"
#include "conversion/log_folder.h"
#include "conversion/personality_backup.h"
#include "conversion/recorded_run.h"
#include "conversion/workflow_front_end.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/system_files.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

// How the engine's records end when the last attempt heard nothing: no reply opcode at all.
constexpr const wchar_t* kNoReplyAtAll = L"the status is -1, the last OPC is 0.";

WorkflowEnd refused(WorkflowOutcome outcome) {
    WorkflowEnd end;
    end.kind = WorkflowEnd::Kind::Refused;
    end.outcome = std::move(outcome);
    return end;
}

WorkflowEnd declined() {
    WorkflowEnd end;
    end.kind = WorkflowEnd::Kind::Declined;
    return end;
}

std::wstring shownPath(const std::filesystem::path& path) {
    return fromUtf8(utf8FromPath(path));
}

// Whether a file a record line names is the one the installation's rules give now; a line
// without the file (an older record) names nothing to compare.
bool sameFile(const std::string& recorded, const std::wstring& planned) {
    if (recorded.empty()) {
        return true;
    }
    std::error_code ec;
    const std::filesystem::path a = std::filesystem::weakly_canonical(pathFromUtf8(recorded), ec);
    const std::filesystem::path b =
        std::filesystem::weakly_canonical(pathFromUtf8(toUtf8(planned)), ec);
    return a == b;
}

}  // namespace

ConvertWorkflow::ConvertWorkflow(Configuration& config, RadioInfo& radio, ConversionRecord record,
                                 std::filesystem::path backupFolder, WorkflowFrontEnd& frontEnd)
    : config_(config),
      radio_(radio),
      record_(std::move(record)),
      backupFolder_(std::move(backupFolder)),
      frontEnd_(frontEnd) {}

bool ConvertWorkflow::lookUpUnfinished(const ConversionRecord& record, const RadioInfo& radio,
                                       std::optional<ConversionRecord::Conversion>& unfinished,
                                       WorkflowOutcome& outcome) {
    const std::string serial = toUtf8(radio.serialNumberText());
    std::string reason;
    if (record.findUnfinished(serial, unfinished, reason)) {
        return true;
    }
    const std::wstring file = shownPath(record.file()) + L" (" + fromUtf8(reason) + L")";
    ErrorLog::write(L"The conversion record %ls cannot be read.", file.c_str());
    outcome = WorkflowOutcome::of(kStrRecordUnreadable, MessageIcon::Error, file);
    return false;
}

WorkflowEnd ConvertWorkflow::run(const Options& options, bool identityComplete,
                                 uint32_t progressEnd) {
    std::optional<ConversionRecord::Conversion> unfinished;
    WorkflowOutcome outcome;
    if (!lookUpUnfinished(record_, radio_, unfinished, outcome)) {
        return refused(outcome);
    }
    if (unfinished) {
        // What the full read recorded is no failure once the radio is known by its serial number.
        ErrorChain::remove(kErrorOk);
        return finish(*unfinished, options, identityComplete, progressEnd);
    }
    if (!identityComplete) {
        return refused(WorkflowOutcome::of(kStrConnectFailed, MessageIcon::Error));
    }
    return convert(options, progressEnd);
}

WorkflowEnd ConvertWorkflow::convert(const Options& options, uint32_t progressEnd) {
    frontEnd_.showRadio(false);
    const std::wstring model = radio_.modelNumber();
    WorkflowOutcome outcome;
    ToolVersions tool;
    if (!checkModelConfigured(config_, model, outcome) ||
        !findToolVersions(config_, tool, outcome)) {
        return refused(outcome);
    }
    if (!frontEnd_.confirm(
            WorkflowOutcome::of(kStrConvertConfirm, MessageIcon::Question, kBandLabel))) {
        return declined();
    }
    ConvertPlan plan;
    if (!planConversion(config_, tool, model, radio_.codeplugVersion(), options.keepPersonality,
                        plan, outcome)) {
        return refused(outcome);
    }
    ConvertRadio command;
    prepareConversion(command, plan, options.keepPersonality, radio_, progressEnd, backupFolder_);
    RecordedRun record(record_, RecordedRun::identityOf(radio_));
    return execute(command, record, radio_, frontEnd_, options.keepPersonality, kStrConvertDone);
}

bool ConvertWorkflow::planFinish(const ConversionRecord::Conversion& unfinished,
                                 bool identityComplete, bool keepPersonality, ConvertPlan& plan,
                                 WorkflowOutcome& outcome) {
    ToolVersions tool;
    if (!findToolVersions(config_, tool, outcome)) {
        return false;
    }
    // What the radio says of itself, while it still tells a model the installation converts
    // (a default block cut short may already report the new model from its first chunk).
    const std::wstring reported = radio_.modelNumber();
    if (identityComplete && config_.hasModel(reported) &&
        !Configuration::isSupportedModel(reported)) {
        return planConversion(config_, tool, reported, radio_.codeplugVersion(), keepPersonality,
                              plan, outcome);
    }
    // A half-written default block no longer tells it: the radio as the record saw it before.
    const std::wstring model = fromUtf8(unfinished.model);
    return checkModelConfigured(config_, model, outcome) &&
           planConversionFrom(config_, tool, model, fromUtf8(unfinished.codeplug), keepPersonality,
                              plan, outcome);
}

WorkflowEnd ConvertWorkflow::finish(const ConversionRecord::Conversion& unfinished,
                                    const Options& options, bool identityComplete,
                                    uint32_t progressEnd) {
    const std::wstring started = fromUtf8(LogFolder::shownTime(unfinished.start));
    const std::wstring reported = radio_.modelNumber();
    if (identityComplete && Configuration::isSupportedModel(reported) &&
        unfinished.defaultBlockWritten()) {
        return restoreIntoConverted(unfinished, started, progressEnd);
    }
    ConvertPlan plan;
    WorkflowOutcome outcome;
    if (!planFinish(unfinished, identityComplete, options.keepPersonality, plan, outcome)) {
        return refused(outcome);
    }
    // A record is data, not instructions: it never chooses what is written into a radio.
    if (!sameFile(unfinished.codeplugFile, plan.codeplugPath) ||
        !sameFile(unfinished.addressFile, plan.addressPath)) {
        const std::wstring named =
            fromUtf8(unfinished.codeplugFile) + L", " + fromUtf8(unfinished.addressFile);
        ErrorLog::write(
            L"The unfinished conversion's record names files that are not this "
            L"installation's: %ls.",
            named.c_str());
        return refused(WorkflowOutcome::of(kStrRecordOtherFiles, MessageIcon::Error, named));
    }

    ConvertRadio command;
    const std::filesystem::path backupPath = pathFromUtf8(unfinished.backup);
    PersonalityBackup backup;
    bool withBackup = !unfinished.backup.empty();
    bool backupLost = false;
    if (withBackup && !PersonalityBackup::load(backupPath, backup)) {
        ErrorLog::write(L"The personality backup of the unfinished conversion cannot be used:\n%ls",
                        ErrorChain::text().c_str());
        ErrorChain::remove(kErrorOk);
        const std::wstring shown = shownPath(backupPath);
        if (!frontEnd_.confirmLoss(
                WorkflowOutcome::of(kStrFinishBackupLost, MessageIcon::Warning, shown))) {
            return refused(WorkflowOutcome::of(kStrBackupUnusable, MessageIcon::Error, shown));
        }
        withBackup = false;
        backupLost = true;
    }
    if (withBackup && !backupBelongsTo(backup, radio_, outcome)) {
        return refused(outcome);
    }
    if (!backupLost && !frontEnd_.confirm(WorkflowOutcome::of(
                           withBackup ? kStrFinishWithBackup : kStrFinishWithoutBackup,
                           MessageIcon::Question, started))) {
        return declined();
    }
    RecordedRun record(record_, RecordedRun::finishing(unfinished));
    if (withBackup) {
        // The unfinished run's own backup; the run saves none, so no newer one is replaced.
        prepareRecovery(command, plan, backup, backupPath, radio_, progressEnd);
        return execute(command, record, radio_, frontEnd_, true, kStrPersonalityRestored);
    }
    // Nothing was kept then: today's choice holds, read from the radio as any conversion does.
    const bool keep = options.keepPersonality && !backupLost;
    prepareConversion(command, plan, keep, radio_, progressEnd, backupFolder_);
    return execute(command, record, radio_, frontEnd_, keep, kStrConvertDone);
}

// The record says the conversion did not end, yet the radio reads converted (its end was not
// written, or it failed after programming). Its backup may bring the owner's data back, or
// replace what the owner has changed since: only a person decides that, never a standing yes.
WorkflowEnd ConvertWorkflow::restoreIntoConverted(const ConversionRecord::Conversion& unfinished,
                                                  const std::wstring& started,
                                                  uint32_t progressEnd) {
    ErrorLog::write(
        L"The record shows the conversion started %ls unfinished, but the radio reads "
        L"as converted.",
        started.c_str());
    WorkflowEnd said =
        refused(WorkflowOutcome::of(kStrUnfinishedButConverted, MessageIcon::Warning, started));
    said.backup = pathFromUtf8(unfinished.backup);
    PersonalityBackup backup;
    WorkflowOutcome outcome;
    ConvertPlan plan;
    if (unfinished.backup.empty() || !PersonalityBackup::load(said.backup, backup) ||
        !backupBelongsTo(backup, radio_, outcome) ||
        !planRecovery(config_, backup, plan, outcome) ||
        !frontEnd_.confirmLoss(
            WorkflowOutcome::of(kStrRestoreIntoConverted, MessageIcon::Warning, started))) {
        ErrorChain::remove(kErrorOk);
        return said;
    }
    ConvertRadio command;
    prepareRecovery(command, plan, backup, said.backup, radio_, progressEnd);
    RecordedRun record(record_, RecordedRun::finishing(unfinished));
    return execute(command, record, radio_, frontEnd_, true, kStrPersonalityRestored);
}

WorkflowEnd ConvertWorkflow::execute(ConvertRadio& command, RecordedRun& record, RadioInfo& radio,
                                     WorkflowFrontEnd& frontEnd, bool restore, int successString) {
    record.attach(command,
                  [&frontEnd](const std::filesystem::path& saved) { frontEnd.backupSaved(saved); });
    // What the opening left in the chain (the probe's silence) is no cause of this run's end.
    ErrorChain::remove(kErrorOk);
    const bool stopRequested = frontEnd.runCommand(command);
    record.finish(command, stopRequested);
    WorkflowEnd end;
    end.backup = command.lastBackupPath();
    if (!command.ok) {
        end.kind = WorkflowEnd::Kind::Failed;
        end.causes = ErrorChain::records();
        end.radioSilent = std::ranges::any_of(end.causes, [](const ErrorRecord& cause) {
            return cause.message.find(kNoReplyAtAll) != std::wstring::npos;
        });
        end.mayBeHalfWritten = record.opened() && record.entry().eraseBegan;
        end.outcome =
            concludeFailedConversion(command, RadioSummary::of(radio), restore, radio.frameRing());
        if (record.notRecorded()) {
            end.outcome = WorkflowOutcome::of(kStrNotRecorded, MessageIcon::Error,
                                              shownPath(record.record().folder()));
        } else if (stopRequested && !end.mayBeHalfWritten) {
            end.outcome = WorkflowOutcome::of(kStrStoppedUnchanged, MessageIcon::Information);
        }
        if (!end.backup.empty()) {
            ErrorLog::write(L"The radio's personality was saved to [%ls].",
                            shownPath(end.backup).c_str());
        }
        return end;
    }
    end.kind = WorkflowEnd::Kind::Converted;
    end.outcome = WorkflowOutcome::of(successString, MessageIcon::Information);
    end.warnings = concludeSuccessfulConversion(RadioSummary::of(radio), restore);
    if (record.closeFailed()) {
        end.recordNotClosed = true;
        end.recordProblem = record.reason();
    }
    if (frontEnd.readAgain()) {
        frontEnd.showRadio(true);
    } else {
        // Converted all the same: only the look at the result failed.
        ErrorLog::write(L"The radio could not be read again after its conversion:\n%ls",
                        ErrorChain::text().c_str());
        ErrorChain::remove(kErrorOk);
        end.rereadFailed = true;
    }
    return end;
}

}  // namespace plugshift
