// A stand-in for FTDI's ftd2xx.dll with the simulated radio on its one cable: the same exported
// functions, so the program's loading code is tested against a real library.
#include <windows.h>

#include "sim/sim_d2xx.h"

namespace {

plugshift::SimD2xx& cable() {
    static plugshift::SimD2xx simulator;
    return simulator;
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
    return cable().FT_Close(handle);
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

__declspec(dllexport) ULONG WINAPI FT_SetLatencyTimer(PVOID, UCHAR milliseconds) {
    latencyTimer = milliseconds;
    return 0;
}

// Not FTDI's: how the test sees what the program set.
__declspec(dllexport) UCHAR WINAPI StandIn_LatencyTimer() {
    return latencyTimer;
}

}  // extern "C"
