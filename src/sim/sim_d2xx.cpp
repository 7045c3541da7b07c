#include "sim/sim_d2xx.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace plugshift {

namespace {

// What an FTDI adapter's divisor can reach.
constexpr uint32_t kMinBaud = 183;
constexpr uint32_t kMaxBaud = 3000000;
// FT_SetFlowControl's modes: none, RTS/CTS, DTR/DSR, XON/XOFF.
constexpr uint16_t kFlowModes[] = {0x0000, 0x0100, 0x0200, 0x0400};
// Location IDs as the bus numbers them: device i sits at kFirstLocation + i.
constexpr uint32_t kFirstLocation = 0x1001;

std::string serialAt(size_t position) {
    char serial[16];
    std::snprintf(serial, sizeof serial, "KMVSIM%02u", static_cast<unsigned>(position + 1));
    return serial;
}

void copyText(const std::string& text, void* buffer) {
    char* out = static_cast<char*>(buffer);
    const size_t n = std::min(text.size(), size_t{FT_DESCRIPTION_SIZE - 1});
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

}  // namespace

struct SimD2xx::Device {
    std::string description;
    std::string serial;
    uint32_t location = 0;
    std::unique_ptr<SimRadio> radio;  // none for a foreign device
    std::unique_ptr<SimFaults> faults;
    std::unique_ptr<SimCable> cable;
    bool open = false;
    uint32_t baud = kOpenBaud;
    uint32_t readTimeoutMs = 0;   // 0: the driver's "wait for the whole count"
    uint32_t writeTimeoutMs = 0;  // 0: the line takes the whole count
    // The transmit queue: bytes taken by the driver that the line has not carried yet; the first
    // of them goes on the line at queueFrom.
    std::vector<uint8_t> queued;
    SimTime queueFrom{0};

    bool pulled() const { return cable && cable->pulled(); }
};

SimD2xx::SimD2xx() : SimD2xx(Options{}) {}

SimD2xx::SimD2xx(const Options& options)
    : cables_(options.cables),
      realTime_(options.realTime),
      transmitQueue_(options.transmitQueue),
      chipBuffer_(options.chipBuffer),
      strictPurge_(options.strictPurge),
      clock_(options.realTime ? std::unique_ptr<SimClock>(new SimRealClock)
                              : std::unique_ptr<SimClock>(new SimVirtualClock)) {
    for (int i = 0; i < options.cables; ++i) {
        auto d = std::make_unique<Device>();
        d->description = kCableDescription;
        d->serial = serialAt(devices_.size());
        d->location = kFirstLocation + static_cast<uint32_t>(devices_.size());
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
    d->serial = serialAt(devices_.size());
    d->location = kFirstLocation + static_cast<uint32_t>(devices_.size());
    devices_.push_back(std::move(d));
}

void SimD2xx::setSerialNumber(int device, const std::string& serial) {
    std::lock_guard guard(lock_);
    devices_.at(static_cast<size_t>(device))->serial = serial;
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

void SimD2xx::drainQueue(Device& d, SimTime until) {
    if (d.queued.empty() || !d.cable) {
        return;
    }
    const size_t carried = d.cable->fitsBefore(d.queued.size(), d.baud, d.queueFrom, until);
    if (carried == 0) {
        return;
    }
    const size_t sent = d.cable->send(std::span(d.queued).first(carried), d.baud, d.queueFrom);
    d.queued.erase(d.queued.begin(), d.queued.begin() + static_cast<ptrdiff_t>(carried));
    d.queueFrom = d.cable->lineFree();
    if (sent < carried) {
        d.queued.clear();  // the cable came out: nothing more goes anywhere
    }
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
    const bool known = flags == FT_LIST_DESCRIPTION_BY_INDEX ||
                       flags == FT_LIST_SERIAL_NUMBER_BY_INDEX ||
                       flags == FT_LIST_LOCATION_BY_INDEX;
    if (!known || arg2 == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    const Device* d = present(static_cast<int>(reinterpret_cast<intptr_t>(arg1)));
    if (d == nullptr) {
        return FT_DEVICE_NOT_FOUND;
    }
    if (flags == FT_LIST_LOCATION_BY_INDEX) {
        *static_cast<uint32_t*>(arg2) = d->location;
    } else {
        copyText(flags == FT_LIST_DESCRIPTION_BY_INDEX ? d->description : d->serial, arg2);
    }
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
    d->queued.clear();
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
    d->queued.clear();
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
    drainQueue(*d, clock_->now());  // what has gone went at the old rate
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
    if (strictPurge_ && (mask & ~(FT_PURGE_RX | FT_PURGE_TX)) != 0) {
        return FT_INVALID_PARAMETER;
    }
    // Bytes already on the line are beyond recall; the queue behind them is not.
    drainQueue(*d, clock_->now());
    if ((mask & FT_PURGE_TX) != 0) {
        d->queued.clear();
    }
    if ((mask & FT_PURGE_RX) != 0 && d->cable) {
        d->cable->discardArrived(clock_->now());
    }
    return FT_OK;
}

FT_STATUS SimD2xx::FT_GetStatus(FT_HANDLE handle, uint32_t* rxQueue, uint32_t* txQueue,
                                uint32_t* events) {
    if (rxQueue == nullptr || txQueue == nullptr || events == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    std::lock_guard guard(lock_);
    Device* d = nullptr;
    if (const FT_STATUS status = openDevice(handle, d); status != FT_OK) {
        return status;
    }
    const SimTime now = clock_->now();
    drainQueue(*d, now);
    *rxQueue = d->cable ? static_cast<uint32_t>(std::ranges::count_if(
                              d->cable->pending(), [now](const auto& b) { return b.at <= now; }))
                        : 0;
    *txQueue =
        static_cast<uint32_t>(d->queued.size() - std::min<size_t>(d->queued.size(), chipBuffer_));
    *events = 0;
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
    const SimTime now = clock_->now();
    // The request still queued goes out while the read waits, and is answered then.
    drainQueue(*d, d->readTimeoutMs != 0 ? now + std::chrono::milliseconds(d->readTimeoutMs)
                                         : SimTime::max());
    const auto& pending = d->cable->pending();
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

FT_STATUS SimD2xx::queueWrite(Device& d, std::unique_lock<std::mutex>& guard,
                              std::span<const uint8_t> bytes, uint32_t& written) {
    const SimTime now = clock_->now();
    drainQueue(d, now);
    if (d.queued.empty()) {
        d.queueFrom = now;
    }
    const size_t before = d.queued.size();
    d.queued.insert(d.queued.end(), bytes.begin(), bytes.end());
    // The write returns once what does not fit in the queue and the chip has gone down the line;
    // within its time-out it takes only the bytes that found room by then.
    const SimTime spacing = d.cable->timing().pacing ? SimCable::byteTime(d.baud) : SimTime{0};
    const size_t room = size_t{transmitQueue_} + chipBuffer_;
    const size_t over = d.queued.size() > room ? d.queued.size() - room : 0;
    SimTime returnAt =
        std::max(d.queueFrom, d.cable->lineFree()) + spacing * static_cast<int64_t>(over);
    size_t taken = bytes.size();
    if (d.writeTimeoutMs != 0) {
        const SimTime deadline = now + std::chrono::milliseconds(d.writeTimeoutMs);
        if (returnAt > deadline) {
            const size_t carried =
                d.cable->fitsBefore(d.queued.size(), d.baud, d.queueFrom, deadline);
            taken = std::min(bytes.size(), carried + room - before);
            d.queued.resize(before + taken);
            returnAt = deadline;
        }
    }
    written = static_cast<uint32_t>(taken);
    if (realTime_) {
        guard.unlock();
    }
    clock_->sleepUntil(std::max(returnAt, now));
    return taken == bytes.size() ? FT_OK : FT_IO_ERROR;
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
    if (transmitQueue_ > 0) {
        return queueWrite(*d, guard, std::span(static_cast<const uint8_t*>(buffer), count),
                          *written);
    }
    const SimTime now = clock_->now();
    // Without a queue the write returns once the line has carried the bytes (but those the chip
    // holds), so the reply's time-out starts when the request has gone out; what cannot go out
    // within the write time-out is not sent.
    uint32_t sendable = count;
    if (d->writeTimeoutMs != 0) {
        const SimTime deadline = now + std::chrono::milliseconds(d->writeTimeoutMs);
        sendable = d->cable->fitsBefore(count, d->baud, now, deadline);
    }
    const auto bytes = std::span(static_cast<const uint8_t*>(buffer), sendable);
    *written = static_cast<uint32_t>(d->cable->send(bytes, d->baud, now));
    const SimTime spacing = d->cable->timing().pacing ? SimCable::byteTime(d->baud) : SimTime{0};
    const auto inChip = static_cast<int64_t>(std::min(*written, chipBuffer_));
    const SimTime handedOver = d->cable->lineFree() - spacing * inChip;
    if (realTime_) {
        guard.unlock();  // let the enumeration run while this write really waits
    }
    clock_->sleepUntil(std::max(handedOver, now));
    return *written == sendable ? FT_OK : FT_IO_ERROR;
}

}  // namespace plugshift
