#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plugshift {

// Single-byte text inside flash files (internal names, model numbers, region names) is in the
// Windows-1252 code page, the same as the configuration that names those files, so a name read
// from either side compares equal.
std::wstring widenAnsi(const uint8_t* bytes, size_t length);
wchar_t widenAnsi(uint8_t byte);
// False when a character has no single-byte form; `out` then holds the bytes before it.
bool narrowAnsi(std::wstring_view text, std::string& out);

}  // namespace plugshift
