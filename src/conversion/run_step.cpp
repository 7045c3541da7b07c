#include "conversion/run_step.h"

#include <array>
#include <utility>

namespace plugshift {

namespace {

constexpr std::array<std::pair<RunStep, const char*>, 6> kNames = {{
    {RunStep::EraseDefaultBlock, "erase-default-block"},
    {RunStep::ProgramDefaultBlock, "program-default-block"},
    {RunStep::EraseDynamicBlock, "erase-dynamic-block"},
    {RunStep::HardReset, "hard-reset"},
    {RunStep::RestorePersonality, "restore-personality"},
    {RunStep::ReturnToNormalMode, "normal-mode"},
}};

}  // namespace

const char* runStepName(RunStep step) {
    for (const auto& [known, name] : kNames) {
        if (known == step) {
            return name;
        }
    }
    return "";
}

std::optional<RunStep> runStepNamed(std::string_view name) {
    for (const auto& [step, known] : kNames) {
        if (name == known) {
            return step;
        }
    }
    return std::nullopt;
}

}  // namespace plugshift
