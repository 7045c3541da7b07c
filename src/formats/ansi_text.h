#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plugshift {

// Single-byte text of the installation is in the Windows-1252 code page: names inside flash
// files and the configuration and setup files that name them, so a name read from either side
// compares equal. Windows maps the five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) to the C1 controls of the same number and back, so a file written there reads
// back byte for byte; so does this.
std::wstring widenAnsi(const uint8_t* bytes, size_t length);
std::wstring widenAnsi(std::string_view bytes);
wchar_t widenAnsi(uint8_t byte);
// False when a character has no single-byte form; `out` then holds the bytes before it.
bool narrowAnsi(std::wstring_view text, std::string& out);

}  // namespace plugshift
