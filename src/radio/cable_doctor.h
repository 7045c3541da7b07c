#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "radio/doctor_check.h"
#include "radio/system_view.h"

namespace plugshift {

class CableProbe;

// The preflight that names why a programming cable does not answer: the cable on the USB bus
// (and FTDI adapters that may be one with a rewritten name), the kernel driver and its tty,
// the user's access to the tty, the dialout group, the package's udev rule, other programs
// holding the tty, daemons that claim serial ports, and the adapter's latency timer. With a
// probe, each tty that passed is opened and the radio asked for its identity.
//
// Everything is read through the SystemView, never by opening a tty, so nothing is disturbed.
class CableDoctor {
public:
    // probe may be null: no radio is talked to.
    explicit CableDoctor(SystemView view, const CableProbe* probe = nullptr);

    // Every cable and FTDI adapter the USB bus shows, then the system around them.
    std::vector<DoctorCheck> examine() const;
    // The named serial device only (a ttyUSB, a link to one, or any other tty), then the system.
    std::vector<DoctorCheck> examinePort(const std::filesystem::path& device) const;

    // The name of the package's udev rule.
    static constexpr const char* kUdevRuleName = "60-kmv-plugshift.rules";

private:
    SystemView view_;
    const CableProbe* probe_;
};

}  // namespace plugshift
