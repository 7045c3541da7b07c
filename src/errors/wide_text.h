#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

namespace plugshift {

// printf-style formatting of a wide format ("%ls" for wide strings, "%d" decimal) of any length.
std::wstring formatWide(const wchar_t* format, ...);
std::wstring vformatWide(const wchar_t* format, va_list args);

// UTF-8 is the narrow form of text on this platform (files, terminal, paths).
std::string toUtf8(std::wstring_view text);
std::wstring fromUtf8(std::string_view text);

}  // namespace plugshift
