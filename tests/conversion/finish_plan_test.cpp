// How an unfinished conversion is finished, one row per state the record, the radio and the backup
// can be in.

#include "conversion/finish_plan.h"

#include <gtest/gtest.h>

#include <string>

namespace plugshift {
namespace {

using Resume = ConvertRadio::ResumePoint;
using Personality = FinishPlan::Personality;
using Question = FinishPlan::Question;
using Backup = FinishPlan::Backup;

// What the record knows of the unfinished run.
struct Entry {
    RunStep lastStep = RunStep::EraseDefaultBlock;
    const char* personality = ConversionRecord::kFromRadio;
    bool backupNamed = true;
    bool personalityBack = false;
    bool olderVersion = false;  // "erase" and "programmed" lines only
    bool programmed = false;
    bool eraseNoted = true;  // false: older still, without even an erase line

    ConversionRecord::Conversion conversion() const {
        ConversionRecord::Conversion c;
        c.eraseNoted = eraseNoted;
        c.stepsNoted = !olderVersion;
        c.personality = olderVersion ? "" : personality;
        c.backup = backupNamed ? "/data/backup/a.pbk" : "";
        c.lastStep = lastStep;
        c.personalityBack = personalityBack;
        c.programmed = programmed;
        return c;
    }
};

struct Row {
    const char* name;
    Entry entry;
    bool radioConverted;
    Backup backup;
    bool keepNow;
    FinishPlan expected;
};

constexpr Entry kOlder{.olderVersion = true};
constexpr Entry kOlderProgrammed{
    .lastStep = RunStep::EraseDynamicBlock, .olderVersion = true, .programmed = true};

const Row kRows[] = {
    // The default block cut short: the personality is still where the run found it.
    {"killed while erasing, keeping",
     {},
     false,
     Backup::Present,
     false,
     {Resume::Start, Personality::FromRadio}},
    {"killed while programming, backup lost with a relative folder",
     {.lastStep = RunStep::ProgramDefaultBlock},
     true,
     Backup::Unusable,
     false,
     {Resume::Start, Personality::FromRadio}},
    {"killed while programming, kept nothing, keeping now",
     {.lastStep = RunStep::ProgramDefaultBlock, .personality = "none", .backupNamed = false},
     false,
     Backup::NotKept,
     true,
     {Resume::Start, Personality::FromRadio}},
    {"killed while programming, kept nothing then or now",
     {.lastStep = RunStep::ProgramDefaultBlock, .personality = "none", .backupNamed = false},
     false,
     Backup::NotKept,
     false,
     {Resume::Start, Personality::None}},
    // A run that wrote a backup back may follow one that erased the radio's own.
    {"a restore killed while programming",
     {.lastStep = RunStep::ProgramDefaultBlock, .personality = "backup"},
     false,
     Backup::Present,
     false,
     {Resume::Start, Personality::FromBackup}},
    {"a restore killed while programming, its backup lost",
     {.lastStep = RunStep::ProgramDefaultBlock, .personality = "backup"},
     false,
     Backup::Unusable,
     false,
     {Resume::Start, Personality::None, Question::FinishKeepingNone}},

    // The personality erased and not back: the run's backup, from the dynamic block's erase.
    {"killed after the dynamic block's erase",
     {.lastStep = RunStep::EraseDynamicBlock},
     true,
     Backup::Present,
     false,
     {Resume::DynamicBlock, Personality::FromBackup}},
    {"cable pulled while the contacts were written back",
     {.lastStep = RunStep::RestorePersonality},
     true,
     Backup::Present,
     true,
     {Resume::DynamicBlock, Personality::FromBackup}},
    {"late reset, radio not reading converted",
     {.lastStep = RunStep::HardReset},
     false,
     Backup::Present,
     false,
     {Resume::Start, Personality::FromBackup}},
    {"killed after the dynamic block's erase, backup lost",
     {.lastStep = RunStep::EraseDynamicBlock},
     true,
     Backup::Unusable,
     false,
     {Resume::DynamicBlock, Personality::None, Question::FinishKeepingNone}},
    {"killed after the dynamic block's erase, kept nothing",
     {.lastStep = RunStep::EraseDynamicBlock, .personality = "none", .backupNamed = false},
     true,
     Backup::NotKept,
     true,
     {Resume::DynamicBlock, Personality::None}},

    // The personality back (or none to bring back): only the last steps, nothing written over it.
    {"killed returning to normal mode",
     {.lastStep = RunStep::ReturnToNormalMode, .personalityBack = true},
     true,
     Backup::Present,
     true,
     {Resume::NormalMode, Personality::None}},
    {"end not written on a full disk, kept nothing",
     {.lastStep = RunStep::ReturnToNormalMode, .personality = "none", .backupNamed = false},
     true,
     Backup::NotKept,
     false,
     {Resume::NormalMode, Personality::None}},
    {"personality back, normal mode not yet begun",
     {.lastStep = RunStep::RestorePersonality, .personalityBack = true},
     true,
     Backup::Unusable,
     false,
     {Resume::NormalMode, Personality::None}},
    {"personality back but the radio does not read converted",
     {.lastStep = RunStep::ReturnToNormalMode, .personalityBack = true},
     false,
     Backup::Present,
     false,
     {Resume::Start, Personality::FromRadio}},

    // Entries of earlier versions.
    {"older entry, erase only",
     kOlder,
     false,
     Backup::Present,
     false,
     {Resume::Start, Personality::FromBackup}},
    {"older entry, programmed, radio converted",
     kOlderProgrammed,
     true,
     Backup::Present,
     false,
     {Resume::DynamicBlock, Personality::FromBackup, Question::WriteOverRadio}},
    {"older entry, programmed, backup lost",
     kOlderProgrammed,
     true,
     Backup::Unusable,
     false,
     {Resume::NormalMode, Personality::None}},
    {"older entry, programmed, radio half-written",
     kOlderProgrammed,
     false,
     Backup::Present,
     false,
     {Resume::Start, Personality::FromBackup}},
};

TEST(FinishPlan, EachStateOfAnUnfinishedRunHasOneWayToFinish) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const FinishPlan plan =
            FinishPlan::decide(row.entry.conversion(), row.radioConverted, row.backup, row.keepNow);
        EXPECT_EQ(plan.resumeAt, row.expected.resumeAt);
        EXPECT_EQ(plan.personality, row.expected.personality);
        EXPECT_EQ(plan.question, row.expected.question);
    }
}

}  // namespace
}  // namespace plugshift
