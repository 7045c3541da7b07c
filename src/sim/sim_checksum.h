#pragma once

#include <cstdint>
#include <span>

namespace plugshift {

// 0xFF minus the byte sum of a frame up to its checksum, from the start byte on (mod 256).
inline uint8_t simChecksum(std::span<const uint8_t> bytes) {
    unsigned sum = 0;
    for (uint8_t b : bytes) {
        sum += b;
    }
    return static_cast<uint8_t>(0xFF - (sum & 0xFF));
}

}  // namespace plugshift
