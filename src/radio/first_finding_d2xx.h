#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "radio/d2xx.h"

namespace plugshift {

// Several cable drivers as one: each enumeration takes the devices of the first driver that
// lists a programming cable (else of the first that lists any device), and the descriptions and
// opens that follow go to that driver. One driver at a time, because FTDI's driver package shows
// the same cable to its D2XX library and as a COM port: merged lists would count it twice.
// An open port stays with its driver whatever later enumerations pick. Safe to enumerate from
// one thread while another moves bytes.
class FirstFindingD2xx : public D2xx {
public:
    // Drivers in the order they are asked; none is null.
    explicit FirstFindingD2xx(std::vector<std::unique_ptr<D2xx>> drivers);

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
    uint32_t lastSystemError() const override;
    std::wstring lastOpenProblem() const override;
    std::string devicePath(int index) const override;
    // The driver the last enumeration picked.
    std::string driverName() const override;

private:
    struct OpenPort {
        D2xx* driver;
        FT_HANDLE handle;
    };

    // The driver that shows the cable now; its device count in count.
    D2xx* pick(uint32_t& count) const;
    static bool listsCable(D2xx& driver, uint32_t count);
    D2xx* current() const;
    // The driver and its own handle behind one of ours; driver null when unknown.
    OpenPort find(FT_HANDLE handle) const;

    std::vector<std::unique_ptr<D2xx>> drivers_;
    mutable std::mutex lock_;  // guards current_, ports_, nextHandle_
    D2xx* current_;
    // Handles are serial numbers: two drivers may hand out the same value.
    std::map<uintptr_t, OpenPort> ports_;
    uintptr_t nextHandle_ = 1;
};

}  // namespace plugshift
