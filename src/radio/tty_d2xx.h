#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "radio/d2xx.h"

namespace plugshift {

// The cable through the kernel's ftdi_sio driver. The cables are the ttyUSBn devices of FTDI
// adapters (bound to ftdi_sio, or with FTDI's USB vendor id) that sysfs lists, in numeric order,
// each described by its USB product string; other USB serial adapters are not devices here. An open
// cable is a raw serial line with poll()-bounded reads and writes. Safe to enumerate from one
// thread while another moves bytes.
class TtyD2xx : public D2xx {
public:
    // sysfsRoot holds bus/usb-serial/devices; devDir holds the ttyUSBn nodes.
    explicit TtyD2xx(std::filesystem::path sysfsRoot = "/sys",
                     std::filesystem::path devDir = "/dev");
    // One named serial device (a port the user names, a simulator's pseudo-terminal) shown as
    // the only cable, described as the programming cable; sysfs is not looked at. The terminal
    // the program runs in is refused. A line opened goes back to its settings when it closes.
    static std::unique_ptr<TtyD2xx> forDevice(std::filesystem::path devicePath);
    ~TtyD2xx() override;
    TtyD2xx(const TtyD2xx&) = delete;
    TtyD2xx& operator=(const TtyD2xx&) = delete;

    FT_STATUS FT_ListDevices(void* arg1, void* arg2, uint32_t flags) override;
    FT_STATUS FT_Open(int index, FT_HANDLE* handle) override;
    FT_STATUS FT_Close(FT_HANDLE handle) override;
    // Any rate the adapter can make within a UART's tolerance; otherwise FT_INVALID_BAUD_RATE
    // and the line keeps its previous rate. Bytes still on their way leave at the old rate
    // first (a line that cannot send them in time gives FT_IO_ERROR).
    FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) override;
    // 7 or 8 data bits, stop-bit code 0 (one) or 2 (two), parity code 0 (none), 1 (odd), 2 (even).
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength, uint8_t stopBits,
                                        uint8_t parity) override;
    // Only 0 (no flow control): the radio link uses no handshake.
    FT_STATUS FT_SetFlowControl(FT_HANDLE handle, uint16_t flowControl, uint8_t xon,
                                uint8_t xoff) override;
    // A time-out of 0 takes what is already there without waiting.
    FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) override;
    // Mask bit 1 discards received bytes, bit 2 unsent ones; other bits do nothing.
    FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) override;
    // Gathers bytes until count or the read time-out; a failure after some bytes returns them
    // with FT_OK so they are not lost, and the next call reports it.
    FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* received) override;
    // Returns once the bytes have left the adapter. On a device, a write not done by its
    // time-out fails whole (FT_IO_ERROR, nothing written) and the next write waits until the
    // radio has dropped the cut frame; a pseudo-terminal counts every byte it took.
    FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                       uint32_t* written) override;
    uint32_t lastSystemError() const override { return systemError_; }
    std::wstring lastOpenProblem() const override;

    // The device node of cable index.
    std::string devicePath(int index) const override;
    std::string driverName() const override { return "the tty backend (ftdi_sio)"; }

    // Not an errno: the device is the terminal this program runs in, which is never opened as
    // a cable.
    static constexpr int kOwnTerminal = -1;

    // The code the enumeration's retry rule understands for an errno value.
    static uint32_t systemErrorFor(int error);
    // The sentence lastOpenProblem gives after opening path failed with errno value error (or
    // kOwnTerminal).
    static std::wstring describeOpenProblem(const std::string& path, int error);
    // Why a device the user names cannot be a cable, found without opening it: it does not
    // exist, or it is no character device. Empty when it may be one.
    static std::wstring namedDeviceProblem(const std::string& path);

private:
    struct Port;
    // A cable as sysfs lists it: "ttyUSB2" and its number.
    struct Entry {
        std::string name;
        unsigned number;
    };

    TtyD2xx(std::filesystem::path sysfsRoot, std::filesystem::path devDir,
            std::optional<std::filesystem::path> single);

    std::filesystem::path serialDevices() const;
    // The FTDI adapters in numeric order; false (errno in error) when sysfs cannot be read.
    bool scan(std::vector<Entry>& entries, int& error) const;
    // The USB device folder above ttyUSBn; empty when there is none, or on error (in ec).
    std::filesystem::path usbDevice(const std::string& name, std::error_code& ec) const;
    bool isFtdiAdapter(const std::string& name) const;
    FT_STATUS describe(int index, char* description);
    // 1 while the single device is there, 0 once it has gone.
    uint32_t singleDeviceCount() const;
    std::shared_ptr<Port> find(FT_HANDLE handle) const;
    FT_STATUS fail(FT_STATUS status, int error);

    std::filesystem::path sysfsRoot_;
    std::filesystem::path devDir_;
    std::optional<std::filesystem::path> single_;
    mutable std::mutex lock_;  // guards ports_, nextHandle_, openProblem_
    // Handles are serial numbers, never addresses, so a stale handle cannot reach a newer port.
    std::map<uintptr_t, std::shared_ptr<Port>> ports_;
    uintptr_t nextHandle_ = 1;
    std::wstring openProblem_;
    std::atomic<uint32_t> systemError_{0};
};

}  // namespace plugshift
