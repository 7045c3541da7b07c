#pragma once

#include <optional>
#include <string_view>

namespace plugshift {

// The steps of a conversion that change the radio, in the order a run takes them. The record
// notes each before it begins, so a run that stops anywhere can be finished from where it was.
enum class RunStep {
    None,                 // nothing changed yet
    EraseDefaultBlock,    // the codeplug's sectors
    ProgramDefaultBlock,  // the new codeplug
    EraseDynamicBlock,    // the owner's personality goes here
    HardReset,            // the reset and the blocks' reset after it
    RestorePersonality,   // the kept personality written back
    ReturnToNormalMode,   // the radio's own mode again
};

// The step's name in the record; "" for None.
const char* runStepName(RunStep step);
// The step of a name the record holds; nothing for a name this version does not know.
std::optional<RunStep> runStepNamed(std::string_view name);

}  // namespace plugshift
