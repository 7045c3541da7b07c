#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "conversion/workflow_outcome.h"

namespace plugshift {

class RadioInfo;
class SerialNumberUpdate;

// The checks of the Update serial number workflow on the number the dealer entered, against the
// radio's present serial number: the same number of characters and the serial-number format
// (otherwise string 117), and a different number (otherwise 103). On success `bytes` holds the
// number as the radio stores it, one byte per character. A character outside ASCII cannot be
// stored in one byte and fails like a wrong format.
bool checkNewSerial(std::wstring_view entered, std::wstring_view present,
                    std::vector<uint8_t>& bytes, WorkflowOutcome& outcome);

// Before the serial number changes: the radio's last conversion must have ended (otherwise
// string 201 with its start: a new number would part the radio from its record and backup; 191
// when the record cannot be read), and the serial-number audit and the record must take a line
// (otherwise 203 naming the folder), so no change goes unrecorded.
bool checkSerialUpdateMayStart(const RadioInfo& radio, WorkflowOutcome& outcome);

// After the serial-number command has run; both front ends call it with the command's result and
// go on with what it returns (the same result). An update that reached the radio (its port was
// connected) gets a line in the serial-number audit and an entry in the data folder's conversion
// record, success or failure, with the radio's model and its serial number as read before the
// update. A failed one is summed up in err.log with the error
// chain (which stays as it is), followed by the entry naming the file of its SBEP frames.
bool concludeSerialUpdate(const SerialNumberUpdate& command, bool succeeded);

}  // namespace plugshift
