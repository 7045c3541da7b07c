#include "conversion/serial_number_update.h"

#include <algorithm>

#include "radio/sbep.h"
#include "radio/sbep_protocol.h"
#include "tasks/messages.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

constexpr size_t kResponseSize = 100;
// Bit of the reset reply's byte 1 that says the radio cannot take a new serial number now.
constexpr uint8_t kResetRefusesUpdate = 0x02;

}  // namespace

bool SerialNumberUpdate::setNewSerial(std::string_view serial) {
    if (radio == nullptr || serial.size() > serialLength()) {
        return false;
    }
    std::fill_n(newSerial.begin(), serialLength(), 0);
    std::copy(serial.begin(), serial.end(), newSerial.begin());
    return true;
}

size_t SerialNumberUpdate::serialLength() const {
    return std::min(static_cast<size_t>(std::max(radio->serialLength(), 0)), kSerialRoom);
}

bool SerialNumberUpdate::run() {
    ok = true;
    postToWindow(kMsgCommandStarted);
    if (radio == nullptr || radio->sbep() == nullptr) {
        // Nothing to ask without the radio's engine.
        ok = false;
        postToWindow(kMsgCommandEnded);
        return false;
    }
    if (!radio->isConnected()) {
        ok = false;
    }
    std::array<uint8_t, kResponseSize> response{};
    const std::array<uint8_t, 2> testModeParameters{};
    uint8_t lastOpc = 0;
    SBEP& sbep = *radio->sbep();
    if (sbep.resetDevice(sbep::kResetSoft, lastOpc, response) < 0 ||
        (response[1] & kResetRefusesUpdate) != 0) {
        ok = false;
    }
    const bool written =
        ok &&
        sbep.requestTestMode(sbep::kTestModeSbep, testModeParameters, lastOpc, response) >= 0 &&
        sbep.updateSN(std::span(newSerial).first(serialLength()), lastOpc, response) >= 0 &&
        sbep.factoryBlockBackup(lastOpc, response) >= 0 &&
        sbep.resetDevice(sbep::kResetSoft, lastOpc, response) >= 0;
    ok = written;
    postToWindow(kMsgCommandEnded);
    return ok;
}

void SerialNumberUpdate::progress(uint32_t done, uint32_t total) {
    if (!window || !window->isAlive()) {
        return;
    }
    const int64_t part = total == 0 ? 0 : int64_t{done} * progressSpan / int64_t{total};
    window->sendNotify(kMsgProgress, static_cast<uintptr_t>(part + progressBase), 0);
}

void SerialNumberUpdate::postToWindow(uint32_t id) {
    if (window && window->isAlive()) {
        window->post(id, 0, 0);
    }
}

}  // namespace plugshift
