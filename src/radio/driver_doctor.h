#pragma once

#include <optional>
#include <vector>

#include "radio/d2xx.h"
#include "radio/doctor_check.h"

namespace plugshift {

class CableProbe;

// The part of the cable preflight that asks the cable drivers themselves, on every system: which
// driver lists the programming cable, and what it answers to the purge the tool sends before
// each write. Opening the cable for that sends no byte; with a probe the radio is asked too.
class DriverDoctor {
public:
    // probe may be null: no radio is talked to.
    explicit DriverDoctor(D2xx& cables, const CableProbe* probe = nullptr);

    // "cable", "found-by" and "purge", then the probe's checks when the purge could be sent.
    std::vector<DoctorCheck> examine() const;
    // The "found-by" line alone, without opening anything; nothing when no cable is listed.
    std::optional<DoctorCheck> foundBy() const;

private:
    D2xx& cables_;
    const CableProbe* probe_;
};

}  // namespace plugshift
