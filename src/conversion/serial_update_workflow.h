#pragma once

#include <cstdint>
#include <string_view>

#include "conversion/workflow_end.h"

namespace plugshift {

class Configuration;
class RadioInfo;
class WorkflowFrontEnd;

// The serial-number update after the dealer logged in and the radio is open with its identity
// read, for every front end: the radio's last conversion must have ended and the audit must take
// a line, the model must be configured and the new number well formed; then the number is
// written, the update audited and recorded, and the identity read again.
class SerialUpdateWorkflow {
public:
    SerialUpdateWorkflow(const Configuration& config, RadioInfo& radio, WorkflowFrontEnd& frontEnd);

    // Converted when the radio took the new number (string 101, or 100 with rereadFailed when it
    // did not answer the identity read afterwards); Refused (nothing sent) or Failed otherwise.
    WorkflowEnd run(std::wstring_view newSerial, uint32_t progressEnd);

private:
    const Configuration& config_;
    RadioInfo& radio_;
    WorkflowFrontEnd& frontEnd_;
};

}  // namespace plugshift
