#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace plugshift {

enum class FileReadResult { kOk, kOpenFailed, kReadFailed, kTooLarge };

// Reads a whole file with one read into `bytes` (resized to the file's length). A file longer
// than `maxBytes` is refused before anything is allocated.
FileReadResult readWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes,
                             uint64_t maxBytes);
// Reads the first `limit` bytes, or the whole file when it is shorter.
FileReadResult readFileHead(const std::wstring& path, size_t limit, std::vector<uint8_t>& bytes);
// Writes through a temporary file beside the target and renames it over the target, so a
// failed write never leaves a half-written file under the real name. On false, `reason` holds
// the system's text.
bool writeWholeFile(const std::wstring& path, std::span<const uint8_t> bytes, std::wstring& reason);

}  // namespace plugshift
