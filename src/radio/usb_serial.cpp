#include "radio/usb_serial.h"

#include <strings.h>

#include <thread>

#include "errors/error_category.h"
#include "errors/error_chain.h"

namespace plugshift {

namespace {
// A cable that is busy (access denied) or still settling after plug-in (not functioning) is
// asked again a few times before the enumeration skips it.
constexpr int kDescriptionRetries = 13;
constexpr std::chrono::milliseconds kAccessDeniedWait{500};
constexpr std::chrono::milliseconds kNotFunctioningWait{10};

void realSleep(std::chrono::milliseconds ms) {
    std::this_thread::sleep_for(ms);
}
}  // namespace

USBSerial::USBSerial(D2xx& driver, Sleeper sleeper)
    : driver_(driver), sleep_(sleeper ? std::move(sleeper) : Sleeper(realSleep)) {}

USBSerial::~USBSerial() {
    if (handle_ != nullptr) {
        close();
    }
}

bool USBSerial::matchesCable(const char* description) {
    return ::strcasecmp(description, kCableDescription) == 0;
}

int USBSerial::countCables(int& firstIndex) {
    uint32_t number = 0;
    {
        std::lock_guard guard(countLock_);
        const FT_STATUS status = driver_.FT_ListDevices(&number, nullptr, FT_LIST_NUMBER_ONLY);
        storeEnumerationStatus(status);
        if (status != FT_OK) {
            return 0;
        }
    }
    std::lock_guard guard(portLock_);
    int count = 0;
    for (uint32_t i = 0; i < number; ++i) {
        if (describesCable(static_cast<int>(i))) {
            if (count == 0) {
                firstIndex = static_cast<int>(i);
            }
            ++count;
        }
    }
    return count;
}

bool USBSerial::describesCable(int index) {
    char description[FT_DESCRIPTION_SIZE];
    for (int attempt = 0; attempt <= kDescriptionRetries; ++attempt) {
        std::fill(std::begin(description), std::end(description), '\0');
        const FT_STATUS status =
            driver_.FT_ListDevices(reinterpret_cast<void*>(static_cast<intptr_t>(index)),
                                   description, FT_LIST_DESCRIPTION_BY_INDEX);
        storeEnumerationStatus(status);
        if (status == FT_OK) {
            description[FT_DESCRIPTION_SIZE - 1] = '\0';
            return matchesCable(description);
        }
        if (status != FT_DEVICE_NOT_OPENED || attempt == kDescriptionRetries) {
            return false;
        }
        const uint32_t reason = driver_.lastSystemError();
        if (reason == kSystemErrorAccessDenied) {
            sleep_(kAccessDeniedWait);
        } else if (reason == kSystemErrorNotFunctioning) {
            sleep_(kNotFunctioningWait);
        } else {
            return false;
        }
    }
    return false;
}

void USBSerial::storeEnumerationStatus(FT_STATUS status) {
    if (handle_ == nullptr) {
        lastStatus_ = status;
    }
}

void USBSerial::clearEnumerationStatus() {
    storeEnumerationStatus(FT_OK);
}

int USBSerial::deviceCount() {
    std::lock_guard guard(countLock_);
    uint32_t number = 0;
    const FT_STATUS status = driver_.FT_ListDevices(&number, nullptr, FT_LIST_NUMBER_ONLY);
    const int result = status == FT_OK ? static_cast<int>(number) : 0;
    storeEnumerationStatus(FT_OK);
    return result;
}

bool USBSerial::open(int index) {
    if (handle_ != nullptr && !close()) {
        return false;
    }
    std::lock_guard guard(portLock_);
    FT_HANDLE opened = nullptr;
    lastStatus_ = driver_.FT_Open(index, &opened);
    handle_ = lastStatus_ == FT_OK ? opened : nullptr;
    if (lastStatus_ != FT_OK) {
        const std::wstring problem = driver_.lastOpenProblem();
        if (!problem.empty()) {
            ErrorChain::add(kErrorProt, L"%ls", problem.c_str());
        }
        ErrorChain::add(kErrorProt, L"Error:failed to open the port refered by the index [%d]",
                        index);
        return false;
    }
    return true;
}

bool USBSerial::close() {
    if (handle_ == nullptr) {
        return false;
    }
    std::lock_guard guard(portLock_);
    lastStatus_ = driver_.FT_Close(handle_);
    if (lastStatus_ != FT_OK) {
        ErrorChain::add(kErrorProt, L"Error:failed to close port");
        return false;
    }
    handle_ = nullptr;
    return true;
}

bool USBSerial::setBaudRate(uint32_t baud) {
    if (handle_ == nullptr) {
        return false;
    }
    lastStatus_ = driver_.FT_SetBaudRate(handle_, baud);
    if (lastStatus_ != FT_OK) {
        ErrorChain::add(kErrorProt, L"Error:failed to set baud rade [%d].", static_cast<int>(baud));
        return false;
    }
    baudRate_ = baud;
    return true;
}

bool USBSerial::setDataCharacteristics() {
    if (handle_ == nullptr) {
        return false;
    }
    // 8 data bits, one stop bit (code 0), no parity (code 0)
    lastStatus_ = driver_.FT_SetDataCharacteristics(handle_, 8, 0, 0);
    if (lastStatus_ != FT_OK) {
        ErrorChain::add(kErrorProt, L"Error:failed to set parity data stop.");
        return false;
    }
    return true;
}

bool USBSerial::setFlowControl() {
    if (handle_ == nullptr) {
        return false;
    }
    lastStatus_ = driver_.FT_SetFlowControl(handle_, 0, 0, 0);
    if (lastStatus_ != FT_OK) {
        ErrorChain::add(kErrorProt, L"Error:failed to set flow.");
        return false;
    }
    return true;
}

bool USBSerial::setTimeouts(uint32_t readMs, uint32_t writeMs) {
    if (handle_ == nullptr) {
        return false;
    }
    lastStatus_ = driver_.FT_SetTimeouts(handle_, readMs, writeMs);
    if (lastStatus_ != FT_OK) {
        ErrorChain::add(kErrorProt, L"Error:failed to configure time out.");
        return false;
    }
    readTimeout_ = readMs;
    writeTimeout_ = writeMs;
    return true;
}

bool USBSerial::purge(uint32_t mask) {
    if (handle_ == nullptr) {
        return false;
    }
    lastStatus_ = driver_.FT_Purge(handle_, mask);
    if (lastStatus_ != FT_OK) {
        ErrorChain::add(kErrorProt, L"Error:failed to purge port.");
        return false;
    }
    return true;
}

// A driver that refuses the mask (FT_INVALID_PARAMETER) has purged nothing and changed nothing,
// so that is no failure of the cable; it would otherwise leave a record behind every write.
void USBSerial::purgeBeforeWrite() {
    lastStatus_ = driver_.FT_Purge(handle_, kPurgeBeforeWrite);
    if (lastStatus_ != FT_OK && lastStatus_ != FT_INVALID_PARAMETER) {
        ErrorChain::add(kErrorProt, L"Error:failed to purge port.");
    }
}

int USBSerial::read(uint8_t* buffer, int length) {
    if (handle_ == nullptr || buffer == nullptr) {
        return 0;
    }
    int remaining = length;
    while (remaining > 0) {
        uint32_t got = 0;
        lastStatus_ = driver_.FT_Read(handle_, buffer + (length - remaining),
                                      static_cast<uint32_t>(remaining), &got);
        // A short read is the time-out signal; a driver claiming more than asked is not trusted.
        if (lastStatus_ != FT_OK || got == 0 || got > static_cast<uint32_t>(remaining)) {
            break;
        }
        remaining -= static_cast<int>(got);
    }
    return length - remaining;
}

int USBSerial::write(const uint8_t* buffer, int length) {
    if (handle_ == nullptr || buffer == nullptr) {
        return 0;
    }
    int remaining = length;
    while (remaining > 0) {
        purgeBeforeWrite();
        uint32_t done = 0;
        lastStatus_ = driver_.FT_Write(handle_, buffer + (length - remaining),
                                       static_cast<uint32_t>(remaining), &done);
        if (lastStatus_ != FT_OK || done == 0 || done > static_cast<uint32_t>(remaining)) {
            break;
        }
        remaining -= static_cast<int>(done);
    }
    return length - remaining;
}

}  // namespace plugshift
