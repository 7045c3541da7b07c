#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/ftf_format.h"

namespace plugshift {

// A flash file loaded in full: its unscrambled body and what its header and prefix say.
// One image is reused for several loads; its buffer is resized, not reallocated each time.
struct FtfImage {
    static constexpr size_t kModelNameRoom = ftf::kMaxModelNameLength;

    uint32_t length = 0;        // body length; 0 when nothing is loaded
    std::vector<uint8_t> data;  // the body at its start; sized for the whole file
    std::wstring versionText;   // "%c%02d.%02d" of the header version
    std::wstring internalName;
    std::wstring regionName;              // type 3 only
    int32_t type = -1;                    // -1 until a file has been loaded
    uint32_t version = 0;                 // header version; for types 1 and 2 the payload's version
    uint32_t codeplugVersion = 0;         // type 0 only
    char modelName[kModelNameRoom] = {};  // type 0 only, modelNameLength characters
    uint8_t modelNameLength = 0;

    std::span<const uint8_t> body() const { return {data.data(), length}; }
    std::string modelNameText() const { return std::string(modelName, modelNameLength); }
};

// Reads, verifies (signature, MD5, lengths), strips the type prefix and unscrambles one flash
// file. On false the chain holds the reason and the image is empty (no buffer, length 0, no
// version text or internal name).
bool loadFtf(const wchar_t* path, FtfImage& image);

// The same checks on bytes already in memory; `file` is taken over as the image's buffer.
// `path` only names the file in the messages.
bool loadFtfBytes(const std::wstring& path, std::vector<uint8_t>&& file, FtfImage& image);

}  // namespace plugshift
