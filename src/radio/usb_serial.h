#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>

#include "radio/d2xx.h"

namespace plugshift {

// The only code that touches the programming cable: counts matching cables, opens one by index,
// sets the line up and moves bytes. Failures leave a category-3 record and a false/short result.
class USBSerial {
public:
    static constexpr const char* kCableDescription = "NV PGM Cable";
    static constexpr uint32_t kDefaultBaudRate = 57600;
    // Sent before every write, as the tool always has, though FTDI's guide defines only
    // FT_PURGE_RX and FT_PURGE_TX; a driver may refuse it (the doctor says so).
    static constexpr uint32_t kPurgeBeforeWrite = 4;
    static constexpr uint32_t kPurgeRxTx = FT_PURGE_RX | FT_PURGE_TX;

    using Sleeper = std::function<void(std::chrono::milliseconds)>;

    // The programming cable's description, ignoring letter case.
    static bool matchesCable(const char* description);

    explicit USBSerial(D2xx& driver, Sleeper sleeper = {});
    virtual ~USBSerial();
    USBSerial(const USBSerial&) = delete;
    USBSerial& operator=(const USBSerial&) = delete;

    virtual int read(uint8_t* buffer, int length);
    virtual int write(const uint8_t* buffer, int length);

    int countCables(int& firstIndex);
    int deviceCount();
    bool open(int index);
    bool close();
    bool setBaudRate(uint32_t baud);
    bool setDataCharacteristics();
    bool setFlowControl();
    bool setTimeouts(uint32_t readMs, uint32_t writeMs);
    // FT_Purge with the mask; a failure records "Error:failed to purge port." and returns false.
    bool purge(uint32_t mask);

    bool isOpen() const { return handle_ != nullptr; }
    // Open and not left failing by the last driver call: the only state in which SBEP sends.
    bool isUsable() const { return handle_ != nullptr && lastStatus_ == FT_OK; }
    FT_HANDLE handle() const { return handle_; }
    FT_STATUS lastStatus() const { return lastStatus_; }
    // Forgets a failed enumeration so the next radio operation is not refused. The status of an
    // open device belongs to the thread talking to it and is left alone.
    void clearEnumerationStatus();
    uint32_t baudRate() const { return baudRate_; }
    uint32_t readTimeout() const { return readTimeout_; }
    uint32_t writeTimeout() const { return writeTimeout_; }
    D2xx& driver() { return driver_; }

private:
    bool describesCable(int index);
    void purgeBeforeWrite();
    // The background poll enumerates while another thread may use the open device: its
    // statuses are kept only while no device is open, so a busy neighbour on the bus never
    // makes the open port look unusable.
    void storeEnumerationStatus(FT_STATUS status);

    D2xx& driver_;
    Sleeper sleep_;
    std::atomic<FT_HANDLE> handle_ = nullptr;
    std::atomic<FT_STATUS> lastStatus_ = FT_OK;
    std::mutex portLock_;
    std::mutex countLock_;
    uint32_t readTimeout_ = 0;
    uint32_t writeTimeout_ = 0;
    uint32_t baudRate_ = kDefaultBaudRate;
};

}  // namespace plugshift
