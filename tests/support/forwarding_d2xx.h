#pragma once

#include "radio/d2xx.h"

namespace plugshift::test {

// A cable driver that hands every call to another, so a test's stand-in overrides only the
// calls it changes.
class ForwardingD2xx : public D2xx {
public:
    explicit ForwardingD2xx(D2xx& inner) : inner_(inner) {}

    FT_STATUS FT_ListDevices(void* arg1, void* arg2, uint32_t flags) override {
        return inner_.FT_ListDevices(arg1, arg2, flags);
    }
    FT_STATUS FT_Open(int index, FT_HANDLE* handle) override {
        return inner_.FT_Open(index, handle);
    }
    FT_STATUS FT_Close(FT_HANDLE handle) override { return inner_.FT_Close(handle); }
    FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) override {
        return inner_.FT_SetBaudRate(handle, baud);
    }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength, uint8_t stopBits,
                                        uint8_t parity) override {
        return inner_.FT_SetDataCharacteristics(handle, wordLength, stopBits, parity);
    }
    FT_STATUS FT_SetFlowControl(FT_HANDLE handle, uint16_t flowControl, uint8_t xon,
                                uint8_t xoff) override {
        return inner_.FT_SetFlowControl(handle, flowControl, xon, xoff);
    }
    FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) override {
        return inner_.FT_SetTimeouts(handle, readMs, writeMs);
    }
    FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) override {
        return inner_.FT_Purge(handle, mask);
    }
    FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* received) override {
        return inner_.FT_Read(handle, buffer, count, received);
    }
    FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                       uint32_t* written) override {
        return inner_.FT_Write(handle, buffer, count, written);
    }
    uint32_t lastSystemError() const override { return inner_.lastSystemError(); }
    std::wstring lastOpenProblem() const override { return inner_.lastOpenProblem(); }
    std::string devicePath(int index) const override { return inner_.devicePath(index); }

protected:
    D2xx& inner() const { return inner_; }

private:
    D2xx& inner_;
};

}  // namespace plugshift::test
