#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace plugshift {

// The cable driver calls the system makes, with the vendor library's arguments and status codes,
// so that a real cable, a simulated one and a scripted fake are interchangeable.
using FT_HANDLE = void*;
using FT_STATUS = uint32_t;

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
inline constexpr FT_STATUS FT_INVALID_BAUD_RATE = 7;
inline constexpr FT_STATUS FT_OTHER_ERROR = 18;

inline constexpr uint32_t FT_LIST_NUMBER_ONLY = 0x80000000;
inline constexpr uint32_t FT_LIST_BY_INDEX = 0x40000000;
inline constexpr uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1;
inline constexpr uint32_t FT_OPEN_BY_DESCRIPTION = 2;
inline constexpr uint32_t FT_OPEN_BY_LOCATION = 4;
inline constexpr uint32_t FT_LIST_DESCRIPTION_BY_INDEX = FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION;
inline constexpr uint32_t FT_LIST_SERIAL_NUMBER_BY_INDEX =
    FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER;
inline constexpr uint32_t FT_LIST_LOCATION_BY_INDEX = FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION;
// Room for a description or a serial number with its NUL.
inline constexpr int FT_DESCRIPTION_SIZE = 64;

inline constexpr uint32_t FT_PURGE_RX = 1;
inline constexpr uint32_t FT_PURGE_TX = 2;

// Operating-system reasons behind FT_DEVICE_NOT_OPENED during enumeration; they decide whether
// the enumeration retries an index.
inline constexpr uint32_t kSystemErrorAccessDenied = 5;
inline constexpr uint32_t kSystemErrorNotFunctioning = 31;

// A write cut short at its deadline leaves bytes beyond recall: the largest FTDI transmit buffer
// (4 KiB) and the driver's two write transfers of 512 bytes at most.
inline constexpr uint32_t kUnrecallableBytes = 4096 + 2 * 512;
// After a cut frame, the line rests this long once those bytes have left, so that the radio has
// dropped the cut frame (its inter-byte time-out is a few byte times; the simulated radio's is
// 10 ms) before the next one begins. Paid only after a failed write.
inline constexpr std::chrono::milliseconds kFrameAbandonGap{100};

class D2xx {
public:
    virtual ~D2xx() = default;

    // flags FT_LIST_NUMBER_ONLY: arg1 is a uint32_t* count, arg2 unused.
    // flags FT_LIST_DESCRIPTION_BY_INDEX (or FT_LIST_SERIAL_NUMBER_BY_INDEX): arg1 is the index
    // (cast to a pointer), arg2 a zeroed buffer of FT_DESCRIPTION_SIZE chars that receives the
    // NUL-terminated description (serial number).
    // flags FT_LIST_LOCATION_BY_INDEX: arg1 is the index, arg2 a uint32_t* for the location ID.
    // A driver that has no such listing answers FT_INVALID_PARAMETER.
    virtual FT_STATUS FT_ListDevices(void* arg1, void* arg2, uint32_t flags) = 0;
    virtual FT_STATUS FT_Open(int index, FT_HANDLE* handle) = 0;
    virtual FT_STATUS FT_Close(FT_HANDLE handle) = 0;
    virtual FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) = 0;
    virtual FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength,
                                                uint8_t stopBits, uint8_t parity) = 0;
    virtual FT_STATUS FT_SetFlowControl(FT_HANDLE handle, uint16_t flowControl, uint8_t xon,
                                        uint8_t xoff) = 0;
    virtual FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) = 0;
    virtual FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) = 0;
    virtual FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count,
                              uint32_t* received) = 0;
    virtual FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                               uint32_t* written) = 0;

    // The system error behind the last FT_DEVICE_NOT_OPENED of FT_ListDevices
    // (kSystemErrorAccessDenied, kSystemErrorNotFunctioning or another value).
    virtual uint32_t lastSystemError() const = 0;
    // Why the last failed FT_Open failed, in words that name the fix; empty when unknown.
    virtual std::wstring lastOpenProblem() const { return {}; }
    // Where the system shows cable index (a device node, a COM port), for people to read; empty
    // when there is no such index or the driver does not say.
    virtual std::string devicePath(int /*index*/) const { return {}; }
    // Which driver this is, for people to read ("FTDI's D2XX library (ftd2xx.dll)"); empty when
    // it has no name of its own.
    virtual std::string driverName() const { return {}; }
};

}  // namespace plugshift
