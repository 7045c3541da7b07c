#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace plugshift {

// The kind of payload a flash file carries, which decides the clear prefix before its body.
enum FtfType : int {
    kFtfModelPrefix = 0,     // codeplug version, model-number length and model number
    kFtfVersionPrefix1 = 1,  // codeplug version only
    kFtfVersionPrefix2 = 2,  // codeplug version only
    kFtfRegionPrefix = 3,    // region-name length and region name
};

// Byte layout of the header shared by the reader and the writer.
namespace ftf {
inline constexpr std::array<uint8_t, 8> kSignature = {'Z', 'Q', 'K', 0, 0, 0, 0, 0};
inline constexpr size_t kDigestOffset = 8;
inline constexpr size_t kDigestSize = 16;
inline constexpr size_t kDigestedFrom = kDigestOffset + kDigestSize;  // everything after it
inline constexpr size_t kVersionOffset = 24;  // letter, major, minor, fourth byte
inline constexpr size_t kTypeOffset = 28;
inline constexpr size_t kPayloadLengthOffset = 29;  // big-endian 32 bits
inline constexpr size_t kNameLengthOffset = 33;
inline constexpr size_t kHeaderSize = 34;  // the internal name follows
inline constexpr size_t kMaxNameLength = 255;
inline constexpr size_t kCodeplugVersionSize = 4;
// The longest header plus type prefix: name, codeplug version, model-number length, model.
inline constexpr size_t kMaxHeadSize =
    kHeaderSize + kMaxNameLength + kCodeplugVersionSize + 1 + 255;
// A loaded image has room for this many characters of each; longer files are refused.
inline constexpr size_t kMaxModelNameLength = 20;
inline constexpr size_t kMaxRegionNameLength = 10;
}  // namespace ftf

uint32_t readBigEndian32(const uint8_t* p);
uint32_t readLittleEndian32(const uint8_t* p);
void writeBigEndian32(uint8_t* p, uint32_t value);
void writeLittleEndian32(uint8_t* p, uint32_t value);

// The body is XORed with "ZQK" repeating, counted from its own first byte; the same call
// scrambles and unscrambles.
void scrambleFtfBody(uint8_t* body, size_t length);

// "%c%02d.%02d" of the header's version letter, major and minor bytes.
std::wstring ftfVersionText(const uint8_t* versionBytes);

}  // namespace plugshift
