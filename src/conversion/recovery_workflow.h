#pragma once

#include <filesystem>

#include "conversion/conversion_record.h"
#include "conversion/workflow_end.h"

namespace plugshift {

class Configuration;
class PersonalityBackup;
class RadioInfo;
class WorkflowFrontEnd;

// The way back from a personality backup, for every front end: the radio on the cable is
// converted again with the files its codeplug version chose before the conversion (as the
// backup recorded it) and the backup's personality is written into it. It must be the backup's
// radio (same serial number) and, when it still reports its codeplug version, of the backup's
// version; anyRadio writes the backup into whatever radio is there. The user confirms first,
// since the radio's own user information and contacts are replaced.
class RecoveryWorkflow {
public:
    struct Options {
        bool anyRadio = false;
        // The front end has already asked whether to write the backup back.
        bool alreadyConfirmed = false;
    };

    RecoveryWorkflow(Configuration& config, RadioInfo& radio, ConversionRecord record,
                     WorkflowFrontEnd& frontEnd);

    // The radio is open with its serial number read (nothing under anyRadio); identityComplete
    // when it answered every identity item.
    WorkflowEnd run(const PersonalityBackup& backup, const std::filesystem::path& path,
                    const Options& options, bool identityComplete, uint32_t progressEnd);

private:
    Configuration& config_;
    RadioInfo& radio_;
    ConversionRecord record_;
    WorkflowFrontEnd& frontEnd_;
};

}  // namespace plugshift
