#pragma once

#include <cstdint>
#include <string_view>

#include "conversion/workflow_end.h"

namespace plugshift {

class Configuration;
class RadioInfo;
class RecordedSerialUpdate;
class SerialNumberUpdate;
class WorkflowFrontEnd;

// The serial-number update after the dealer logged in and the radio is open with its identity
// read, for every front end: the radio's last conversion must have ended, the model must be
// configured and the new number well formed; then the update leaves its trace in the audit and
// the record, the number is written, and the trace says how it ended. The radio is read again
// afterwards, whether the update succeeded or not, to tell which number it holds.
class SerialUpdateWorkflow {
public:
    SerialUpdateWorkflow(const Configuration& config, RadioInfo& radio, WorkflowFrontEnd& frontEnd);

    // Converted when the radio took the new number (string 101, or 100 with rereadFailed when it
    // did not answer the identity read afterwards); Refused when nothing was sent (203 when the
    // trace could not be written); Failed otherwise (172 with notes on which number the radio
    // holds now, or 204 when the user stopped it before the number was sent).
    WorkflowEnd run(std::wstring_view newSerial, uint32_t progressEnd);

private:
    WorkflowEnd succeeded(RecordedSerialUpdate& trace);
    WorkflowEnd failed(const SerialNumberUpdate& command, RecordedSerialUpdate& trace);

    const Configuration& config_;
    RadioInfo& radio_;
    WorkflowFrontEnd& frontEnd_;
};

}  // namespace plugshift
