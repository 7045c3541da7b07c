#include "radio/driver_doctor.h"

#include <algorithm>

#include "errors/wide_text.h"
#include "radio/cable_probe.h"
#include "radio/system_cables.h"
#include "radio/usb_serial.h"

namespace plugshift {

namespace {

struct Found {
    int count = 0;
    int index = -1;
    std::string label;  // where the system shows it
};

Found findCables(D2xx& cables) {
    USBSerial port(cables);
    Found found;
    found.count = port.countCables(found.index);
    if (found.count > 0) {
        found.label = cables.devicePath(found.index);
        if (found.label.empty()) {
            found.label = "cable " + std::to_string(found.index);
        }
    }
    return found;
}

std::string driverOf(const D2xx& cables) {
    const std::string name = cables.driverName();
    return name.empty() ? "the cable driver" : name;
}

std::string statusName(FT_STATUS status) {
    switch (status) {
        case FT_INVALID_HANDLE:
            return "FT_INVALID_HANDLE";
        case FT_DEVICE_NOT_FOUND:
            return "FT_DEVICE_NOT_FOUND";
        case FT_DEVICE_NOT_OPENED:
            return "FT_DEVICE_NOT_OPENED";
        case FT_IO_ERROR:
            return "FT_IO_ERROR";
        case FT_INVALID_PARAMETER:
            return "FT_INVALID_PARAMETER";
        default:
            return "status " + std::to_string(status);
    }
}

// One line of text from advice written for a terminal.
std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

DoctorCheck foundByLine(const D2xx& cables, const Found& found) {
    return {"found-by", Verdict::kOk, found.label, driverOf(cables) + " lists the cable", ""};
}

}  // namespace

DriverDoctor::DriverDoctor(D2xx& cables, const CableProbe* probe)
    : cables_(cables), probe_(probe) {}

std::optional<DoctorCheck> DriverDoctor::foundBy() const {
    const Found found = findCables(cables_);
    if (found.count == 0) {
        return std::nullopt;
    }
    return foundByLine(cables_, found);
}

std::vector<DoctorCheck> DriverDoctor::examine() const {
    const Found found = findCables(cables_);
    if (found.count == 0) {
        return {
            {"cable", Verdict::kFail, "",
             std::string("no driver lists a cable named \"") + USBSerial::kCableDescription + "\"",
             oneLine(SystemCables::noCableAdvice())}};
    }
    std::vector<DoctorCheck> checks;
    if (found.count > 1) {
        checks.push_back({"cable", Verdict::kWarn, found.label,
                          std::to_string(found.count) + " programming cables are plugged in",
                          "keep one plugged in: the tool works with exactly one cable"});
    } else {
        checks.push_back({"cable", Verdict::kOk, found.label,
                          std::string("\"") + USBSerial::kCableDescription + "\"", ""});
    }
    checks.push_back(foundByLine(cables_, found));

    DoctorCheck purge{"purge", Verdict::kFail, found.label, "", ""};
    USBSerial port(cables_);
    if (!port.open(found.index)) {
        const std::wstring problem = cables_.lastOpenProblem();
        purge.detail = "cannot open it (" + statusName(port.lastStatus()) + ")";
        purge.advice = problem.empty() ? "close any other program that uses the cable, then "
                                         "unplug and replug it"
                                       : toUtf8(problem);
        checks.push_back(purge);
        return checks;
    }
    const bool accepted = port.purge(USBSerial::kPurgeBeforeWrite);
    const FT_STATUS answer = port.lastStatus();
    port.close();
    if (accepted) {
        purge.verdict = Verdict::kOk;
        purge.detail = "the driver takes the purge sent before each write (mask 4)";
    } else {
        purge.verdict = Verdict::kWarn;
        purge.detail =
            "the driver refuses the purge sent before each write (mask 4, which FTDI's "
            "guide does not define): " +
            statusName(answer);
        purge.advice = answer == FT_INVALID_PARAMETER
                           ? "nothing to mend: the tool sends it anyway and goes on"
                           : "unplug and replug the cable; if it stays so, reinstall FTDI's driver";
    }
    checks.push_back(purge);
    if (probe_ != nullptr && (accepted || answer == FT_INVALID_PARAMETER)) {
        for (DoctorCheck& check : probe_->run(cables_, found.index, found.label)) {
            checks.push_back(std::move(check));
        }
    }
    return checks;
}

}  // namespace plugshift
