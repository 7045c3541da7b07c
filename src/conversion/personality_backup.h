#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "conversion/personality.h"

namespace plugshift {

// A radio owner's personality saved to disk before a conversion erases anything, so that a run
// that fails half-way can still give it back. One small file per backup, little-endian:
//
//   0   8  magic "KMVPERS" 0x1A
//   8   2  format version (1)
//   10  2  zero
//   12 16  MD5 of every byte after the digest
//   28  8  when it was made, milliseconds since 1970 UTC (signed)
//   36     model: 1-byte length (at most 11) and the bytes as the radio reports them
//          serial number: 1-byte length (at most 11) and its bytes
//          codeplug version: 4 bytes
//          blocks: 1-byte count; each: kind (4, signed), address (4), length (4), the bytes
//          contacts: 2-byte count; each: group (1), length (2), the bytes; groups 1 to 4 in
//          turn, then group 0: the contacts that name none of the four (byte 7 of the bytes)
//
// Nothing may follow the last contact. A file is written beside its final name, flushed, renamed
// into place and the folder flushed, so a crash leaves either no backup or a whole one. Every
// failure leaves a category-1 record naming the file.
class PersonalityBackup {
public:
    static constexpr std::array<uint8_t, 8> kMagic = {'K', 'M', 'V', 'P', 'E', 'R', 'S', 0x1A};
    static constexpr uint16_t kFormatVersion = 1;
    static constexpr const char* kExtension = ".pbk";
    // Backups of one radio (by serial number) that survive a successful conversion, its own
    // among them.
    static constexpr size_t kKeptPerRadio = 5;
    static constexpr size_t kMaxIdentityBytes = 11;
    // Far beyond any radio block or contact; a length above them means a damaged file.
    static constexpr uint32_t kMaxBlockLength = 0x100000;
    static constexpr uint16_t kMaxContactLength = 512;
    static constexpr uint64_t kMaxFileSize = 64u << 20;

    // Who the data belong to, as the radio reported it before the conversion.
    std::vector<uint8_t> model;
    std::vector<uint8_t> serial;
    std::array<uint8_t, 4> codeplugVersion{};
    int64_t createdAtMs = 0;
    Personality personality;

    // The file's bytes. Identity fields longer than the format allows are cut.
    std::vector<uint8_t> encode() const;
    // Checks magic, version, digest and every length. `path` only names the file in the record.
    static bool decode(std::span<const uint8_t> file, const std::wstring& path,
                       PersonalityBackup& out);

    // Writes a new file into folder (created when missing) and reads it back to make sure it
    // holds what was meant. On true `written` is the file's path. Nothing else is touched: the
    // older backups may be all the owner has until the conversion has succeeded.
    bool save(const std::filesystem::path& folder, std::filesystem::path& written) const;
    static bool load(const std::filesystem::path& path, PersonalityBackup& out);

    // "<model>_<serial>_<YYYYMMDD-HHMMSS-mmm>.pbk" (UTC); characters other than letters and
    // digits become '-', an unreadable model or serial "unknown".
    std::string fileName() const;
    // The serial-number part of fileName(): the key that groups the backups of one radio.
    std::string radioKey() const;

    // Removes, beside `current`, the backups named for the same radio beyond the newest `keep`
    // (by the stamp in their names), `current` counted among them and never removed whatever its
    // stamp: a clock set back or files copied from another PC can make older backups look newer.
    // Other files, and any backup when the radio's serial number is unknown, are never touched.
    // Returns how many were removed.
    static size_t prune(const std::filesystem::path& current, size_t keep);
};

}  // namespace plugshift
