#include "conversion/convert_decisions.h"

#include <algorithm>
#include <cwctype>
#include <functional>
#include <optional>

#include "config/configuration.h"
#include "conversion/codeplug_version.h"
#include "conversion/convert_radio.h"
#include "conversion/failure_trace.h"
#include "conversion/personality_backup.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/system_files.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

using NextVersion = std::function<bool(std::wstring&)>;

WorkflowOutcome fileProblem() {
    return WorkflowOutcome::of(kStrFileProblem, MessageIcon::Error);
}

std::wstring upperCase(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    }
    return text;
}

// Sorts the enumerated versions into the two sides until the first that does not parse. The
// enumeration's cursor is shared by the whole process, so a pass stopped early is run to its
// end: the next caller then starts at the first version again.
void sortBySide(const NextVersion& next, std::wstring& newSide, std::wstring& oldSide) {
    std::wstring version;
    bool sorting = true;
    while (next(version)) {
        if (!sorting) {
            continue;
        }
        const std::optional<CodeplugVersion> parsed = CodeplugVersion::parse(version);
        if (!parsed) {
            sorting = false;
            continue;
        }
        (parsed->isNew() ? newSide : oldSide) = version;
    }
}

bool lookUpCodeplugFiles(const Configuration& config, const ToolVersions& tool, ConvertPlan& plan) {
    std::wstring newPath;
    std::wstring oldPath;
    bool found = true;
    if (!config.getBlockFile(kTargetModel, kCodeplugBlock, tool.newVersion, newPath)) {
        ErrorLog::write(L"New CP file is lost.");
        found = false;  // the old file is still looked up, so both are logged
    }
    if (!config.getBlockFile(kTargetModel, kCodeplugBlock, tool.oldVersion, oldPath)) {
        ErrorLog::write(L"Old CP file is lost.");
        return false;
    }
    plan.codeplugPath = plan.side == ConvertSide::New ? newPath : oldPath;
    return found;
}

bool lookUpAddressFiles(Configuration& config, ConvertPlan& plan) {
    std::wstring newVersion;
    std::wstring oldVersion;
    sortBySide([&config](std::wstring& v) { return config.nextAddressVersion(v); }, newVersion,
               oldVersion);
    if (newVersion.empty()) {
        newVersion = oldVersion;
    } else if (oldVersion.empty()) {
        oldVersion = newVersion;
    }
    std::wstring newPath;
    std::wstring oldPath;
    if (!config.getAddressFile(newVersion, newPath)) {
        ErrorLog::write(L"New ADDR file is lost.");
        return false;
    }
    if (!config.getAddressFile(oldVersion, oldPath)) {
        ErrorLog::write(L"Old ADDR file is lost.");
        return false;
    }
    plan.addressPath = plan.side == ConvertSide::New ? newPath : oldPath;
    return true;
}

// One block per kind with range rules, in the order the configuration gives the kinds; a kind no
// rule matches is kept with address and length 0.
std::vector<BlockToKeep> blocksToKeep(Configuration& config, int source, int target) {
    std::vector<BlockToKeep> blocks;
    int32_t kind = 0;
    while (config.nextRangeKind(kind)) {
        int32_t address = 0;
        int32_t length = 0;
        config.findRange(kind, source, target, address, length);
        blocks.push_back(
            BlockToKeep{kind, static_cast<uint32_t>(address), static_cast<uint32_t>(length)});
    }
    return blocks;
}

}  // namespace

bool checkModelConfigured(const Configuration& config, const std::wstring& model,
                          WorkflowOutcome& outcome) {
    if (config.hasModel(model)) {
        return true;
    }
    outcome = WorkflowOutcome::of(kStrRadioUnsupported, MessageIcon::Error);
    return false;
}

bool findToolVersions(Configuration& config, ToolVersions& versions, WorkflowOutcome& outcome) {
    versions = {};
    sortBySide(
        [&config](std::wstring& v) {
            return config.nextBlockVersion(v, kTargetModel, kCodeplugBlock);
        },
        versions.newVersion, versions.oldVersion);
    // A side the configuration does not name converts with the other side's files.
    if (versions.oldVersion.empty() && !versions.newVersion.empty()) {
        versions.oldVersion = upperCase(versions.newVersion);
    } else if (versions.newVersion.empty() && !versions.oldVersion.empty()) {
        versions.newVersion = upperCase(versions.oldVersion);
    } else if (versions.newVersion.empty()) {
        ErrorLog::write(L"The tool CP version is invalid.");
        outcome = fileProblem();
        return false;
    }
    return true;
}

bool planConversion(Configuration& config, const ToolVersions& tool, const std::wstring& radioModel,
                    std::span<const uint8_t, 4> radioCodeplug, bool keepPersonality,
                    ConvertPlan& plan, WorkflowOutcome& outcome) {
    return planConversionFrom(config, tool, radioModel, CodeplugVersion::radioText(radioCodeplug),
                              keepPersonality, plan, outcome);
}

bool planConversionFrom(Configuration& config, const ToolVersions& tool,
                        const std::wstring& radioModel, const std::wstring& radioVersion,
                        bool keepPersonality, ConvertPlan& plan, WorkflowOutcome& outcome) {
    plan = {};
    plan.radioModel = radioModel;
    plan.radioVersion = radioVersion;
    const std::optional<CodeplugVersion> radio = CodeplugVersion::parse(plan.radioVersion);
    if (!radio) {
        ErrorLog::write(L"The radio CP version is invalid.");
        outcome = fileProblem();
        return false;
    }
    plan.side = radio->isNew() ? ConvertSide::New : ConvertSide::Old;

    if (!lookUpCodeplugFiles(config, tool, plan) || !lookUpAddressFiles(config, plan)) {
        outcome = fileProblem();
        return false;
    }

    plan.toolVersion = plan.side == ConvertSide::New ? tool.newVersion : tool.oldVersion;
    const std::optional<CodeplugVersion> target = CodeplugVersion::parse(plan.toolVersion);
    if (!target) {
        ErrorLog::write(L"The tool version is invalid.");
        outcome = fileProblem();
        return false;
    }

    if (Configuration::isSupportedModel(radioModel)) {
        outcome = WorkflowOutcome::of(kStrAlreadyConverted, MessageIcon::Information, kBandLabel);
        return false;
    }
    if (plan.radioVersion != plan.toolVersion) {
        outcome = WorkflowOutcome::of(kStrIncompatible, MessageIcon::Warning);
        return false;
    }

    if (keepPersonality) {
        plan.blocks = blocksToKeep(config, radio->first, target->first);
    }
    return true;
}

RadioSummary RadioSummary::of(const RadioInfo& radio) {
    return RadioSummary{radio.modelNumber(), radio.serialNumberText(),
                        RadioInfo::versionText(radio.firmwareVersion()).value_or(L""),
                        RadioInfo::versionText(radio.codeplugVersion()).value_or(L"")};
}

void prepareConversion(ConvertRadio& command, const ConvertPlan& plan, bool keepPersonality,
                       RadioInfo& radio, uint32_t progressEnd,
                       const std::filesystem::path& backupFolder) {
    command.setAddressFile(plan.addressPath.c_str());
    command.setCodeplugFile(plan.codeplugPath.c_str());
    command.enableDefaultBlockUpdate();
    command.keepPersonality = keepPersonality;
    if (keepPersonality) {
        command.enableKeepSteps();
        command.setBlocks(plan.blocks.data(), static_cast<uint8_t>(plan.blocks.size()));
    }
    command.radio = &radio;
    command.progressEnd = progressEnd;
    command.progressPos = 0;
    command.setBackupFolder(backupFolder);
    // A half-written radio no longer tells its model and codeplug version: its backup carries
    // the ones the plan is for, so that it can be written back.
    const auto model = RadioInfo::modelFromText(plan.radioModel);
    const auto version = CodeplugVersion::parse(plan.radioVersion);
    if (model && version &&
        (radio.modelNumber() != plan.radioModel ||
         CodeplugVersion::radioText(radio.codeplugVersion()) != plan.radioVersion)) {
        command.setBackupIdentity(*model, version->bytes());
    }
}

bool backupBelongsTo(const PersonalityBackup& backup, const RadioInfo& radio,
                     WorkflowOutcome& outcome) {
    const std::span<const uint8_t> serial = radio.serialValue();
    if (std::equal(serial.begin(), serial.end(), backup.serial.begin(), backup.serial.end())) {
        return true;
    }
    outcome = WorkflowOutcome::of(kStrRecoveryOtherRadio, MessageIcon::Warning,
                                  RadioInfo::serialText(backup.serial).value_or(L""));
    return false;
}

bool planRecovery(Configuration& config, const PersonalityBackup& backup, ConvertPlan& plan,
                  WorkflowOutcome& outcome) {
    const std::wstring model = RadioInfo::modelText(backup.model).value_or(L"");
    ToolVersions tool;
    return checkModelConfigured(config, model, outcome) &&
           findToolVersions(config, tool, outcome) &&
           planConversion(config, tool, model, backup.codeplugVersion, false, plan, outcome);
}

void prepareRecovery(ConvertRadio& command, const ConvertPlan& plan,
                     const PersonalityBackup& backup, const std::filesystem::path& path,
                     RadioInfo& radio, uint32_t progressEnd) {
    prepareConversion(command, plan, false, radio, progressEnd, path.parent_path());
    command.takePersonalityFrom(backup, path);
}

namespace {

void logSummary(const wchar_t* outcome, const RadioSummary& radio, bool restore) {
    ErrorLog::write(
        L"%ls (Model:%ls,SN:%ls,Firmware:%ls,Codeplug:%ls,Restore:%d), this's caused "
        L"by:\n%ls",
        outcome, radio.model.c_str(), radio.serial.c_str(), radio.firmware.c_str(),
        radio.codeplug.c_str(), restore ? 1 : 0, ErrorChain::text().c_str());
}

}  // namespace

WorkflowOutcome concludeFailedConversion(const ConvertRadio& command, const RadioSummary& radio,
                                         bool restore, const FrameRing* trace) {
    logSummary(L"Update radio failed", radio, restore);
    FailureTrace::logAfterSummary(trace);
    WorkflowOutcome outcome;
    if (command.backupNotSaved()) {
        // Not a damaged installation: the data folder refused the backup, and the dealer can fix
        // that.
        outcome = WorkflowOutcome::of(kStrBackupNotSaved, MessageIcon::Error,
                                      fromUtf8(utf8FromPath(command.backupFolder())));
    } else {
        const int id =
            isFileCategory(ErrorChain::firstCategory()) ? kStrFileProblem : kStrConvertFailed;
        outcome = WorkflowOutcome::of(id, MessageIcon::Error);
    }
    ErrorChain::remove(kErrorOk);
    return outcome;
}

std::wstring concludeSuccessfulConversion(const RadioSummary& radio, bool restore) {
    if (ErrorChain::records().empty()) {
        return {};
    }
    logSummary(L"Update radio succeeded with warnings", radio, restore);
    const std::wstring warnings = ErrorChain::text();
    ErrorChain::remove(kErrorOk);
    return warnings;
}

}  // namespace plugshift
