#pragma once

#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "radio/d2xx.h"
#include "sim/sim_cable.h"
#include "sim/sim_clock.h"
#include "sim/sim_faults.h"
#include "sim/sim_radio.h"
#include "sim/sim_timing.h"

namespace plugshift {

// The cable driver with simulated cables: each "NV PGM Cable" is wired to a simulated radio of
// its own. Reads and writes keep the driver's time-out rules (a read returns short once its
// time-out has passed; a write returns once the line has carried its bytes, with what it could
// carry within its time-out) on a virtual clock, so nothing really waits, unless realTime puts
// the line on the steady clock. The rate set with FT_SetBaudRate is the rate the host's bytes are
// sent at. With a transmit queue a write returns as soon as the driver has taken its bytes, as
// FTDI's library may: the line empties the queue at its rate, and FT_GetStatus tells how much is
// left. The adapter's chip buffers the last bytes before the line on top of that queue: they are
// no longer the driver's, so FT_GetStatus no longer counts them and a write may return while
// they are still going out.
class SimD2xx : public D2xx {
public:
    static constexpr const char* kCableDescription = "NV PGM Cable";
    // An FTDI adapter's rate right after it is opened.
    static constexpr uint32_t kOpenBaud = 9600;

    struct Options {
        int cables = 1;
        SimRadioConfig radio;
        SimCableMode mode = SimCableMode::Digital;
        SimTiming timing;
        // The line's time passes on the steady clock (benchmarks, demonstrations), not on a
        // virtual one that jumps to whatever is waited for.
        bool realTime = false;
        std::vector<SimFault> faults;  // given to every cable's radio
        uint64_t seed = 1;
        // Bytes the driver holds for the line; 0: none, a write waits for the line itself.
        uint32_t transmitQueue = 0;
        // Bytes the adapter's chip holds for the line (an FT232R's is 256); 0: none.
        uint32_t chipBuffer = 0;
        // Purge masks beyond FT_PURGE_RX | FT_PURGE_TX are refused (FT_INVALID_PARAMETER).
        bool strictPurge = false;
    };

    SimD2xx();
    explicit SimD2xx(const Options& options);
    ~SimD2xx() override;

    // Another FTDI device, not a programming cable: enumerated after the cables, never answers.
    void addForeignDevice(const std::string& description);
    // The serial number the enumeration gives for a device (cable i starts as "KMVSIM0<i+1>");
    // empty: the device has none, as an adapter with a blank EEPROM. Its location ID stays.
    void setSerialNumber(int device, const std::string& serial);

    int cableCount() const { return cables_; }
    SimRadio& radio(int cable = 0);
    SimFaults& faults(int cable = 0);
    SimCable& cable(int cable = 0);
    // Plugs a pulled cable back in (SimCable::plugIn); its radio is as the pull left it. The
    // host closes its port and opens it again, as after a real re-plug.
    void plugIn(int cable = 0);
    // The host's rate on the cable.
    uint32_t hostBaud(int cable = 0) const;
    // The line's clock: virtual unless realTime is set.
    SimTime now() const;

    FT_STATUS FT_ListDevices(void* arg1, void* arg2, uint32_t flags) override;
    FT_STATUS FT_Open(int index, FT_HANDLE* handle) override;
    FT_STATUS FT_Close(FT_HANDLE handle) override;
    FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) override;
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength, uint8_t stopBits,
                                        uint8_t parity) override;
    FT_STATUS FT_SetFlowControl(FT_HANDLE handle, uint16_t flowControl, uint8_t xon,
                                uint8_t xoff) override;
    FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) override;
    FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) override;
    FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* received) override;
    FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                       uint32_t* written) override;
    uint32_t lastSystemError() const override { return 0; }
    std::string driverName() const override { return "the simulated cable"; }
    // The queues as FTDI's FT_GetStatus reports them: bytes arrived and not read, bytes the
    // driver still holds for the line (not those already in the chip), and no events.
    FT_STATUS FT_GetStatus(FT_HANDLE handle, uint32_t* rxQueue, uint32_t* txQueue,
                           uint32_t* events);

private:
    struct Device;

    // The present (not pulled) device at an enumeration index.
    Device* present(int index) const;
    // The open device behind a handle; nothing for a stale or foreign handle.
    Device* device(FT_HANDLE handle) const;
    FT_STATUS openDevice(FT_HANDLE handle, Device*& found) const;
    // Hands the line what it has carried out of the transmit queue by `until`.
    static void drainQueue(Device& d, SimTime until);
    FT_STATUS queueWrite(Device& d, std::unique_lock<std::mutex>& guard,
                         std::span<const uint8_t> bytes, uint32_t& written);

    std::vector<std::unique_ptr<Device>> devices_;
    int cables_ = 0;
    bool realTime_ = false;
    uint32_t transmitQueue_ = 0;
    uint32_t chipBuffer_ = 0;
    bool strictPurge_ = false;
    std::unique_ptr<SimClock> clock_;
    // Enumeration runs on the poll thread beside the worker's reads and writes.
    mutable std::mutex lock_;
};

}  // namespace plugshift
