#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "radio/d2xx.h"

namespace plugshift {

// The cable through FTDI's own D2XX library, when the driver package installed it: ftd2xx.dll
// is loaded from the system folder while the program runs and each FT_* function the system
// calls is looked up by name, so nothing of FTDI's is needed to build or to ship the program.
// Safe to enumerate from one thread while another moves bytes.
//
// The library's FT_Write may return as soon as its driver holds the bytes; this one returns
// once they have left (FT_GetStatus shows the transmit queue empty, and the frame's line time
// since the call has passed, since the adapter's chip still sends the bytes it took last), as
// every backend's does.
class Ftd2xxLibrary : public D2xx {
public:
    static constexpr const wchar_t* kLibraryName = L"ftd2xx.dll";

    // A handle's line, as FT_SetBaudRate and FT_SetDataCharacteristics set it (the adapter
    // opens at 9600 baud, 8N1).
    struct Line {
        uint32_t baud = 9600;
        uint8_t wordLength = 8;
        uint8_t stopBits = 0;  // the library's codes: 0 one, 1 one and a half, 2 two
        uint8_t parity = 0;    // 0 none, else one parity bit
        // How long the line takes to carry count bytes, start and stop bits included.
        std::chrono::microseconds timeOf(uint32_t count) const;
    };
    // Beyond a written frame's line time, how long the transmit queue may take to be seen
    // empty (USB transfers, the adapter's own buffer) before the write returns regardless.
    static constexpr std::chrono::milliseconds kDrainMargin{100};

    // Milliseconds the adapter holds received bytes before it sends them on (16 by default):
    // every reply would otherwise arrive up to that late.
    static constexpr unsigned char kLatencyTimerMs = 2;

    // The library of that file name in the system folder, and only there: a copy beside the
    // program or in the working folder is never loaded. Nothing when the name is not a plain
    // file name, or the library does not load or lacks one of the functions.
    static std::unique_ptr<Ftd2xxLibrary> load(const std::wstring& fileName = kLibraryName);
    ~Ftd2xxLibrary() override;
    Ftd2xxLibrary(const Ftd2xxLibrary&) = delete;
    Ftd2xxLibrary& operator=(const Ftd2xxLibrary&) = delete;

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
    // The system's last error right after an enumeration that failed to open a device.
    uint32_t lastSystemError() const override { return systemError_; }
    // "serial number FT12AB34", or "location ID 0x1234" for an adapter without a serial number.
    std::string devicePath(int index) const override;
    std::string driverName() const override { return "FTDI's D2XX library (ftd2xx.dll)"; }

private:
    struct Functions;
    Ftd2xxLibrary(void* module, std::unique_ptr<Functions> functions);

    Line lineOf(FT_HANDLE handle) const;
    // Returns once the transmit queue is empty and the bytes' line time from begun has passed,
    // at most that line time plus kDrainMargin.
    void awaitDrained(FT_HANDLE handle, uint32_t count,
                      std::chrono::steady_clock::time_point begun) const;
    // Returns once FT_GetStatus reads the transmit queue empty (or cannot tell), at giveUpAt at
    // the latest.
    void awaitEmptyQueue(FT_HANDLE handle, const Line& line,
                         std::chrono::steady_clock::time_point giveUpAt) const;

    void* module_;
    std::unique_ptr<Functions> functions_;
    // Written by the enumeration, read by whichever thread asks next.
    std::atomic<uint32_t> systemError_{0};
    mutable std::mutex linesLock_;
    std::map<FT_HANDLE, Line> lines_;
};

}  // namespace plugshift
