#include "sim/sim_d2xx.h"

#include <algorithm>
#include <cstring>

namespace plugshift {

namespace {

// What an FTDI adapter's divisor can reach.
constexpr uint32_t kMinBaud = 183;
constexpr uint32_t kMaxBaud = 3000000;
// FT_SetFlowControl's modes: none, RTS/CTS, DTR/DSR, XON/XOFF.
constexpr uint16_t kFlowModes[] = {0x0000, 0x0100, 0x0200, 0x0400};

}  // namespace

struct SimD2xx::Device {
    std::string description;
    std::unique_ptr<SimRadio> radio;  // none for a foreign device
    std::unique_ptr<SimFaults> faults;
    std::unique_ptr<SimCable> cable;
    bool open = false;
    uint32_t baud = kOpenBaud;
    uint32_t readTimeoutMs = 0;   // 0: the driver's "wait for the whole count"
    uint32_t writeTimeoutMs = 0;  // 0: the line takes the whole count

    bool pulled() const { return cable && cable->pulled(); }
};

SimD2xx::SimD2xx() : SimD2xx(Options{}) {}

SimD2xx::SimD2xx(const Options& options)
    : cables_(options.cables),
      realTime_(options.realTime),
      clock_(options.realTime ? std::unique_ptr<SimClock>(new SimRealClock)
                              : std::unique_ptr<SimClock>(new SimVirtualClock)) {
    for (int i = 0; i < options.cables; ++i) {
        auto d = std::make_unique<Device>();
        d->description = kCableDescription;
        d->radio = std::make_unique<SimRadio>(options.radio);
        d->faults = std::make_unique<SimFaults>(options.seed + static_cast<uint64_t>(i));
        for (const SimFault& f : options.faults) {
            d->faults->add(f);
        }
        d->cable = std::make_unique<SimCable>(*d->radio, *d->faults, options.mode, options.timing);
        devices_.push_back(std::move(d));
    }
}

SimD2xx::~SimD2xx() = default;

void SimD2xx::addForeignDevice(const std::string& description) {
    std::lock_guard guard(lock_);
    auto d = std::make_unique<Device>();
    d->description = description;
    devices_.push_back(std::move(d));
}

SimRadio& SimD2xx::radio(int cable) {
    return *devices_.at(static_cast<size_t>(cable))->radio;
}

SimFaults& SimD2xx::faults(int cable) {
    return *devices_.at(static_cast<size_t>(cable))->faults;
}

SimCable& SimD2xx::cable(int cable) {
    return *devices_.at(static_cast<size_t>(cable))->cable;
}

void SimD2xx::plugIn(int cable) {
    std::lock_guard guard(lock_);
    devices_.at(static_cast<size_t>(cable))->cable->plugIn();
}

uint32_t SimD2xx::hostBaud(int cable) const {
    std::lock_guard guard(lock_);
    return devices_.at(static_cast<size_t>(cable))->baud;
}

SimTime SimD2xx::now() const {
    std::lock_guard guard(lock_);
    return clock_->now();
}

SimD2xx::Device* SimD2xx::present(int index) const {
    int seen = 0;
    for (const auto& d : devices_) {
        if (!d->pulled() && seen++ == index) {
            return d.get();
        }
    }
    return nullptr;
}

SimD2xx::Device* SimD2xx::device(FT_HANDLE handle) const {
    for (const auto& d : devices_) {
        if (d.get() == handle && d->open) {
            return d.get();
        }
    }
    return nullptr;
}

FT_STATUS SimD2xx::openDevice(FT_HANDLE handle, Device*& found) const {
    found = device(handle);
    if (found == nullptr) {
        return FT_INVALID_HANDLE;
    }
    return found->pulled() ? FT_IO_ERROR : FT_OK;
}

FT_STATUS SimD2xx::FT_ListDevices(void* arg1, void* arg2, uint32_t flags) {
    std::lock_guard guard(lock_);
    if (flags == FT_LIST_NUMBER_ONLY) {
        if (arg1 == nullptr) {
            return FT_INVALID_PARAMETER;
        }
        *static_cast<uint32_t*>(arg1) = static_cast<uint32_t>(
            std::ranges::count_if(devices_, [](const auto& d) { return !d->pulled(); }));
        return FT_OK;
    }
    if (flags != FT_LIST_DESCRIPTION_BY_INDEX || arg2 == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    const Device* d = present(static_cast<int>(reinterpret_cast<intptr_t>(arg1)));
    if (d == nullptr) {
        return FT_DEVICE_NOT_FOUND;
    }
    char* out = static_cast<char*>(arg2);
    const size_t n = std::min(d->description.size(), size_t{FT_DESCRIPTION_SIZE - 1});
    std::memcpy(out, d->description.data(), n);
    out[n] = '\0';
    return FT_OK;
}

FT_STATUS SimD2xx::FT_Open(int index, FT_HANDLE* handle) {
    std::lock_guard guard(lock_);
    if (handle == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    Device* d = present(index);
    if (d == nullptr) {
        return FT_DEVICE_NOT_FOUND;
    }
    if (d->open) {
        return FT_DEVICE_NOT_OPENED;  // another program holds it
    }
    d->open = true;
    d->baud = kOpenBaud;
    d->readTimeoutMs = 0;
    *handle = d;
    return FT_OK;
}

FT_STATUS SimD2xx::FT_Close(FT_HANDLE handle) {
    std::lock_guard guard(lock_);
    Device* d = device(handle);
    if (d == nullptr) {
        return FT_INVALID_HANDLE;
    }
    d->open = false;
    return FT_OK;
}

FT_STATUS SimD2xx::FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
    std::lock_guard guard(lock_);
    Device* d = nullptr;
    if (const FT_STATUS status = openDevice(handle, d); status != FT_OK) {
        return status;
    }
    if (baud < kMinBaud || baud > kMaxBaud) {
        return FT_INVALID_BAUD_RATE;
    }
    d->baud = baud;
    return FT_OK;
}

FT_STATUS SimD2xx::FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength, uint8_t stopBits,
                                             uint8_t parity) {
    std::lock_guard guard(lock_);
    Device* d = nullptr;
    if (const FT_STATUS status = openDevice(handle, d); status != FT_OK) {
        return status;
    }
    // The driver's codes: 7 or 8 bits, stop bits 0 (one) or 2 (two), parity 0 to 4.
    const bool valid =
        (wordLength == 7 || wordLength == 8) && (stopBits == 0 || stopBits == 2) && parity <= 4;
    return valid ? FT_OK : FT_INVALID_PARAMETER;
}

FT_STATUS SimD2xx::FT_SetFlowControl(FT_HANDLE handle, uint16_t flowControl, uint8_t, uint8_t) {
    std::lock_guard guard(lock_);
    Device* d = nullptr;
    if (const FT_STATUS status = openDevice(handle, d); status != FT_OK) {
        return status;
    }
    return std::ranges::find(kFlowModes, flowControl) != std::end(kFlowModes)
               ? FT_OK
               : FT_INVALID_PARAMETER;
}

FT_STATUS SimD2xx::FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) {
    std::lock_guard guard(lock_);
    Device* d = nullptr;
    if (const FT_STATUS status = openDevice(handle, d); status != FT_OK) {
        return status;
    }
    d->readTimeoutMs = readMs;
    d->writeTimeoutMs = writeMs;
    return FT_OK;
}

FT_STATUS SimD2xx::FT_Purge(FT_HANDLE handle, uint32_t mask) {
    std::lock_guard guard(lock_);
    Device* d = nullptr;
    if (const FT_STATUS status = openDevice(handle, d); status != FT_OK) {
        return status;
    }
    // The transmit side holds nothing to purge: the radio takes bytes as they are written.
    if ((mask & FT_PURGE_RX) != 0 && d->cable) {
        d->cable->discardArrived(clock_->now());
    }
    return FT_OK;
}

FT_STATUS SimD2xx::FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* received) {
    if (buffer == nullptr || received == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    *received = 0;
    std::unique_lock guard(lock_);
    Device* d = nullptr;
    if (const FT_STATUS status = openDevice(handle, d); status != FT_OK) {
        return status;
    }
    if (count == 0 || !d->cable) {
        return FT_OK;
    }
    // Wait for the count-th byte or the time-out, whichever comes first. Everything the radio
    // will ever send is already scheduled, so with no time-out a read that cannot be filled
    // returns when the last scheduled byte has come instead of blocking for ever.
    const auto& pending = d->cable->pending();
    const SimTime now = clock_->now();
    SimTime until = now;
    if (pending.size() >= count) {
        until = pending[count - 1].at;
    } else if (!pending.empty()) {
        until = pending.back().at;
    }
    if (d->readTimeoutMs != 0) {
        const SimTime deadline = now + std::chrono::milliseconds(d->readTimeoutMs);
        until = pending.size() >= count ? std::min(until, deadline) : deadline;
    }
    if (realTime_) {
        // Let the enumeration run while this read really waits.
        guard.unlock();
        clock_->sleepUntil(std::max(until, now));
        guard.lock();
        if (openDevice(handle, d) != FT_OK) {
            return FT_IO_ERROR;
        }
    } else {
        clock_->sleepUntil(std::max(until, now));
    }
    *received =
        static_cast<uint32_t>(d->cable->take(static_cast<uint8_t*>(buffer), count, clock_->now()));
    return FT_OK;
}

FT_STATUS SimD2xx::FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                            uint32_t* written) {
    if (buffer == nullptr || written == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    *written = 0;
    std::unique_lock guard(lock_);
    Device* d = nullptr;
    if (const FT_STATUS status = openDevice(handle, d); status != FT_OK) {
        return status;
    }
    if (!d->cable) {
        *written = count;  // a foreign device takes the bytes and nothing answers
        return FT_OK;
    }
    // As the vendor's driver does, the write returns once the line has carried the bytes, so the
    // reply's time-out starts when the request has gone out; what cannot go out within the
    // write time-out is not sent.
    const SimTime now = clock_->now();
    uint32_t sendable = count;
    if (d->writeTimeoutMs != 0) {
        const SimTime deadline = now + std::chrono::milliseconds(d->writeTimeoutMs);
        sendable = d->cable->fitsBefore(count, d->baud, now, deadline);
    }
    const auto bytes = std::span(static_cast<const uint8_t*>(buffer), sendable);
    *written = static_cast<uint32_t>(d->cable->send(bytes, d->baud, now));
    const SimTime sent = d->cable->lineFree();
    if (realTime_) {
        guard.unlock();  // let the enumeration run while this write really waits
    }
    clock_->sleepUntil(std::max(sent, now));
    return *written == sendable ? FT_OK : FT_IO_ERROR;
}

}  // namespace plugshift
