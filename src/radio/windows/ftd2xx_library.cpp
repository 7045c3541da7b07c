#include "radio/windows/ftd2xx_library.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace plugshift {

namespace {

// The library's calling convention and argument types, as its functions are documented.
using ListDevicesFn = ULONG(WINAPI*)(PVOID arg1, PVOID arg2, DWORD flags);
using OpenFn = ULONG(WINAPI*)(int index, PVOID* handle);
using CloseFn = ULONG(WINAPI*)(PVOID handle);
using SetBaudRateFn = ULONG(WINAPI*)(PVOID handle, ULONG baud);
using SetDataCharacteristicsFn = ULONG(WINAPI*)(PVOID handle, UCHAR wordLength, UCHAR stopBits,
                                                UCHAR parity);
using SetFlowControlFn = ULONG(WINAPI*)(PVOID handle, USHORT flowControl, UCHAR xon, UCHAR xoff);
using SetTimeoutsFn = ULONG(WINAPI*)(PVOID handle, ULONG readMs, ULONG writeMs);
using PurgeFn = ULONG(WINAPI*)(PVOID handle, ULONG mask);
using ReadFn = ULONG(WINAPI*)(PVOID handle, LPVOID buffer, DWORD count, LPDWORD received);
using WriteFn = ULONG(WINAPI*)(PVOID handle, LPVOID buffer, DWORD count, LPDWORD written);
using SetLatencyTimerFn = ULONG(WINAPI*)(PVOID handle, UCHAR milliseconds);
using GetStatusFn = ULONG(WINAPI*)(PVOID handle, LPDWORD rxQueue, LPDWORD txQueue, LPDWORD events);

// Looks name up in the library; false when it is missing.
template <typename Function>
bool resolve(HMODULE module, const char* name, Function& function) {
    // GetProcAddress returns a generic function pointer; the types above say what it is.
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return function != nullptr;
}

}  // namespace

struct Ftd2xxLibrary::Functions {
    ListDevicesFn listDevices = nullptr;
    OpenFn open = nullptr;
    CloseFn close = nullptr;
    SetBaudRateFn setBaudRate = nullptr;
    SetDataCharacteristicsFn setDataCharacteristics = nullptr;
    SetFlowControlFn setFlowControl = nullptr;
    SetTimeoutsFn setTimeouts = nullptr;
    PurgeFn purge = nullptr;
    ReadFn read = nullptr;
    WriteFn write = nullptr;
    SetLatencyTimerFn setLatencyTimer = nullptr;  // optional: the cable works without it
    GetStatusFn getStatus = nullptr;              // optional: see awaitDrained
};

std::unique_ptr<Ftd2xxLibrary> Ftd2xxLibrary::load(const std::wstring& fileName) {
    // A path would lead the loader elsewhere; the system folder is the only place a program
    // that writes radios takes a driver library from.
    if (fileName.empty() || fileName.find_first_of(L"\\/:") != std::wstring::npos) {
        return nullptr;
    }
    HMODULE module = ::LoadLibraryExW(fileName.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) {
        return nullptr;
    }
    auto f = std::make_unique<Functions>();
    const bool complete =
        resolve(module, "FT_ListDevices", f->listDevices) && resolve(module, "FT_Open", f->open) &&
        resolve(module, "FT_Close", f->close) &&
        resolve(module, "FT_SetBaudRate", f->setBaudRate) &&
        resolve(module, "FT_SetDataCharacteristics", f->setDataCharacteristics) &&
        resolve(module, "FT_SetFlowControl", f->setFlowControl) &&
        resolve(module, "FT_SetTimeouts", f->setTimeouts) &&
        resolve(module, "FT_Purge", f->purge) && resolve(module, "FT_Read", f->read) &&
        resolve(module, "FT_Write", f->write);
    if (!complete) {
        ::FreeLibrary(module);
        return nullptr;
    }
    resolve(module, "FT_SetLatencyTimer", f->setLatencyTimer);
    resolve(module, "FT_GetStatus", f->getStatus);
    return std::unique_ptr<Ftd2xxLibrary>(new Ftd2xxLibrary(module, std::move(f)));
}

Ftd2xxLibrary::Ftd2xxLibrary(void* module, std::unique_ptr<Functions> functions)
    : module_(module), functions_(std::move(functions)) {}

Ftd2xxLibrary::~Ftd2xxLibrary() {
    ::FreeLibrary(static_cast<HMODULE>(module_));
}

FT_STATUS Ftd2xxLibrary::FT_ListDevices(void* arg1, void* arg2, uint32_t flags) {
    ::SetLastError(ERROR_SUCCESS);
    const FT_STATUS status = functions_->listDevices(arg1, arg2, flags);
    // The enumeration's retry rule asks why a device could not be opened.
    systemError_ = status == FT_DEVICE_NOT_OPENED ? ::GetLastError() : 0;
    return status;
}

std::string Ftd2xxLibrary::devicePath(int index) const {
    void* const at = reinterpret_cast<void*>(static_cast<intptr_t>(index));
    char serial[FT_DESCRIPTION_SIZE] = {};
    if (functions_->listDevices(at, serial, FT_LIST_SERIAL_NUMBER_BY_INDEX) == FT_OK) {
        serial[FT_DESCRIPTION_SIZE - 1] = '\0';
        if (serial[0] != '\0') {
            return std::string("serial number ") + serial;
        }
    }
    // An adapter whose EEPROM has no serial number is still somewhere on the bus.
    DWORD location = 0;
    if (functions_->listDevices(at, &location, FT_LIST_LOCATION_BY_INDEX) == FT_OK) {
        char text[32];
        std::snprintf(text, sizeof text, "location ID 0x%lX", static_cast<unsigned long>(location));
        return text;
    }
    return {};
}

FT_STATUS Ftd2xxLibrary::FT_Open(int index, FT_HANDLE* handle) {
    const FT_STATUS status = functions_->open(index, handle);
    if (status == FT_OK && handle != nullptr) {
        if (functions_->setLatencyTimer != nullptr) {
            // A refusal leaves the adapter at its default, slower but still correct.
            functions_->setLatencyTimer(*handle, kLatencyTimerMs);
        }
        std::lock_guard guard(linesLock_);
        lines_[*handle] = Line{};
    }
    return status;
}

FT_STATUS Ftd2xxLibrary::FT_Close(FT_HANDLE handle) {
    const FT_STATUS status = functions_->close(handle);
    std::lock_guard guard(linesLock_);
    lines_.erase(handle);
    return status;
}

FT_STATUS Ftd2xxLibrary::FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
    const FT_STATUS status = functions_->setBaudRate(handle, baud);
    std::lock_guard guard(linesLock_);
    if (const auto it = lines_.find(handle); status == FT_OK && it != lines_.end()) {
        it->second.baud = baud;
    }
    return status;
}

FT_STATUS Ftd2xxLibrary::FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength,
                                                   uint8_t stopBits, uint8_t parity) {
    const FT_STATUS status =
        functions_->setDataCharacteristics(handle, wordLength, stopBits, parity);
    std::lock_guard guard(linesLock_);
    if (const auto it = lines_.find(handle); status == FT_OK && it != lines_.end()) {
        it->second.wordLength = wordLength;
        it->second.stopBits = stopBits;
        it->second.parity = parity;
    }
    return status;
}

FT_STATUS Ftd2xxLibrary::FT_SetFlowControl(FT_HANDLE handle, uint16_t flowControl, uint8_t xon,
                                           uint8_t xoff) {
    return functions_->setFlowControl(handle, flowControl, xon, xoff);
}

FT_STATUS Ftd2xxLibrary::FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) {
    return functions_->setTimeouts(handle, readMs, writeMs);
}

FT_STATUS Ftd2xxLibrary::FT_Purge(FT_HANDLE handle, uint32_t mask) {
    return functions_->purge(handle, mask);
}

FT_STATUS Ftd2xxLibrary::FT_Read(FT_HANDLE handle, void* buffer, uint32_t count,
                                 uint32_t* received) {
    DWORD got = 0;
    const FT_STATUS status = functions_->read(handle, buffer, count, &got);
    if (received != nullptr) {
        *received = got;
    }
    return status;
}

FT_STATUS Ftd2xxLibrary::FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                                  uint32_t* written) {
    const auto begun = std::chrono::steady_clock::now();
    DWORD done = 0;
    // The library's prototype takes a plain pointer; it only reads the bytes.
    const FT_STATUS status = functions_->write(handle, const_cast<void*>(buffer), count, &done);
    if (written != nullptr) {
        *written = done;
    }
    if (status == FT_OK && done > 0) {
        // The radio's reply window opens when the request has left the line.
        awaitDrained(handle, done, begun);
    }
    return status;
}

std::chrono::microseconds Ftd2xxLibrary::Line::timeOf(uint32_t count) const {
    // In half bits, for one and a half stop bits: start, data, parity and stop bits.
    const uint64_t stopHalfBits = stopBits == 0 ? 2 : stopBits == 1 ? 3 : 4;
    const uint64_t halfBits = 2 * (1 + uint64_t{wordLength} + (parity != 0 ? 1 : 0)) + stopHalfBits;
    const uint64_t halfBitsPerSecond = 2 * uint64_t{std::max<uint32_t>(baud, 1)};
    return std::chrono::microseconds((count * halfBits * 1'000'000 + halfBitsPerSecond - 1) /
                                     halfBitsPerSecond);
}

Ftd2xxLibrary::Line Ftd2xxLibrary::lineOf(FT_HANDLE handle) const {
    std::lock_guard guard(linesLock_);
    const auto it = lines_.find(handle);
    return it == lines_.end() ? Line{} : it->second;
}

void Ftd2xxLibrary::awaitDrained(FT_HANDLE handle, uint32_t count,
                                 std::chrono::steady_clock::time_point begun) const {
    const Line line = lineOf(handle);
    // No byte leaves faster than the line carries it, whatever the queue reads: it is the
    // driver's, and once it is empty the adapter's chip still sends the bytes it took last. The
    // line time is all there is to wait for with a library that waited for the line itself, or
    // without FT_GetStatus (a library too old for it) or an answer from it.
    const std::chrono::steady_clock::time_point carriedBy = begun + line.timeOf(count);
    awaitEmptyQueue(handle, line, carriedBy + kDrainMargin);
    // The system's sleeps count whole milliseconds and may wake a little early: looked at again
    // until the line time has truly passed.
    while (std::chrono::steady_clock::now() < carriedBy) {
        std::this_thread::sleep_until(carriedBy);
    }
}

void Ftd2xxLibrary::awaitEmptyQueue(FT_HANDLE handle, const Line& line,
                                    std::chrono::steady_clock::time_point giveUpAt) const {
    using namespace std::chrono;
    if (functions_->getStatus == nullptr) {
        return;
    }
    for (;;) {
        DWORD rxQueue = 0;
        DWORD txQueue = 0;
        DWORD events = 0;
        if (functions_->getStatus(handle, &rxQueue, &txQueue, &events) != FT_OK || txQueue == 0) {
            return;
        }
        const steady_clock::time_point now = steady_clock::now();
        if (now >= giveUpAt) {
            return;
        }
        // The queue empties at the line's rate: look again when it should be empty.
        const steady_clock::duration left =
            std::max<steady_clock::duration>(line.timeOf(txQueue), milliseconds(1));
        std::this_thread::sleep_for(std::min(left, giveUpAt - now));
    }
}

}  // namespace plugshift
