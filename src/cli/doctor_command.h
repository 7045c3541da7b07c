#pragma once

#include <iosfwd>
#include <vector>

#include "radio/doctor_check.h"

namespace CLI {
class App;
}

namespace plugshift {

// `doctor [--port DEV] [--json] [--probe]`: checks why a programming cable does not answer
// (cable, driver, tty access, dialout, udev rule, other holders, ModemManager and brltty,
// latency timer; with --probe the cable mode and the radio's identity) and prints one line per
// check. Exit code 0 when no check fails, 1 otherwise.
void addDoctorCommand(CLI::App& app, int& exitCode);

// The findings as an aligned table, or as JSON for scripts; returns the exit code.
int printDoctorReport(const std::vector<DoctorCheck>& checks, bool json, std::ostream& out);

}  // namespace plugshift
