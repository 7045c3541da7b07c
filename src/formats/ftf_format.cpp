#include "formats/ftf_format.h"

#include <cstring>

#include "errors/wide_text.h"
#include "formats/ansi_text.h"

namespace plugshift {

uint32_t readBigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint32_t readLittleEndian32(const uint8_t* p) {
    return (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

void writeBigEndian32(uint8_t* p, uint32_t value) {
    for (int i = 3; i >= 0; --i, value >>= 8) {
        p[i] = static_cast<uint8_t>(value);
    }
}

void writeLittleEndian32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i, value >>= 8) {
        p[i] = static_cast<uint8_t>(value);
    }
}

void scrambleFtfBody(uint8_t* body, size_t length) {
    // 24 bytes is a whole number of both the 3-byte key and 8-byte words, so the key can be
    // applied three words at a time.
    constexpr size_t kKeyLength = 3;
    constexpr size_t kStride = 24;
    uint8_t pattern[kStride];
    for (size_t i = 0; i < kStride; ++i) {
        pattern[i] = ftf::kSignature[i % kKeyLength];
    }
    uint64_t keys[3];
    std::memcpy(keys, pattern, sizeof keys);
    size_t i = 0;
    for (; i + kStride <= length; i += kStride) {
        uint64_t words[3];
        std::memcpy(words, body + i, sizeof words);
        words[0] ^= keys[0];
        words[1] ^= keys[1];
        words[2] ^= keys[2];
        std::memcpy(body + i, words, sizeof words);
    }
    for (; i < length; ++i) {
        body[i] ^= pattern[i % kStride];
    }
}

std::wstring ftfVersionText(const uint8_t* versionBytes) {
    // The letter is widened by hand: a wide "%c" of a byte the locale cannot convert fails.
    return std::wstring(1, widenAnsi(versionBytes[0])) +
           formatWide(L"%02d.%02d", versionBytes[1], versionBytes[2]);
}

}  // namespace plugshift
