#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "conversion/block_to_keep.h"
#include "conversion/conversion_record.h"
#include "conversion/workflow_outcome.h"

namespace plugshift {

class ConvertRadio;
class PersonalityBackup;
class RadioInfo;

class Configuration;
class FrameRing;

// The radio-side decisions of the Convert workflow, without any user interface: the desktop
// window and the command line call the same functions and only show the outcome. Each check
// that fails fills the outcome (string and icon) and writes its err.log entry itself.

// The region's model and the label of its band.
inline constexpr const wchar_t* kTargetModel = L"RQX770HJNWE";
inline constexpr const wchar_t* kBandLabel = L"916-928MHz";
// The configuration's name of the codeplug block.
inline constexpr const wchar_t* kCodeplugBlock = L"DEF";

// The tool's codeplug versions of the two file generations.
struct ToolVersions {
    std::wstring newVersion;
    std::wstring oldVersion;
};

enum class ConvertSide { New, Old };

// What the conversion command is given.
struct ConvertPlan {
    ConvertSide side = ConvertSide::New;
    std::wstring radioModel;    // the model the plan is for
    std::wstring radioVersion;  // the radio's codeplug version as compared
    std::wstring toolVersion;   // the tool's version of the selected side
    std::wstring codeplugPath;
    std::wstring addressPath;
    // One per block kind that has range rules, when the personality is kept; empty otherwise.
    std::vector<BlockToKeep> blocks;
};

// The identity values the failure summary names, in their display forms.
struct RadioSummary {
    std::wstring model;
    std::wstring serial;
    std::wstring firmware;
    std::wstring codeplug;

    // Empty where a value has no text.
    static RadioSummary of(const RadioInfo& radio);
};

// The radio's model number must be configured; otherwise string 145.
bool checkModelConfigured(const Configuration& config, const std::wstring& model,
                          WorkflowOutcome& outcome);

// The versions of the target model's codeplug block, each side taken by the parity of the
// middle number (a later entry replaces an earlier one; the first entry that does not parse ends
// the list). A side without a version takes the other side's, in upper case. Neither side:
// "The tool CP version is invalid." and string 112.
bool findToolVersions(Configuration& config, ToolVersions& versions, WorkflowOutcome& outcome);

// From the radio's codeplug version to what the command needs: the side, the codeplug and
// address-map files of both sides (a missing one is logged and gives string 112), the tool
// version check, "already converted" (174) and the version comparison (173), and, with
// keepPersonality, the blocks to keep from the range rules.
bool planConversion(Configuration& config, const ToolVersions& tool, const std::wstring& radioModel,
                    std::span<const uint8_t, 4> radioCodeplug, bool keepPersonality,
                    ConvertPlan& plan, WorkflowOutcome& outcome);

// The same from the version's text, as a record keeps it.
bool planConversionFrom(Configuration& config, const ToolVersions& tool,
                        const std::wstring& radioModel, const std::wstring& radioVersion,
                        bool keepPersonality, ConvertPlan& plan, WorkflowOutcome& outcome);

// Sets the conversion up as the plan says: its two files, the default block's update and, when
// the personality is kept, the blocks to keep and the folder for the backup.
void prepareConversion(ConvertRadio& command, const ConvertPlan& plan, bool keepPersonality,
                       RadioInfo& radio, uint32_t progressEnd,
                       const std::filesystem::path& backupFolder);

// The way back after a failed conversion that saved the personality: convert the radio again,
// as its codeplug version chose before the failure, and write the backup's personality into it.
// The radio on the cable must be the backup's (same serial number); otherwise string 184 with
// the backup's serial number.
bool backupBelongsTo(const PersonalityBackup& backup, const RadioInfo& radio,
                     WorkflowOutcome& outcome);
// The plan from the identity the backup recorded, since a half-written default block may no
// longer tell the radio's model and codeplug version: the same checks and files as a conversion.
bool planRecovery(Configuration& config, const PersonalityBackup& backup, ConvertPlan& plan,
                  WorkflowOutcome& outcome);
// Sets the conversion up as the plan says, its personality taken from the backup at `path`.
void prepareRecovery(ConvertRadio& command, const ConvertPlan& plan,
                     const PersonalityBackup& backup, const std::filesystem::path& path,
                     RadioInfo& radio, uint32_t progressEnd);

// After a failed conversion: logs the summary with the error chain, writes the frames of the
// radio's trace ring beside err.log and names that file in the next entry (FailureTrace), and
// clears the chain. The message: string 183 naming the folder when the personality could not be
// saved there, else 112 when the oldest record is of a file category and 115 otherwise. trace is
// the radio record's frameRing(); null writes no trace.
WorkflowOutcome concludeFailedConversion(const ConvertRadio& command, const RadioSummary& radio,
                                         bool restore, const FrameRing* trace);

// After a successful conversion: what the run recorded and went on after (a contact that could
// not be kept, a sector erase that failed before its block was programmed) goes to err.log like a
// failure's causes, and comes back as text for the user, newest first; empty when it recorded
// nothing. Clears the chain.
std::wstring concludeSuccessfulConversion(const RadioSummary& radio, bool restore);

}  // namespace plugshift
