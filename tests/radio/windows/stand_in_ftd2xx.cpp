// A stand-in for FTDI's ftd2xx.dll with the simulated radio on its one cable: the same exported
// functions, so the program's loading code is tested against a real library.
//
// Its cable is set up from the environment when the library is loaded, so that a test, or a
// script running the real program, can choose what FTDI's guide allows a driver to do:
//   STAND_IN_FTD2XX_TX_QUEUE=N      a transmit queue of N bytes: FT_Write returns once the driver
//                                   holds the bytes, and FT_GetStatus shows them leave
//   STAND_IN_FTD2XX_CHIP_BUFFER=N   the adapter's chip holds the last N bytes for the line: they
//                                   have left the driver's queue, so FT_GetStatus reads it empty
//                                   (and a write without a queue returns) while the chip still
//                                   sends them at the line's rate
//   STAND_IN_FTD2XX_LINE_TIMING=1   the line's time passes on the steady clock, not a virtual one
//   STAND_IN_FTD2XX_STRICT_PURGE=1  FT_Purge refuses masks other than FT_PURGE_RX and FT_PURGE_TX
//   STAND_IN_FTD2XX_GET_STATUS=fail FT_GetStatus answers FT_IO_ERROR
//   STAND_IN_FTD2XX_SERIAL=TEXT     the cable's serial number; empty: it has none
//   STAND_IN_FTD2XX_STATE=FILE      the radio is loaded from FILE when it exists, and saved there
//                                   whenever the cable is closed
// Built without FT_GetStatus (STAND_IN_WITHOUT_GET_STATUS) it is a library too old to have it.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "sim/sim_d2xx.h"
#include "sim/sim_state.h"

namespace {

std::optional<std::wstring> environment(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    ::SetLastError(ERROR_SUCCESS);  // an empty value answers 0 as well
    const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
    if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        return std::nullopt;
    }
    return std::wstring(value, length < MAX_PATH ? length : 0);
}

std::string utf8(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size,
                          nullptr, nullptr);
    return out;
}

bool set(const wchar_t* name) {
    const std::optional<std::wstring> value = environment(name);
    return value && !value->empty() && *value != L"0";
}

// Where the radio is kept between runs; empty when it is not.
std::string statePath() {
    const std::optional<std::wstring> path = environment(L"STAND_IN_FTD2XX_STATE");
    return path ? utf8(*path) : std::string();
}

plugshift::SimD2xx::Options options() {
    plugshift::SimD2xx::Options o;
    if (const std::optional<std::wstring> queue = environment(L"STAND_IN_FTD2XX_TX_QUEUE")) {
        o.transmitQueue = static_cast<uint32_t>(std::wcstoul(queue->c_str(), nullptr, 10));
    }
    if (const std::optional<std::wstring> chip = environment(L"STAND_IN_FTD2XX_CHIP_BUFFER")) {
        o.chipBuffer = static_cast<uint32_t>(std::wcstoul(chip->c_str(), nullptr, 10));
    }
    o.realTime = set(L"STAND_IN_FTD2XX_LINE_TIMING");
    o.strictPurge = set(L"STAND_IN_FTD2XX_STRICT_PURGE");
    return o;
}

std::unique_ptr<plugshift::SimD2xx> makeCable() {
    auto simulator = std::make_unique<plugshift::SimD2xx>(options());
    if (const std::optional<std::wstring> serial = environment(L"STAND_IN_FTD2XX_SERIAL")) {
        simulator->setSerialNumber(0, utf8(*serial));
    }
    const std::optional<std::wstring> state = environment(L"STAND_IN_FTD2XX_STATE");
    if (state && ::GetFileAttributesW(state->c_str()) != INVALID_FILE_ATTRIBUTES) {
        std::string error;
        plugshift::SimState::load(simulator->radio(), utf8(*state), error);
    }
    return simulator;
}

plugshift::SimD2xx& cable() {
    static const std::unique_ptr<plugshift::SimD2xx> simulator = makeCable();
    return *simulator;
}

// The latency timer last set, for the test to ask through StandIn_LatencyTimer; 16 ms is the
// adapter's own default.
UCHAR latencyTimer = 16;

}  // namespace

extern "C" {

__declspec(dllexport) ULONG WINAPI FT_ListDevices(PVOID arg1, PVOID arg2, DWORD flags) {
    return cable().FT_ListDevices(arg1, arg2, flags);
}

__declspec(dllexport) ULONG WINAPI FT_Open(int index, PVOID* handle) {
    return cable().FT_Open(index, handle);
}

__declspec(dllexport) ULONG WINAPI FT_Close(PVOID handle) {
    const ULONG status = cable().FT_Close(handle);
    if (const std::string path = statePath(); status == 0 && !path.empty()) {
        std::string error;
        plugshift::SimState::save(cable().radio(), path, error);
    }
    return status;
}

__declspec(dllexport) ULONG WINAPI FT_SetBaudRate(PVOID handle, ULONG baud) {
    return cable().FT_SetBaudRate(handle, baud);
}

__declspec(dllexport) ULONG WINAPI
    FT_SetDataCharacteristics(PVOID handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) {
    return cable().FT_SetDataCharacteristics(handle, wordLength, stopBits, parity);
}

__declspec(dllexport) ULONG WINAPI
    FT_SetFlowControl(PVOID handle, USHORT flowControl, UCHAR xon, UCHAR xoff) {
    return cable().FT_SetFlowControl(handle, flowControl, xon, xoff);
}

__declspec(dllexport) ULONG WINAPI FT_SetTimeouts(PVOID handle, ULONG readMs, ULONG writeMs) {
    return cable().FT_SetTimeouts(handle, readMs, writeMs);
}

__declspec(dllexport) ULONG WINAPI FT_Purge(PVOID handle, ULONG mask) {
    return cable().FT_Purge(handle, mask);
}

__declspec(dllexport) ULONG WINAPI
    FT_Read(PVOID handle, LPVOID buffer, DWORD count, LPDWORD received) {
    uint32_t got = 0;
    const ULONG status = cable().FT_Read(handle, buffer, count, &got);
    *received = got;
    return status;
}

__declspec(dllexport) ULONG WINAPI
    FT_Write(PVOID handle, LPVOID buffer, DWORD count, LPDWORD written) {
    uint32_t done = 0;
    const ULONG status = cable().FT_Write(handle, buffer, count, &done);
    *written = done;
    return status;
}

#ifndef STAND_IN_WITHOUT_GET_STATUS
__declspec(dllexport) ULONG WINAPI
    FT_GetStatus(PVOID handle, LPDWORD rxQueue, LPDWORD txQueue, LPDWORD events) {
    if (environment(L"STAND_IN_FTD2XX_GET_STATUS") == L"fail") {
        return plugshift::FT_IO_ERROR;
    }
    uint32_t rx = 0;
    uint32_t tx = 0;
    uint32_t event = 0;
    const ULONG status = cable().FT_GetStatus(handle, &rx, &tx, &event);
    *rxQueue = rx;
    *txQueue = tx;
    *events = event;
    return status;
}
#endif

__declspec(dllexport) ULONG WINAPI FT_SetLatencyTimer(PVOID, UCHAR milliseconds) {
    latencyTimer = milliseconds;
    // The adapter now holds a short reply that long at most.
    plugshift::SimTiming timing = cable().cable().timing();
    timing.latency = std::chrono::milliseconds(milliseconds);
    cable().cable().setTiming(timing);
    return 0;
}

// Not FTDI's: how the test sees what the program set.
__declspec(dllexport) UCHAR WINAPI StandIn_LatencyTimer() {
    return latencyTimer;
}

}  // extern "C"
