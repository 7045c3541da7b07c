#include "radio/windows/ftd2xx_library.h"

#include <windows.h>

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

FT_STATUS Ftd2xxLibrary::FT_Open(int index, FT_HANDLE* handle) {
    const FT_STATUS status = functions_->open(index, handle);
    if (status == FT_OK && handle != nullptr && functions_->setLatencyTimer != nullptr) {
        // A refusal leaves the adapter at its default, slower but still correct.
        functions_->setLatencyTimer(*handle, kLatencyTimerMs);
    }
    return status;
}

FT_STATUS Ftd2xxLibrary::FT_Close(FT_HANDLE handle) {
    return functions_->close(handle);
}

FT_STATUS Ftd2xxLibrary::FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
    return functions_->setBaudRate(handle, baud);
}

FT_STATUS Ftd2xxLibrary::FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength,
                                                   uint8_t stopBits, uint8_t parity) {
    return functions_->setDataCharacteristics(handle, wordLength, stopBits, parity);
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
    DWORD done = 0;
    // The library's prototype takes a plain pointer; it only reads the bytes.
    const FT_STATUS status = functions_->write(handle, const_cast<void*>(buffer), count, &done);
    if (written != nullptr) {
        *written = done;
    }
    return status;
}

}  // namespace plugshift
