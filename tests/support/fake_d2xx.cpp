#include "fake_d2xx.h"

#include <algorithm>
#include <cstring>

namespace plugshift::test {

void FakeD2xx::failNext(const std::string& function, FT_STATUS status, int times) {
    for (int i = 0; i < times; ++i) {
        failures_[function].push_back(status);
    }
}

void FakeD2xx::queueRx(std::initializer_list<uint8_t> bytes) {
    rx.insert(rx.end(), bytes.begin(), bytes.end());
}

void FakeD2xx::queueRx(std::span<const uint8_t> bytes) {
    rx.insert(rx.end(), bytes.begin(), bytes.end());
}

std::vector<std::string> FakeD2xx::callsTo(const std::string& prefix) const {
    std::vector<std::string> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
                 [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    return out;
}

FT_STATUS FakeD2xx::record(const std::string& call) {
    calls.push_back(call);
    const std::string name = call.substr(0, call.find('('));
    auto it = failures_.find(name);
    if (it == failures_.end() || it->second.empty()) {
        return FT_OK;
    }
    FT_STATUS status = it->second.front();
    it->second.pop_front();
    return status;
}

FT_STATUS FakeD2xx::FT_ListDevices(void* arg1, void* arg2, uint32_t flags) {
    if (flags == FT_LIST_NUMBER_ONLY) {
        FT_STATUS status = record("FT_ListDevices(number)");
        if (status == FT_OK) {
            *static_cast<uint32_t*>(arg1) = static_cast<uint32_t>(descriptions.size());
        }
        return status;
    }
    const auto index = static_cast<size_t>(reinterpret_cast<intptr_t>(arg1));
    FT_STATUS status = record("FT_ListDevices(" + std::to_string(index) + ")");
    if (!descriptionAnswers.empty()) {
        auto [answer, systemError] = descriptionAnswers.front();
        descriptionAnswers.pop_front();
        systemError_ = systemError;
        if (answer != FT_OK) {
            return answer;
        }
    }
    if (status != FT_OK) {
        return status;
    }
    if (index >= descriptions.size()) {
        return FT_DEVICE_NOT_FOUND;
    }
    std::strncpy(static_cast<char*>(arg2), descriptions[index].c_str(), FT_DESCRIPTION_SIZE - 1);
    return FT_OK;
}

FT_STATUS FakeD2xx::FT_Open(int index, FT_HANDLE* handle) {
    FT_STATUS status = record("FT_Open(" + std::to_string(index) + ")");
    if (status == FT_OK) {
        *handle = &handleStorage_;
        open_ = true;
    }
    return status;
}

FT_STATUS FakeD2xx::FT_Close(FT_HANDLE) {
    FT_STATUS status = record("FT_Close()");
    if (status == FT_OK) {
        open_ = false;
    }
    return status;
}

FT_STATUS FakeD2xx::FT_SetBaudRate(FT_HANDLE, uint32_t baud) {
    return record("FT_SetBaudRate(" + std::to_string(baud) + ")");
}

FT_STATUS FakeD2xx::FT_SetDataCharacteristics(FT_HANDLE, uint8_t wordLength, uint8_t stopBits,
                                              uint8_t parity) {
    return record("FT_SetDataCharacteristics(" + std::to_string(wordLength) + "," +
                  std::to_string(stopBits) + "," + std::to_string(parity) + ")");
}

FT_STATUS FakeD2xx::FT_SetFlowControl(FT_HANDLE, uint16_t flowControl, uint8_t xon, uint8_t xoff) {
    return record("FT_SetFlowControl(" + std::to_string(flowControl) + "," + std::to_string(xon) +
                  "," + std::to_string(xoff) + ")");
}

FT_STATUS FakeD2xx::FT_SetTimeouts(FT_HANDLE, uint32_t readMs, uint32_t writeMs) {
    return record("FT_SetTimeouts(" + std::to_string(readMs) + "," + std::to_string(writeMs) + ")");
}

FT_STATUS FakeD2xx::FT_Purge(FT_HANDLE, uint32_t mask) {
    FT_STATUS status = record("FT_Purge(" + std::to_string(mask) + ")");
    if (status == FT_OK && (mask & FT_PURGE_RX) != 0) {
        rx.clear();
    }
    return status;
}

FT_STATUS FakeD2xx::FT_Read(FT_HANDLE, void* buffer, uint32_t count, uint32_t* received) {
    FT_STATUS status = record("FT_Read(" + std::to_string(count) + ")");
    *received = 0;
    if (status != FT_OK) {
        return status;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    while (*received < count && !rx.empty()) {
        out[(*received)++] = rx.front();
        rx.pop_front();
    }
    return FT_OK;
}

FT_STATUS FakeD2xx::FT_Write(FT_HANDLE, const void* buffer, uint32_t count, uint32_t* written) {
    FT_STATUS status = record("FT_Write(" + std::to_string(count) + ")");
    *written = 0;
    if (status != FT_OK) {
        return status;
    }
    std::span<const uint8_t> bytes(static_cast<const uint8_t*>(buffer), count);
    tx.insert(tx.end(), bytes.begin(), bytes.end());
    *written = count;
    if (echo) {
        rx.insert(rx.end(), bytes.begin(), bytes.end());
    }
    if (onWrite) {
        onWrite(*this, bytes);
    }
    return FT_OK;
}

}  // namespace plugshift::test
