#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "radio/d2xx.h"

namespace plugshift {

// The cable as a Windows serial port (FTDI's virtual COM port driver): the cables are the ports
// of the Ports device class, described by the USB description the device reported, in the
// order SetupAPI lists them; an open cable is \\.\COMn with DCB line settings and COMMTIMEOUTS.
// Safe to enumerate from one thread while another moves bytes.
class ComPortD2xx : public D2xx {
public:
    ComPortD2xx();
    // One named port ("COM5"), shown as the only cable and described as the programming cable;
    // the device list is not looked at.
    static std::unique_ptr<ComPortD2xx> forPort(std::string name);
    ~ComPortD2xx() override;
    ComPortD2xx(const ComPortD2xx&) = delete;
    ComPortD2xx& operator=(const ComPortD2xx&) = delete;

    FT_STATUS FT_ListDevices(void* arg1, void* arg2, uint32_t flags) override;
    FT_STATUS FT_Open(int index, FT_HANDLE* handle) override;
    FT_STATUS FT_Close(FT_HANDLE handle) override;
    FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) override;
    // 7 or 8 data bits, stop-bit code 0 (one) or 2 (two), parity code 0 (none), 1 (odd), 2 (even).
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength, uint8_t stopBits,
                                        uint8_t parity) override;
    // Only 0 (no flow control): the radio link uses no handshake.
    FT_STATUS FT_SetFlowControl(FT_HANDLE handle, uint16_t flowControl, uint8_t xon,
                                uint8_t xoff) override;
    // A read time-out of 0 takes what is already there without waiting.
    FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) override;
    // Mask bit 1 discards received bytes, bit 2 unsent ones; other bits do nothing.
    FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) override;
    // Gathers bytes until count or the read time-out.
    FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* received) override;
    // Returns once the bytes have left the port, so the radio's reply window starts after it. A
    // write not done by its time-out fails whole (FT_IO_ERROR, nothing written): its unsent
    // bytes are dropped and the next write waits until the radio has dropped the cut frame.
    FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                       uint32_t* written) override;
    uint32_t lastSystemError() const override { return systemError_; }
    std::wstring lastOpenProblem() const override;
    // "COM5" for cable index.
    std::string devicePath(int index) const override;
    std::string driverName() const override { return "the COM port backend"; }

    // The system's path of a port name: "\\.\COM5" for "COM5" (any port number works so).
    static std::wstring devicePathOf(const std::string& portName);
    // The sentence lastOpenProblem gives after opening port failed with Windows error code.
    static std::wstring describeOpenProblem(const std::string& port, uint32_t error);

private:
    struct Port;
    struct Cable {
        std::string port;         // "COM5"
        std::string description;  // the USB description, UTF-8
    };

    explicit ComPortD2xx(std::optional<std::string> single);
    std::vector<Cable> scan() const;
    std::shared_ptr<Port> find(FT_HANDLE handle) const;
    // Waits until the driver has sent every byte and lineFreeAt has passed; false at deadline.
    static bool drained(const Port& port, std::chrono::steady_clock::time_point lineFreeAt,
                        std::chrono::steady_clock::time_point deadline);

    std::optional<std::string> single_;
    mutable std::mutex lock_;  // guards ports_, nextHandle_, openProblem_
    // Handles are serial numbers, never addresses, so a stale handle cannot reach a newer port.
    std::map<uintptr_t, std::shared_ptr<Port>> ports_;
    uintptr_t nextHandle_ = 1;
    std::wstring openProblem_;
    uint32_t systemError_ = 0;
};

}  // namespace plugshift
