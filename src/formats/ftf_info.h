#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace plugshift {

// The header summary of a flash file: what the catalogue needs without reading the body.
// A plain fixed-size record, cleared to zero before it is filled.
struct FtfInfo {
    static constexpr size_t kNameRoom = 511;
    static constexpr size_t kModelNumberRoom = 11;
    static constexpr size_t kRegionNameRoom = 10;

    int32_t type;
    int32_t bodyLength;  // payload length minus the type prefix
    uint8_t nameLength;
    wchar_t internalName[kNameRoom + 1];
    uint32_t codeplugVersion;   // types 0, 1 and 2
    uint8_t modelNumberLength;  // type 0: at most kModelNumberRoom
    char modelNumber[kModelNumberRoom];
    wchar_t regionName[kRegionNameRoom + 1];  // type 3: at most kRegionNameRoom characters

    std::string modelNumberText() const { return std::string(modelNumber, modelNumberLength); }
};

// Reads only the header and the type prefix of a flash file (no body, no digest check).
// On false the chain holds the reason and `info` may be partly filled; a null path gives false
// without a record.
bool readFtfInfo(const wchar_t* path, FtfInfo& info);

// The same on the first bytes of a file (at most ftf::kMaxHeadSize are looked at); `head` may
// be shorter than the file, and a field it does not reach counts as not read.
bool parseFtfInfo(const std::wstring& path, std::span<const uint8_t> head, FtfInfo& info);

}  // namespace plugshift
