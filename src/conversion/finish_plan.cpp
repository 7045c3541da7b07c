#include "conversion/finish_plan.h"

namespace plugshift {

namespace {

using Resume = ConvertRadio::ResumePoint;
using Personality = FinishPlan::Personality;
using Question = FinishPlan::Question;

enum class Phase {
    DefaultBlock,     // the default block not yet whole; the personality untouched
    PersonalityGone,  // the personality erased and not written back
    PersonalityBack,  // written back, or none to write: only the last steps are left
    Unknown,          // an older entry: the default block whole, nothing known after it
};

Phase phaseOf(const ConversionRecord::Conversion& run) {
    if (!run.stepsNoted && (run.programmed || !run.eraseNoted)) {
        return Phase::Unknown;
    }
    if (run.personalityBack || run.lastStep == RunStep::ReturnToNormalMode) {
        return Phase::PersonalityBack;
    }
    return run.lastStep >= RunStep::EraseDynamicBlock ? Phase::PersonalityGone
                                                      : Phase::DefaultBlock;
}

FinishPlan plan(Resume resumeAt, Personality personality, Question question = Question::Finish) {
    return FinishPlan{resumeAt, personality, question};
}

// The kept personality is no longer on the radio: the backup, as far as it can serve.
FinishPlan fromBackup(Resume resumeAt, FinishPlan::Backup backup) {
    switch (backup) {
        case FinishPlan::Backup::Present:
            return plan(resumeAt, Personality::FromBackup);
        case FinishPlan::Backup::Unusable:
            return plan(resumeAt, Personality::None, Question::FinishKeepingNone);
        case FinishPlan::Backup::NotKept:
            break;
    }
    return plan(resumeAt, Personality::None);
}

// The default block was cut short, so the owner cannot have changed the personality since:
// it is where the run took it from.
FinishPlan beforePersonalityErased(const ConversionRecord::Conversion& run,
                                   FinishPlan::Backup backup, bool keepNow) {
    if (run.personality == ConversionRecord::kFromRadio) {
        return plan(Resume::Start, Personality::FromRadio);
    }
    // A run that wrote a backup back may follow one that erased the radio's own.
    if (run.personality == ConversionRecord::kFromBackup ||
        (run.personality.empty() && backup != FinishPlan::Backup::NotKept)) {
        return fromBackup(Resume::Start, backup);
    }
    return plan(Resume::Start, keepNow ? Personality::FromRadio : Personality::None);
}

}  // namespace

FinishPlan FinishPlan::decide(const ConversionRecord::Conversion& unfinished, bool radioConverted,
                              Backup backup, bool keepNow) {
    switch (phaseOf(unfinished)) {
        case Phase::DefaultBlock:
            return beforePersonalityErased(unfinished, backup, keepNow);
        case Phase::PersonalityGone: {
            // A default block that does not read converted is written again, and so is one whose
            // hard reset may have found it damaged; that does not touch the personality.
            const bool defaultBlockSound =
                radioConverted && unfinished.lastStep != RunStep::HardReset;
            return fromBackup(defaultBlockSound ? Resume::DynamicBlock : Resume::Start, backup);
        }
        case Phase::PersonalityBack:
            // What the radio holds is the newest (a run that kept nothing has erased it): a
            // default block written again takes it along.
            return radioConverted ? withoutWritingOver()
                                  : plan(Resume::Start, Personality::FromRadio);
        case Phase::Unknown:
            if (!radioConverted && backup == Backup::NotKept) {
                return plan(Resume::Start, keepNow ? Personality::FromRadio : Personality::None);
            }
            if (!radioConverted) {
                return fromBackup(Resume::Start, backup);
            }
            if (backup == Backup::Present) {
                return plan(Resume::DynamicBlock, Personality::FromBackup,
                            Question::WriteOverRadio);
            }
            return withoutWritingOver();
    }
    return beforePersonalityErased(unfinished, backup, keepNow);
}

FinishPlan FinishPlan::withoutWritingOver() {
    return plan(Resume::NormalMode, Personality::None);
}

}  // namespace plugshift
