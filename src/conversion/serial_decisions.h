#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/recorded_serial_update.h"
#include "conversion/workflow_outcome.h"

namespace plugshift {

class ConversionRecord;
class RadioInfo;
class SerialNumberUpdate;

// The checks of the Update serial number workflow on the number the dealer entered, against the
// radio's present serial number: the same number of characters and the serial-number format
// (otherwise string 117), and a different number (otherwise 103) unless `mayRepeat` (see
// mayWriteAgain). On success `bytes` holds the number as the radio stores it, one byte per
// character. A character outside ASCII cannot be stored in one byte and fails like a wrong format.
bool checkNewSerial(std::wstring_view entered, std::wstring_view present, bool mayRepeat,
                    std::vector<uint8_t>& bytes, WorkflowOutcome& outcome);

// Whether the number a radio holds may be written into it again: the record's last update to
// that number did not end with the radio's factory block backed up (it failed after the write, or
// the tool never saw it end), and writing it again is what finishes it. false when the record
// cannot be read.
bool mayWriteAgain(const ConversionRecord& book, std::wstring_view serial);

// Before the serial number changes: the radio's last conversion must have ended (otherwise
// string 201 with its start: a new number would part the radio from its record and backup; 191
// when the record cannot be read).
bool checkSerialUpdateMayStart(const RadioInfo& radio, WorkflowOutcome& outcome);

// How an update that did not succeed ended: its stage for the audit and the record, the number
// the radio holds (empty: not known), the message (172, or 204 for a stop before the number was
// sent) and what follows it: which number the radio holds (205 the old, 206 the new, 209 another,
// 207 not known) and, when it holds one its factory block was not backed up with, that a later
// conversion would bring the old one back and how to fix it (208).
struct SerialUpdateEnding {
    SerialAudit::Stage stage = SerialAudit::Stage::Failure;
    std::wstring serialNow;
    WorkflowOutcome outcome;
    std::vector<WorkflowOutcome> notes;
};

// `serialRead`: the number the radio reported when it was read again after the run; nullopt when
// it was not read or did not answer.
SerialUpdateEnding endOfUnsuccessfulUpdate(const SerialNumberUpdate& command,
                                           const RecordedSerialUpdate::Numbers& numbers,
                                           const std::optional<std::wstring>& serialRead);

// A failed update's summary in err.log with the error chain (which stays as it is), followed by
// the entry naming the file of its SBEP frames.
void logSerialFailure(const SerialNumberUpdate& command,
                      const RecordedSerialUpdate::Numbers& numbers);

}  // namespace plugshift
