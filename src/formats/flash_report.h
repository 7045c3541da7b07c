#pragma once

#include <string>

#include "formats/codeplug_image.h"
#include "formats/ftf_info.h"

namespace plugshift {

// What the command line shows about flash files: the text lives here so that it is tested
// with the readers it describes.

struct FtfSummary {
    FtfInfo info;
    std::wstring versionText;  // "%c%02d.%02d" of the header version
};

// readFtfInfo plus the header version, from one read of the file's head.
bool readFtfSummary(const std::wstring& path, FtfSummary& summary);

// One "name: value" line per field that the file's type carries.
std::wstring formatFtfSummary(const FtfSummary& summary);

// A 4-byte version as the radio shows it, "R01.02.30" (letter first, little-endian), followed
// by the number in hexadecimal.
std::wstring codeplugVersionText(uint32_t version);

// Loads an address-map file and a codeplug file into `cpg`, as a conversion does before it
// programs the radio. On false the chain says which file failed.
bool loadCodeplugBlocks(const std::wstring& addressMapPath, const std::wstring& codeplugPath,
                        CodeplugImage& cpg);

// One line per block: name, address, size and capacity in hexadecimal.
std::wstring formatBlockTable(const CodeplugImage& cpg);

}  // namespace plugshift
