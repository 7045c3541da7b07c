#pragma once

#include <string>
#include <string_view>

namespace plugshift {

// The configuration and setup files are in the Windows ANSI code page (Windows-1252). Windows
// maps the five bytes that code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) to the C1
// control characters of the same number and back, so a file written there reads back byte for
// byte; these conversions do the same.

// Every byte sequence converts; false only when the converter cannot be set up.
bool cp1252ToWide(std::string_view bytes, std::wstring& text);
// False when a character has no Windows-1252 byte: writing '?' in its place would silently
// change a stored value, so callers refuse to write such text.
bool wideToCp1252(std::wstring_view text, std::string& bytes);

}  // namespace plugshift
