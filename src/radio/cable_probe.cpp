#include "radio/cable_probe.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <span>

#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "radio/sbep.h"
#include "radio/system_cables.h"
#include "radio/usb_serial.h"

namespace plugshift {

namespace {

// An item reply starts with two data bytes that are not part of the value.
constexpr int kItemHeader = 2;
constexpr size_t kModelBytes = 11;
constexpr size_t kSerialBytes = 11;
constexpr size_t kVersionBytes = 4;
// Model bytes below this are digits sent as numbers.
constexpr uint8_t kModelDigitLimit = 16;

std::string newestRecord() {
    const std::vector<ErrorRecord> records = ErrorChain::records();
    return records.empty() ? std::string() : toUtf8(records.back().message);
}

// Digits may come as numbers 0..15 (shown from '0' on); letters as themselves; anything else
// ends the model.
std::string modelText(std::span<const uint8_t> value) {
    std::string text;
    for (uint8_t byte : value.first(std::min(value.size(), kModelBytes))) {
        if (byte < kModelDigitLimit) {
            text += static_cast<char>('0' + byte);
        } else if (std::isalpha(byte) != 0 && byte < 0x80) {
            text += static_cast<char>(byte);
        } else {
            break;
        }
    }
    return text;
}

std::string serialText(std::span<const uint8_t> value) {
    std::string text;
    for (uint8_t byte : value.first(std::min(value.size(), kSerialBytes))) {
        if (byte < 0x20 || byte >= 0x7F) {
            break;
        }
        text += static_cast<char>(byte);
    }
    return text;
}

// A letter and three numbers: "R01.02.30".
std::string versionText(std::span<const uint8_t> value) {
    if (value.size() < kVersionBytes || value[0] < 0x20 || value[0] >= 0x7F) {
        return "?";
    }
    char text[16];
    std::snprintf(text, sizeof text, "%c%02d.%02d.%02d", std::toupper(value[0]), value[1], value[2],
                  value[3]);
    return text;
}

struct IdentityItem {
    uint8_t item;
    const char* label;
    std::string (*format)(std::span<const uint8_t>);
};

constexpr IdentityItem kIdentity[] = {
    {sbep::kItemModel, "model", modelText},
    {sbep::kItemSerialNumber, "serial", serialText},
    {sbep::kItemFirmwareVersion, "firmware", versionText},
};

DoctorCheck identityCheck(SBEP& sbep, const std::string& devicePath) {
    DoctorCheck check{"identity", Verdict::kFail, devicePath, "", ""};
    std::vector<uint8_t> reply(sbep::kMaxReplyData);
    std::string found;
    for (const IdentityItem& item : kIdentity) {
        uint8_t lastOpc = 0;
        const int n = sbep.readRadioItem(item.item, lastOpc, reply);
        if (n < 0) {
            check.detail = found.empty() ? std::string("no radio answered the identity read")
                                         : "the radio gave " + found + " but not its " + item.label;
            check.advice = found.empty()
                               ? "switch the radio on and check the cable's plug in the radio"
                               : "unplug the radio from the cable, switch it off and on, and "
                                 "probe again";
            return check;
        }
        const auto value = std::span<const uint8_t>(reply).first(static_cast<size_t>(n));
        const std::string text =
            item.format(n > kItemHeader ? value.subspan(kItemHeader) : std::span<const uint8_t>());
        found += (found.empty() ? "" : ", ") + std::string(item.label) + " " +
                 (text.empty() ? "?" : text);
    }
    check.verdict = Verdict::kOk;
    check.detail = "the radio answered: " + found;
    return check;
}

}  // namespace

CableProbe::CableProbe(DriverFactory factory) : factory_(std::move(factory)) {
    if (!factory_) {
        factory_ = [](const std::string& path) -> std::shared_ptr<D2xx> {
            return SystemCables::port(path);
        };
    }
}

std::vector<DoctorCheck> CableProbe::run(const std::string& devicePath) const {
    const std::shared_ptr<D2xx> driver = factory_(devicePath);
    if (!driver) {
        return {DoctorCheck{"cable-mode", Verdict::kFail, devicePath,
                            "cannot open it: no driver for it", ""}};
    }
    return run(*driver, 0, devicePath);
}

std::vector<DoctorCheck> CableProbe::run(D2xx& driver, int index,
                                         const std::string& devicePath) const {
    DoctorCheck mode{"cable-mode", Verdict::kFail, devicePath, "", ""};
    USBSerial port(driver);
    if (!port.open(index)) {
        const std::wstring problem = driver.lastOpenProblem();
        // The driver's own account names the fix when it knows the reason.
        mode.detail = "cannot open it" + (problem.empty() ? "" : ": " + toUtf8(problem));
        mode.advice = problem.empty() ? "check that the device is a serial port" : "";
        return {mode};
    }
    // The radio connection's own set-up: the probe runs at its odd rate, the radio at 57600.
    if (!port.setBaudRate(sbep::kProbeBaudRate) || !port.setDataCharacteristics() ||
        !port.setFlowControl() ||
        !port.setTimeouts(sbep::kDefaultReadTimeoutMs, sbep::kDefaultWriteTimeoutMs)) {
        mode.detail = "the line could not be set up: " + newestRecord();
        mode.advice = "the cable must take 16406 baud, 8N1: is it an FTDI adapter on ftdi_sio?";
        return {mode};
    }
    SBEP sbep(&port);
    const int cableMode = sbep.probeCableMode();
    const bool radioRate = port.setBaudRate(sbep::kRadioBaudRate);
    switch (cableMode) {
        case SBEP::kCableDigital:
            mode.verdict = Verdict::kOk;
            mode.detail = "digital (Flash) mode: the cable does not echo";
            break;
        case SBEP::kCableEcho:
            mode.detail = "the cable echoes every byte: it is in the wrong mode";
            mode.advice = "Please toggle the USB cable to DIGITAL (Flash) mode.";
            return {mode};
        default:
            mode.detail = "The USB cable is unsupported.";
            mode.advice = "it answered the probe with bytes of its own: use the programming cable";
            return {mode};
    }
    if (!radioRate) {
        return {mode, DoctorCheck{"identity", Verdict::kFail, devicePath,
                                  "the line could not be set to 57600 baud: " + newestRecord(),
                                  "the cable must take 57600 baud: is it an FTDI adapter?"}};
    }
    return {mode, identityCheck(sbep, devicePath)};
}

}  // namespace plugshift
