#include "radio/windows/com_port_d2xx.h"

// The order matters: windows.h's types first, then initguid.h so that the device class and
// property keys are defined rather than only declared, then the SetupAPI headers.
// clang-format off
#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <devpkey.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

#include "errors/wide_text.h"
#include "radio/usb_serial.h"

namespace plugshift {

namespace {

using Clock = std::chrono::steady_clock;

// Bytes the driver buffers each way; a frame of the protocol is far smaller.
constexpr DWORD kQueueSize = 4096;
// How often a draining port is looked at.
constexpr auto kDrainPoll = std::chrono::milliseconds(1);
// How long past their line time the bytes of a write without a time-out may take to leave.
constexpr auto kUntimedWriteSlack = std::chrono::seconds(1);

// A start bit, the data bits, the parity bit and the stop bits.
int bitsPerByte(const DCB& line) {
    return 1 + line.ByteSize + (line.Parity == NOPARITY ? 0 : 1) +
           (line.StopBits == TWOSTOPBITS ? 2 : 1);
}

Clock::duration lineTime(const DCB& line, uint32_t bytes) {
    return std::chrono::microseconds(static_cast<int64_t>(bytes) * bitsPerByte(line) * 1000000 /
                                     std::max<DWORD>(line.BaudRate, 1));
}

// Bytes the driver still holds for sending; nothing when it cannot say.
std::optional<DWORD> unsentBytes(HANDLE port) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(port, &errors, &status)) {
        return std::nullopt;
    }
    return status.cbOutQue;
}

std::wstring systemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message =
        length > 0 ? std::wstring(text, length) : L"error " + std::to_wstring(error);
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L'.' || message.back() == L' ')) {
        message.pop_back();
    }
    return message;
}

// A text property of a device: the description the USB device reported about itself (the
// cable's "NV PGM Cable"), or else the driver's description of the device.
std::wstring deviceDescription(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    wchar_t text[256] = {};
    DEVPROPTYPE type = 0;
    if (::SetupDiGetDevicePropertyW(devices, &device, &DEVPKEY_Device_BusReportedDeviceDesc, &type,
                                    reinterpret_cast<BYTE*>(text), sizeof text - 2, nullptr, 0) &&
        type == DEVPROP_TYPE_STRING) {
        return text;
    }
    if (::SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_DEVICEDESC, nullptr,
                                            reinterpret_cast<BYTE*>(text), sizeof text - 2,
                                            nullptr)) {
        return text;
    }
    return {};
}

// "COM5" from the device's registry key; empty for a port that is no COM port (LPT).
std::wstring portName(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    HKEY key = ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return {};
    }
    wchar_t name[64] = {};
    DWORD size = sizeof name - 2;
    DWORD type = 0;
    const LONG status =
        ::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ || std::wcsncmp(name, L"COM", 3) != 0) {
        return {};
    }
    return name;
}

}  // namespace

struct ComPortD2xx::Port {
    HANDLE handle = INVALID_HANDLE_VALUE;
    DCB line{};  // as last set on the port
    uint32_t writeMs = 0;
    // After a frame cut at its deadline: the next frame starts no sooner, so that what the
    // adapter still sent of the cut one has left and the radio has dropped it.
    Clock::time_point nextFrameAt{};
    ~Port() {
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
        }
    }
};

ComPortD2xx::ComPortD2xx() : ComPortD2xx(std::nullopt) {}

ComPortD2xx::ComPortD2xx(std::optional<std::string> single) : single_(std::move(single)) {}

std::unique_ptr<ComPortD2xx> ComPortD2xx::forPort(std::string name) {
    return std::unique_ptr<ComPortD2xx>(new ComPortD2xx(std::move(name)));
}

ComPortD2xx::~ComPortD2xx() = default;

std::vector<ComPortD2xx::Cable> ComPortD2xx::scan() const {
    if (single_) {
        return {Cable{*single_, USBSerial::kCableDescription}};
    }
    std::vector<Cable> cables;
    HDEVINFO devices =
        ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) {
        return cables;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        const std::wstring port = portName(devices, device);
        if (!port.empty()) {
            cables.push_back(Cable{toUtf8(port), toUtf8(deviceDescription(devices, device))});
        }
    }
    ::SetupDiDestroyDeviceInfoList(devices);
    return cables;
}

FT_STATUS ComPortD2xx::FT_ListDevices(void* arg1, void* arg2, uint32_t flags) {
    if (flags == FT_LIST_NUMBER_ONLY) {
        if (arg1 == nullptr) {
            return FT_INVALID_PARAMETER;
        }
        *static_cast<uint32_t*>(arg1) = static_cast<uint32_t>(scan().size());
        return FT_OK;
    }
    if (flags != FT_LIST_DESCRIPTION_BY_INDEX || arg2 == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    const auto index = reinterpret_cast<uintptr_t>(arg1);
    const std::vector<Cable> cables = scan();
    if (index >= cables.size()) {
        return FT_DEVICE_NOT_FOUND;
    }
    auto* description = static_cast<char*>(arg2);
    std::strncpy(description, cables[index].description.c_str(), FT_DESCRIPTION_SIZE - 1);
    description[FT_DESCRIPTION_SIZE - 1] = '\0';
    return FT_OK;
}

std::wstring ComPortD2xx::devicePathOf(const std::string& portName) {
    return L"\\\\.\\" + fromUtf8(portName);
}

FT_STATUS ComPortD2xx::FT_Open(int index, FT_HANDLE* handle) {
    if (handle == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    *handle = nullptr;
    const std::vector<Cable> cables = scan();
    if (index < 0 || static_cast<size_t>(index) >= cables.size()) {
        return FT_DEVICE_NOT_FOUND;
    }
    const std::string& name = cables[static_cast<size_t>(index)].port;
    auto port = std::make_shared<Port>();
    port->handle = ::CreateFileW(devicePathOf(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (port->handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        std::lock_guard guard(lock_);
        openProblem_ = describeOpenProblem(name, error);
        return FT_DEVICE_NOT_OPENED;
    }
    // A raw line: 8N1, no handshake of any kind, no character replaced or dropped.
    port->line.DCBlength = sizeof port->line;
    ::SetupComm(port->handle, kQueueSize, kQueueSize);
    if (!::GetCommState(port->handle, &port->line)) {
        const DWORD error = ::GetLastError();
        std::lock_guard guard(lock_);
        openProblem_ = describeOpenProblem(name, error);
        return FT_DEVICE_NOT_OPENED;
    }
    DCB& line = port->line;
    line.fBinary = TRUE;
    line.fParity = FALSE;
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fDsrSensitivity = FALSE;
    line.fOutX = FALSE;
    line.fInX = FALSE;
    line.fErrorChar = FALSE;
    line.fNull = FALSE;
    line.fRtsControl = RTS_CONTROL_ENABLE;
    line.fAbortOnError = FALSE;
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    line.StopBits = ONESTOPBIT;
    // A port left with a handshake or a replacing character would garble or hold frames.
    if (!::SetCommState(port->handle, &line)) {
        const DWORD error = ::GetLastError();
        std::lock_guard guard(lock_);
        openProblem_ = describeOpenProblem(name, error);
        return FT_DEVICE_NOT_OPENED;
    }
    ::PurgeComm(port->handle, PURGE_RXCLEAR | PURGE_TXCLEAR);

    std::lock_guard guard(lock_);
    openProblem_.clear();
    const uintptr_t id = nextHandle_++;
    ports_[id] = std::move(port);
    *handle = reinterpret_cast<FT_HANDLE>(id);
    return FT_OK;
}

FT_STATUS ComPortD2xx::FT_Close(FT_HANDLE handle) {
    std::lock_guard guard(lock_);
    return ports_.erase(reinterpret_cast<uintptr_t>(handle)) == 1 ? FT_OK : FT_INVALID_HANDLE;
}

std::shared_ptr<ComPortD2xx::Port> ComPortD2xx::find(FT_HANDLE handle) const {
    std::lock_guard guard(lock_);
    const auto it = ports_.find(reinterpret_cast<uintptr_t>(handle));
    return it == ports_.end() ? nullptr : it->second;
}

FT_STATUS ComPortD2xx::FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
    const auto port = find(handle);
    if (!port) {
        return FT_INVALID_HANDLE;
    }
    DCB line = port->line;
    line.BaudRate = baud;
    if (baud == 0 || !::SetCommState(port->handle, &line)) {
        return FT_INVALID_BAUD_RATE;
    }
    port->line = line;
    return FT_OK;
}

FT_STATUS ComPortD2xx::FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength,
                                                 uint8_t stopBits, uint8_t parity) {
    const auto port = find(handle);
    if (!port) {
        return FT_INVALID_HANDLE;
    }
    if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != 2) || parity > 2) {
        return FT_INVALID_PARAMETER;
    }
    DCB line = port->line;
    line.ByteSize = wordLength;
    line.StopBits = stopBits == 0 ? ONESTOPBIT : TWOSTOPBITS;
    line.Parity = parity == 0 ? NOPARITY : parity == 1 ? ODDPARITY : EVENPARITY;
    line.fParity = parity == 0 ? FALSE : TRUE;
    if (!::SetCommState(port->handle, &line)) {
        return FT_IO_ERROR;
    }
    port->line = line;
    return FT_OK;
}

FT_STATUS ComPortD2xx::FT_SetFlowControl(FT_HANDLE handle, uint16_t flowControl, uint8_t, uint8_t) {
    const auto port = find(handle);
    if (!port) {
        return FT_INVALID_HANDLE;
    }
    // The port was opened without any handshake; that is the only setting the link uses.
    return flowControl == 0 ? FT_OK : FT_INVALID_PARAMETER;
}

FT_STATUS ComPortD2xx::FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) {
    const auto port = find(handle);
    if (!port) {
        return FT_INVALID_HANDLE;
    }
    COMMTIMEOUTS timeouts{};
    if (readMs == 0) {
        // Windows' way of "return what has arrived, at once".
        timeouts.ReadIntervalTimeout = MAXDWORD;
    } else {
        // No gap rule: a read gathers bytes until it has them all or the total time is up.
        timeouts.ReadTotalTimeoutConstant = readMs;
    }
    timeouts.WriteTotalTimeoutConstant = writeMs;
    if (!::SetCommTimeouts(port->handle, &timeouts)) {
        return FT_IO_ERROR;
    }
    port->writeMs = writeMs;
    return FT_OK;
}

FT_STATUS ComPortD2xx::FT_Purge(FT_HANDLE handle, uint32_t mask) {
    const auto port = find(handle);
    if (!port) {
        return FT_INVALID_HANDLE;
    }
    DWORD flags = 0;
    if ((mask & FT_PURGE_RX) != 0) {
        flags |= PURGE_RXCLEAR | PURGE_RXABORT;
    }
    if ((mask & FT_PURGE_TX) != 0) {
        flags |= PURGE_TXCLEAR | PURGE_TXABORT;
    }
    if (flags == 0) {
        return FT_OK;
    }
    return ::PurgeComm(port->handle, flags) ? FT_OK : FT_IO_ERROR;
}

FT_STATUS ComPortD2xx::FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* received) {
    if (received == nullptr || (buffer == nullptr && count > 0)) {
        return FT_INVALID_PARAMETER;
    }
    *received = 0;
    const auto port = find(handle);
    if (!port) {
        return FT_INVALID_HANDLE;
    }
    DWORD got = 0;
    const BOOL ok = ::ReadFile(port->handle, buffer, count, &got, nullptr);
    *received = got;
    // Bytes that did arrive are kept; the next call reports the failure.
    return ok || got > 0 ? FT_OK : FT_IO_ERROR;
}

FT_STATUS ComPortD2xx::FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                                uint32_t* written) {
    if (written == nullptr || (buffer == nullptr && count > 0)) {
        return FT_INVALID_PARAMETER;
    }
    *written = 0;
    const auto port = find(handle);
    if (!port) {
        return FT_INVALID_HANDLE;
    }
    std::this_thread::sleep_until(port->nextFrameAt);
    const auto start = Clock::now();
    // A write time-out of 0 is none to the port driver; the wait for the line is still bounded.
    const auto deadline =
        start + (port->writeMs != 0 ? std::chrono::milliseconds(port->writeMs)
                                    : lineTime(port->line, count) + kUntimedWriteSlack);
    DWORD done = 0;
    const BOOL ok = ::WriteFile(port->handle, buffer, count, &done, nullptr);
    if (!ok && done == 0) {
        return FT_IO_ERROR;
    }
    if (done == count && drained(*port, start + lineTime(port->line, count), deadline)) {
        *written = count;
        return FT_OK;
    }
    // What the adapter already holds cannot be called back, so the radio gets a frame cut short:
    // nothing of it counts as written, and a resend is the whole frame, never a tail after it.
    ::PurgeComm(port->handle, PURGE_TXABORT | PURGE_TXCLEAR);
    port->nextFrameAt = Clock::now() +
                        lineTime(port->line, std::min<uint32_t>(done, kUnrecallableBytes)) +
                        kFrameAbandonGap;
    return FT_IO_ERROR;
}

// WriteFile returns once the driver holds the bytes; the radio's reply window opens only when
// they have left the port. FlushFileBuffers would wait for that without a limit, so the driver's
// queue is watched instead until the deadline. A port that cannot tell the bytes still on their
// way (Wine's ports on a terminal) is taken at the line time of the bytes, the earliest they
// can have left.
bool ComPortD2xx::drained(const Port& port, Clock::time_point lineFreeAt,
                          Clock::time_point deadline) {
    for (;;) {
        const auto now = Clock::now();
        const std::optional<DWORD> unsent = unsentBytes(port.handle);
        if ((!unsent || *unsent == 0) && now >= lineFreeAt) {
            return true;
        }
        if (now >= deadline) {
            return false;
        }
        const auto next = unsent && *unsent > 0 ? now + std::max(lineTime(port.line, *unsent),
                                                                 Clock::duration(kDrainPoll))
                                                : lineFreeAt;
        std::this_thread::sleep_until(std::min(next, deadline));
    }
}

std::wstring ComPortD2xx::lastOpenProblem() const {
    std::lock_guard guard(lock_);
    return openProblem_;
}

std::string ComPortD2xx::devicePath(int index) const {
    const std::vector<Cable> cables = scan();
    return index >= 0 && static_cast<size_t>(index) < cables.size()
               ? cables[static_cast<size_t>(index)].port
               : std::string();
}

std::wstring ComPortD2xx::describeOpenProblem(const std::string& port, uint32_t error) {
    const std::wstring name = fromUtf8(port);
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return formatWide(L"%ls is in use by another program; close it and try again.",
                              name.c_str());
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return formatWide(
                L"There is no %ls: plug the cable in and look up its port in the Device "
                L"Manager (Ports (COM & LPT)).",
                name.c_str());
        default:
            return formatWide(L"Cannot open %ls: %ls.", name.c_str(), systemMessage(error).c_str());
    }
}

}  // namespace plugshift
