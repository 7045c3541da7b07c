#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/ftf_format.h"

namespace plugshift {

// What a flash file says about itself besides its body.
struct FtfFields {
    uint8_t versionLetter = 'R';  // header version "%c%02d.%02d" and a fourth byte
    uint8_t versionMajor = 0;
    uint8_t versionMinor = 0;
    uint8_t versionFourth = 0;
    int type = kFtfVersionPrefix1;
    std::wstring internalName;     // at most 255 single-byte characters
    uint32_t codeplugVersion = 0;  // types 0, 1 and 2
    std::wstring modelNumber;      // type 0, at most 20 characters
    std::wstring regionName;       // type 3, at most 10 characters
};

// Builds a whole flash file: header, clear type prefix, scrambled body, MD5 over all after it.
// Refuses (category 7 record) what loadFtf would not read back: an unknown type, names too
// long or without a single-byte form, a payload beyond 32 bits.
bool buildFtf(const FtfFields& fields, std::span<const uint8_t> body, std::vector<uint8_t>& file);

// buildFtf, then the file written in one piece (a failed write leaves no partial file).
bool writeFtf(const std::wstring& path, const FtfFields& fields, std::span<const uint8_t> body);

// "R01.02", or "R01.02.03" to set the fourth byte too; numbers 0 to 255.
bool parseFtfVersion(std::wstring_view text, FtfFields& fields);

// A 4-byte version as the radio shows it ("R01.02.30": letter, then three numbers; stored
// little-endian, letter first) or a number ("0x1E020152", "505545042").
bool parseCodeplugVersion(std::wstring_view text, uint32_t& version);

}  // namespace plugshift
