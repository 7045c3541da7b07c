#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "radio/d2xx.h"
#include "radio/doctor_check.h"

namespace plugshift {

// The preflight's last step, with a radio on the cable: opens the device the way the tool
// connects a radio, runs the cable-mode probe and reads the radio's identity.
class CableProbe {
public:
    // A driver that shows the named device as its only cable, index 0. Shared, so that a test
    // can look at its fake after the probe.
    using DriverFactory = std::function<std::shared_ptr<D2xx>(const std::string& devicePath)>;

    // Without a factory the device is opened through the kernel's serial driver.
    explicit CableProbe(DriverFactory factory = {});

    // A "cable-mode" check and, when the cable is in digital mode, an "identity" check.
    std::vector<DoctorCheck> run(const std::string& devicePath) const;
    // The same for cable index of a driver, named devicePath in the checks.
    std::vector<DoctorCheck> run(D2xx& driver, int index, const std::string& devicePath) const;

private:
    DriverFactory factory_;
};

}  // namespace plugshift
