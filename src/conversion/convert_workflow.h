#pragma once

#include <filesystem>
#include <optional>

#include "conversion/conversion_record.h"
#include "conversion/convert_decisions.h"
#include "conversion/workflow_end.h"

namespace plugshift {

class Configuration;
class ConvertRadio;
class RadioInfo;
class RecordedRun;
class WorkflowFrontEnd;

// The Convert workflow after the radio is opened, for every front end: the unfinished conversion
// the record knows of, the model and version checks, the confirmation, the record, the run, its
// conclusion and the identity read again. A radio whose last conversion touched its flash and did
// not end is offered its finish instead, from the step that run was in (FinishPlan):
// - the files come from the installation's rules for what the radio reports (its model and
//   codeplug version when it answers them, else what the record saw before that conversion),
//   never from the paths a record line names, and a record naming other files is refused;
// - an unreadable backup is given up only on purpose (confirmLoss), and an older entry's backup
//   is written over a radio that reads converted only when a person asks for it.
class ConvertWorkflow {
public:
    struct Options {
        bool keepPersonality = false;
    };

    ConvertWorkflow(Configuration& config, RadioInfo& radio, ConversionRecord record,
                    std::filesystem::path backupFolder, WorkflowFrontEnd& frontEnd);

    // The radio is open and its identity read (identityComplete), or at least its serial number.
    WorkflowEnd run(const Options& options, bool identityComplete, uint32_t progressEnd);

    // The unfinished conversion the record knows of for the radio's serial number; false with
    // string 190 when the record cannot be read.
    static bool lookUpUnfinished(const ConversionRecord& record, const RadioInfo& radio,
                                 std::optional<ConversionRecord::Conversion>& unfinished,
                                 WorkflowOutcome& outcome);

    // Runs a prepared command with its record for a front end and concludes it: what
    // the recovery from a backup shares with the conversion.
    static WorkflowEnd execute(ConvertRadio& command, RecordedRun& record, RadioInfo& radio,
                               WorkflowFrontEnd& frontEnd, bool restore, int successString);

private:
    WorkflowEnd convert(const Options& options, uint32_t progressEnd);
    WorkflowEnd finish(const ConversionRecord::Conversion& unfinished, const Options& options,
                       bool identityComplete, uint32_t progressEnd);
    // The plan of a finish from what the radio reports or, when it does not, the record.
    bool planFinish(const ConversionRecord::Conversion& unfinished, bool identityComplete,
                    bool keepPersonality, ConvertPlan& plan, WorkflowOutcome& outcome);

    Configuration& config_;
    RadioInfo& radio_;
    ConversionRecord record_;
    std::filesystem::path backupFolder_;
    WorkflowFrontEnd& frontEnd_;
};

}  // namespace plugshift
