#include "srecord_text.h"

#include <algorithm>
#include <cstdio>

namespace plugshift::bench {

std::string srecordText(std::span<const uint8_t> data, uint32_t address) {
    constexpr size_t kPerLine = 32;
    constexpr size_t kAddressBytes = 4;
    std::string text;
    text.reserve(data.size() / kPerLine * (4 + 2 * (kAddressBytes + kPerLine + 2) + 1) + 64);
    char hex[3];
    auto putByte = [&](uint8_t b, uint8_t& sum) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        text += hex;
        sum = static_cast<uint8_t>(sum + b);
    };
    for (size_t at = 0; at < data.size(); at += kPerLine) {
        size_t n = std::min(kPerLine, data.size() - at);
        uint8_t sum = 0;
        text += "S3";
        putByte(static_cast<uint8_t>(kAddressBytes + n + 1), sum);
        uint32_t a = address + static_cast<uint32_t>(at);
        for (int shift = 24; shift >= 0; shift -= 8) {
            putByte(static_cast<uint8_t>(a >> shift), sum);
        }
        for (size_t i = 0; i < n; ++i) {
            putByte(data[at + i], sum);
        }
        uint8_t ignored = 0;
        putByte(static_cast<uint8_t>(~sum), ignored);
        text += '\n';
    }
    return text;
}

}  // namespace plugshift::bench
