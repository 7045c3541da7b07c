#include "conversion/convert_workflow.h"

#include <algorithm>
#include <system_error>

#include "config/configuration.h"
#include "conversion/convert_radio.h"
#include "conversion/finish_plan.h"
#include "conversion/log_folder.h"
#include "conversion/personality_backup.h"
#include "conversion/recorded_run.h"
#include "conversion/workflow_front_end.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "formats/ftf_identity.h"
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

// Whether a file a record line names is the one the installation's rules give now: the same
// internal name, version and digest, wherever either lies. A line of an earlier version without
// the file's identity is compared with the file it names, or, when that is gone, by its name.
bool sameFile(const std::string& recordedPath, const std::string& recordedId,
              const std::wstring& planned) {
    if (recordedPath.empty() && recordedId.empty()) {
        return true;
    }
    const std::string plannedId = ftfIdentity(planned);
    if (!recordedId.empty()) {
        return recordedId == plannedId;
    }
    const std::filesystem::path recorded = pathFromUtf8(recordedPath);
    std::error_code ec;
    if (std::filesystem::exists(recorded, ec)) {
        return ftfIdentity(fromUtf8(recordedPath)) == plannedId;
    }
    return recorded.filename() == pathFromUtf8(toUtf8(planned)).filename();
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

namespace {

// A record is data, not instructions: it never chooses what is written into a radio.
bool sameFiles(const ConversionRecord::Conversion& unfinished, const ConvertPlan& plan,
               WorkflowOutcome& outcome) {
    const bool same =
        sameFile(unfinished.codeplugFile, unfinished.codeplugFileId, plan.codeplugPath) &&
        sameFile(unfinished.addressFile, unfinished.addressFileId, plan.addressPath);
    // A file that cannot be read is simply not the same one.
    ErrorChain::remove(kErrorOk);
    if (same) {
        return true;
    }
    const std::wstring named =
        fromUtf8(unfinished.codeplugFile) + L", " + fromUtf8(unfinished.addressFile);
    ErrorLog::write(
        L"The unfinished conversion's record names files that are not this installation's: %ls.",
        named.c_str());
    outcome = WorkflowOutcome::of(kStrRecordOtherFiles, MessageIcon::Error, named);
    return false;
}

FinishPlan::Backup loadBackup(const ConversionRecord::Conversion& unfinished,
                              PersonalityBackup& backup) {
    if (unfinished.backup.empty()) {
        return FinishPlan::Backup::NotKept;
    }
    if (PersonalityBackup::load(pathFromUtf8(unfinished.backup), backup)) {
        return FinishPlan::Backup::Present;
    }
    ErrorLog::write(L"The personality backup of the unfinished conversion cannot be used:\n%ls",
                    ErrorChain::text().c_str());
    ErrorChain::remove(kErrorOk);
    return FinishPlan::Backup::Unusable;
}

// The question that finishes as planned; a standing yes answers it.
int finishQuestion(const FinishPlan& finish, const ConversionRecord::Conversion& unfinished) {
    if (finish.resumeAt == ConvertRadio::ResumePoint::NormalMode) {
        return kStrFinishLastSteps;
    }
    const bool keptThen = !unfinished.backup.empty();
    return keptThen || finish.personality != FinishPlan::Personality::None
               ? kStrFinishWithBackup
               : kStrFinishWithoutBackup;
}

}  // namespace

WorkflowEnd ConvertWorkflow::finish(const ConversionRecord::Conversion& unfinished,
                                    const Options& options, bool identityComplete,
                                    uint32_t progressEnd) {
    const std::wstring started = fromUtf8(LogFolder::shownTime(unfinished.start));
    const bool radioConverted =
        identityComplete && Configuration::isSupportedModel(radio_.modelNumber());
    PersonalityBackup backup;
    const FinishPlan::Backup backupState = loadBackup(unfinished, backup);
    FinishPlan finish =
        FinishPlan::decide(unfinished, radioConverted, backupState, options.keepPersonality);
    const bool readFromRadio = finish.personality == FinishPlan::Personality::FromRadio;
    ConvertPlan plan;
    WorkflowOutcome outcome;
    if (!planFinish(unfinished, identityComplete, readFromRadio, plan, outcome)) {
        return refused(outcome);
    }
    if (!sameFiles(unfinished, plan, outcome)) {
        // This installation converts the radio otherwise: the way on is its backup, on purpose.
        WorkflowEnd end = refused(outcome);
        end.backupNotWritten = backupState == FinishPlan::Backup::Present
                                   ? pathFromUtf8(unfinished.backup)
                                   : std::filesystem::path();
        return end;
    }
    const std::filesystem::path backupPath = pathFromUtf8(unfinished.backup);
    // A run that wrote another radio's backup into this one on purpose is finished with it.
    if (finish.personality == FinishPlan::Personality::FromBackup &&
        unfinished.personality != ConversionRecord::kFromBackup &&
        !backupBelongsTo(backup, radio_, outcome)) {
        return refused(outcome);
    }
    std::filesystem::path notWritten;
    switch (finish.question) {
        case FinishPlan::Question::FinishKeepingNone:
            if (!frontEnd_.confirmLoss(WorkflowOutcome::of(
                    kStrFinishBackupLost, MessageIcon::Warning, shownPath(backupPath)))) {
                return refused(WorkflowOutcome::of(kStrBackupUnusable, MessageIcon::Error,
                                                   shownPath(backupPath)));
            }
            break;
        case FinishPlan::Question::WriteOverRadio:
            if (frontEnd_.confirmInPerson(
                    WorkflowOutcome::of(kStrRestoreIntoConverted, MessageIcon::Warning, started))) {
                break;
            }
            // Only a person writes an older personality over the radio's; the backup stays.
            finish = FinishPlan::withoutWritingOver();
            notWritten = backupPath;
            [[fallthrough]];
        case FinishPlan::Question::Finish:
            if (!frontEnd_.confirm(WorkflowOutcome::of(finishQuestion(finish, unfinished),
                                                       MessageIcon::Question, started))) {
                return declined();
            }
            break;
    }

    ConvertRadio command;
    RecordedRun record(record_, RecordedRun::finishing(unfinished));
    WorkflowEnd end;
    if (finish.personality == FinishPlan::Personality::FromBackup) {
        prepareRecovery(command, plan, backup, backupPath, radio_, progressEnd);
        command.resumeAt(finish.resumeAt);
        end = execute(command, record, radio_, frontEnd_, true, kStrPersonalityRestored);
    } else {
        prepareConversion(command, plan, readFromRadio, radio_, progressEnd, backupFolder_);
        command.resumeAt(finish.resumeAt);
        end = execute(command, record, radio_, frontEnd_, readFromRadio, kStrConvertDone);
    }
    // The radio's own personality could not be read: the run's backup is the way on.
    const bool readFailed = end.kind == WorkflowEnd::Kind::Failed && readFromRadio &&
                            !record.radioChanged() && backupState == FinishPlan::Backup::Present;
    end.backupNotWritten = readFailed ? backupPath : notWritten;
    return end;
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
        // A finish leaves the radio as half-written as it found it, even before its first step.
        end.mayBeHalfWritten = record.radioChanged() || !record.entry().finishes.empty();
        end.outcome =
            concludeFailedConversion(command, RadioSummary::of(radio), restore, radio.frameRing());
        if (record.notRecorded()) {
            // The disk, not the installation: the run stopped before the step it could not note.
            end.outcome =
                WorkflowOutcome::of(end.mayBeHalfWritten ? kStrStepNotRecorded : kStrNotRecorded,
                                    MessageIcon::Error, shownPath(record.record().folder()));
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
