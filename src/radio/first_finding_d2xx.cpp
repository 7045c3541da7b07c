#include "radio/first_finding_d2xx.h"

#include "radio/usb_serial.h"

namespace plugshift {

FirstFindingD2xx::FirstFindingD2xx(std::vector<std::unique_ptr<D2xx>> drivers)
    : drivers_(std::move(drivers)), current_(drivers_.front().get()) {}

bool FirstFindingD2xx::listsCable(D2xx& driver, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        char description[FT_DESCRIPTION_SIZE] = {};
        if (driver.FT_ListDevices(reinterpret_cast<void*>(static_cast<uintptr_t>(i)), description,
                                  FT_LIST_DESCRIPTION_BY_INDEX) == FT_OK &&
            USBSerial::matchesCable(description)) {
            return true;
        }
    }
    return false;
}

D2xx* FirstFindingD2xx::pick(uint32_t& count) const {
    D2xx* withDevices = nullptr;
    uint32_t devices = 0;
    for (const auto& driver : drivers_) {
        uint32_t number = 0;
        if (driver->FT_ListDevices(&number, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK || number == 0) {
            continue;
        }
        if (listsCable(*driver, number)) {
            count = number;
            return driver.get();
        }
        if (withDevices == nullptr) {
            withDevices = driver.get();
            devices = number;
        }
    }
    count = devices;
    return withDevices != nullptr ? withDevices : drivers_.front().get();
}

D2xx* FirstFindingD2xx::current() const {
    std::lock_guard guard(lock_);
    return current_;
}

FT_STATUS FirstFindingD2xx::FT_ListDevices(void* arg1, void* arg2, uint32_t flags) {
    if (flags != FT_LIST_NUMBER_ONLY) {
        return current()->FT_ListDevices(arg1, arg2, flags);
    }
    if (arg1 == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    uint32_t count = 0;
    D2xx* chosen = pick(count);
    {
        std::lock_guard guard(lock_);
        current_ = chosen;
    }
    *static_cast<uint32_t*>(arg1) = count;
    return FT_OK;
}

FT_STATUS FirstFindingD2xx::FT_Open(int index, FT_HANDLE* handle) {
    D2xx* driver = current();
    FT_HANDLE opened = nullptr;
    const FT_STATUS status = driver->FT_Open(index, &opened);
    if (status != FT_OK) {
        return status;
    }
    std::lock_guard guard(lock_);
    const uintptr_t ours = nextHandle_++;
    ports_[ours] = OpenPort{driver, opened};
    *handle = reinterpret_cast<FT_HANDLE>(ours);
    return FT_OK;
}

FirstFindingD2xx::OpenPort FirstFindingD2xx::find(FT_HANDLE handle) const {
    std::lock_guard guard(lock_);
    const auto it = ports_.find(reinterpret_cast<uintptr_t>(handle));
    return it == ports_.end() ? OpenPort{nullptr, nullptr} : it->second;
}

FT_STATUS FirstFindingD2xx::FT_Close(FT_HANDLE handle) {
    const OpenPort port = find(handle);
    if (port.driver == nullptr) {
        return FT_INVALID_HANDLE;
    }
    const FT_STATUS status = port.driver->FT_Close(port.handle);
    std::lock_guard guard(lock_);
    ports_.erase(reinterpret_cast<uintptr_t>(handle));
    return status;
}

FT_STATUS FirstFindingD2xx::FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
    const OpenPort port = find(handle);
    return port.driver == nullptr ? FT_INVALID_HANDLE
                                  : port.driver->FT_SetBaudRate(port.handle, baud);
}

FT_STATUS FirstFindingD2xx::FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength,
                                                      uint8_t stopBits, uint8_t parity) {
    const OpenPort port = find(handle);
    return port.driver == nullptr
               ? FT_INVALID_HANDLE
               : port.driver->FT_SetDataCharacteristics(port.handle, wordLength, stopBits, parity);
}

FT_STATUS FirstFindingD2xx::FT_SetFlowControl(FT_HANDLE handle, uint16_t flowControl, uint8_t xon,
                                              uint8_t xoff) {
    const OpenPort port = find(handle);
    return port.driver == nullptr
               ? FT_INVALID_HANDLE
               : port.driver->FT_SetFlowControl(port.handle, flowControl, xon, xoff);
}

FT_STATUS FirstFindingD2xx::FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) {
    const OpenPort port = find(handle);
    return port.driver == nullptr ? FT_INVALID_HANDLE
                                  : port.driver->FT_SetTimeouts(port.handle, readMs, writeMs);
}

FT_STATUS FirstFindingD2xx::FT_Purge(FT_HANDLE handle, uint32_t mask) {
    const OpenPort port = find(handle);
    return port.driver == nullptr ? FT_INVALID_HANDLE : port.driver->FT_Purge(port.handle, mask);
}

FT_STATUS FirstFindingD2xx::FT_Read(FT_HANDLE handle, void* buffer, uint32_t count,
                                    uint32_t* received) {
    const OpenPort port = find(handle);
    return port.driver == nullptr ? FT_INVALID_HANDLE
                                  : port.driver->FT_Read(port.handle, buffer, count, received);
}

FT_STATUS FirstFindingD2xx::FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                                     uint32_t* written) {
    const OpenPort port = find(handle);
    return port.driver == nullptr ? FT_INVALID_HANDLE
                                  : port.driver->FT_Write(port.handle, buffer, count, written);
}

uint32_t FirstFindingD2xx::lastSystemError() const {
    return current()->lastSystemError();
}

std::wstring FirstFindingD2xx::lastOpenProblem() const {
    return current()->lastOpenProblem();
}

std::string FirstFindingD2xx::devicePath(int index) const {
    return current()->devicePath(index);
}

std::string FirstFindingD2xx::driverName() const {
    return current()->driverName();
}

}  // namespace plugshift
