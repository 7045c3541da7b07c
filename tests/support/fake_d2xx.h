#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "radio/d2xx.h"

namespace plugshift::test {

// A scripted cable: bytes the radio will send are queued, bytes written are collected, any call
// can be made to fail, and every call is logged ("FT_Purge(3)") so tests can check the order.
class FakeD2xx : public D2xx {
public:
    // Cables present, by description; device index = position.
    std::vector<std::string> descriptions;
    // Scripted answers of the by-index description calls: {status, system error}, one per call.
    std::deque<std::pair<FT_STATUS, uint32_t>> descriptionAnswers;
    // Bytes the radio sends; each FT_Read takes what is there (a short read is a time-out).
    std::deque<uint8_t> rx;
    // Everything written, in order.
    std::vector<uint8_t> tx;
    std::vector<std::string> calls;
    // Called after every successful FT_Write with the bytes of that call; a test's radio.
    std::function<void(FakeD2xx&, std::span<const uint8_t>)> onWrite;
    // The cable repeats every written byte back.
    bool echo = false;
    std::wstring openProblem;

    // The next calls of the named function ("FT_Write", ...) return these statuses in turn.
    void failNext(const std::string& function, FT_STATUS status, int times = 1);
    void queueRx(std::initializer_list<uint8_t> bytes);
    void queueRx(std::span<const uint8_t> bytes);
    // Calls whose name starts with the prefix, e.g. "FT_Purge".
    std::vector<std::string> callsTo(const std::string& prefix) const;

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
    uint32_t lastSystemError() const override { return systemError_; }
    std::wstring lastOpenProblem() const override { return openProblem; }

    bool isOpen() const { return open_; }

private:
    FT_STATUS record(const std::string& call);

    std::map<std::string, std::deque<FT_STATUS>> failures_;
    uint32_t systemError_ = 0;
    bool open_ = false;
    int handleStorage_ = 0;
};

}  // namespace plugshift::test
