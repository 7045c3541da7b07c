#pragma once

#include <cstdint>

#include "sim/sim_d2xx.h"

namespace plugshift::test {

// A cable that can be pulled out and plugged in again whatever the radio is doing.
class PluggableCable : public D2xx {
public:
    explicit PluggableCable(SimD2xx& sim) : sim_(sim) {}
    bool plugged = true;

    FT_STATUS FT_ListDevices(void* arg1, void* arg2, uint32_t flags) override {
        if (!plugged && flags == FT_LIST_NUMBER_ONLY && arg1 != nullptr) {
            *static_cast<uint32_t*>(arg1) = 0;
            return FT_OK;
        }
        return plugged ? sim_.FT_ListDevices(arg1, arg2, flags) : FT_DEVICE_NOT_FOUND;
    }
    FT_STATUS FT_Open(int index, FT_HANDLE* handle) override {
        return plugged ? sim_.FT_Open(index, handle) : FT_DEVICE_NOT_FOUND;
    }
    FT_STATUS FT_Close(FT_HANDLE handle) override { return sim_.FT_Close(handle); }
    FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) override {
        return sim_.FT_SetBaudRate(handle, baud);
    }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength, uint8_t stopBits,
                                        uint8_t parity) override {
        return sim_.FT_SetDataCharacteristics(handle, wordLength, stopBits, parity);
    }
    FT_STATUS FT_SetFlowControl(FT_HANDLE handle, uint16_t flowControl, uint8_t xon,
                                uint8_t xoff) override {
        return sim_.FT_SetFlowControl(handle, flowControl, xon, xoff);
    }
    FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) override {
        return sim_.FT_SetTimeouts(handle, readMs, writeMs);
    }
    FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) override {
        return sim_.FT_Purge(handle, mask);
    }
    FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* received) override {
        return sim_.FT_Read(handle, buffer, count, received);
    }
    FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                       uint32_t* written) override {
        return sim_.FT_Write(handle, buffer, count, written);
    }
    uint32_t lastSystemError() const override { return sim_.lastSystemError(); }

private:
    SimD2xx& sim_;
};

}  // namespace plugshift::test
