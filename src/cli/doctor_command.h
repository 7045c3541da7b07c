#pragma once

#include <iosfwd>
#include <vector>

#include "radio/doctor_check.h"

namespace CLI {
class App;
}

namespace plugshift {

// `doctor [--port DEV] [--json] [--probe]`: checks why a programming cable does not answer and
// prints one line per check. On Linux: cable, kernel driver, tty access, dialout, udev rule,
// other holders, ModemManager and brltty, latency timer, and which of the tool's drivers lists
// the cable; on Windows: the cable, the driver that lists it (FTDI's library or the COM ports)
// and its answer to the purge sent before each write. With --probe also the cable mode and the
// radio's identity. Exit code 0 when no check fails, 1 otherwise.
void addDoctorCommand(CLI::App& app, int& exitCode);

// The findings as an aligned table, or as JSON for scripts; returns the exit code.
int printDoctorReport(const std::vector<DoctorCheck>& checks, bool json, std::ostream& out);

}  // namespace plugshift
