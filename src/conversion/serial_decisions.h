#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "conversion/workflow_outcome.h"

namespace plugshift {

// The checks of the Update serial number workflow on the number the dealer entered, against the
// radio's present serial number: the same number of characters and the serial-number format
// (otherwise string 117), and a different number (otherwise 103). On success `bytes` holds the
// number as the radio stores it, one byte per character. A character outside ASCII cannot be
// stored in one byte and fails like a wrong format.
bool checkNewSerial(std::wstring_view entered, std::wstring_view present,
                    std::vector<uint8_t>& bytes, WorkflowOutcome& outcome);

}  // namespace plugshift
