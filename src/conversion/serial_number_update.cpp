#include "conversion/serial_number_update.h"

#include <algorithm>

#include "errors/error_category.h"
#include "errors/error_chain.h"
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
    ok = false;
    reached = Reached::Nothing;
    stoppedBeforeWrite = false;
    postToWindow(kMsgCommandStarted);
    if (radio == nullptr || radio->sbep() == nullptr) {
        // Nothing to ask without the radio's engine.
        postToWindow(kMsgCommandEnded);
        return false;
    }
    SBEP& sbep = *radio->sbep();
    if (radio->isConnected() && prepare(sbep)) {
        write(sbep);
    }
    stoppedBeforeWrite = reached == Reached::Nothing && sbep.stopped();
    ok = reached == Reached::Done;
    postToWindow(kMsgCommandEnded);
    return ok;
}

bool SerialNumberUpdate::prepare(SBEP& sbep) {
    std::array<uint8_t, kResponseSize> response{};
    const std::array<uint8_t, 2> testModeParameters{};
    uint8_t lastOpc = 0;
    if (sbep.resetDevice(sbep::kResetSoft, lastOpc, response) < 0) {
        return false;
    }
    if ((response[1] & kResetRefusesUpdate) != 0) {
        // The reset itself succeeded, so the engine recorded nothing: the failure needs a cause.
        ErrorChain::add(kErrorUpdate,
                        L"Error:the radio's reset reported that it cannot take a new serial "
                        L"number now (status 0x%02X).",
                        response[1]);
        return false;
    }
    return sbep.requestTestMode(sbep::kTestModeSbep, testModeParameters, lastOpc, response) >= 0;
}

void SerialNumberUpdate::write(SBEP& sbep) {
    if (sbep.stopped()) {
        return;  // the last moment a stop leaves the radio as it was
    }
    const std::atomic<bool>* stop = sbep.stopSignal();
    sbep.setStopSignal(nullptr);
    std::array<uint8_t, kResponseSize> response{};
    uint8_t lastOpc = 0;
    reached = Reached::SerialSent;
    if (sbep.updateSN(std::span(newSerial).first(serialLength()), lastOpc, response) >= 0) {
        reached = Reached::SerialWritten;
    }
    if (reached == Reached::SerialWritten && sbep.factoryBlockBackup(lastOpc, response) >= 0) {
        reached = Reached::BackedUp;
    }
    if (reached == Reached::BackedUp &&
        sbep.resetDevice(sbep::kResetSoft, lastOpc, response) >= 0) {
        reached = Reached::Done;
    }
    sbep.setStopSignal(stop);
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
