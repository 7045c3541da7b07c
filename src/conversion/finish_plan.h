#pragma once

#include "conversion/conversion_record.h"
#include "conversion/convert_radio.h"

namespace plugshift {

// How a conversion that the record shows unfinished is finished: where the radio work is taken up
// again, where the owner's personality comes from, and what is asked first. One table over the
// last step the run began, what the radio reads as now, the run's backup (none kept, present,
// missing or damaged), where the run took its personality from, and whether keeping it is asked
// now:
// - the default block cut short, the personality untouched: the whole conversion again, the
//   personality read from the radio (it is the newest), or, after a run that wrote a backup back,
//   that backup once more;
// - the personality erased and not yet written back: from the dynamic block's erase with the
//   run's backup, or without one when none was kept (a missing or damaged backup is given up
//   only on purpose);
// - the personality back, or none to come back: only the return to normal mode;
// - a radio that does not read converted gets its default block again in every case.
// Entries of earlier versions cannot tell whether the personality came back: into a radio that
// reads converted their backup is written only when a person says so, and otherwise only the
// last steps are done.
struct FinishPlan {
    enum class Backup { NotKept, Present, Unusable };
    enum class Personality { None, FromRadio, FromBackup };
    enum class Question {
        Finish,             // finish as planned (a standing yes answers it)
        FinishKeepingNone,  // the backup is missing or damaged: finish and lose it
        WriteOverRadio,     // an older entry: write its backup over what the radio holds now
    };

    ConvertRadio::ResumePoint resumeAt = ConvertRadio::ResumePoint::Start;
    Personality personality = Personality::None;
    Question question = Question::Finish;

    // The plan for the unfinished run; radioConverted: the radio answers every identity item
    // and reports the region's model.
    static FinishPlan decide(const ConversionRecord::Conversion& unfinished, bool radioConverted,
                             Backup backup, bool keepNow);
    // What is done when a person says no to writing an older entry's backup over the radio.
    static FinishPlan withoutWritingOver();

    bool operator==(const FinishPlan&) const = default;
};

}  // namespace plugshift
