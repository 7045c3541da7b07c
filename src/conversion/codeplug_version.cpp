#include "conversion/codeplug_version.h"

#include "errors/wide_text.h"

namespace plugshift {

namespace {

bool isAsciiLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// The two digits at text[at], or -1.
int twoDigits(std::wstring_view text, size_t at) {
    if (!isDigit(text[at]) || !isDigit(text[at + 1])) {
        return -1;
    }
    return (text[at] - L'0') * 10 + (text[at + 1] - L'0');
}

}  // namespace

std::optional<CodeplugVersion> CodeplugVersion::parse(std::wstring_view text) {
    if (text.size() != kTextLength || !isAsciiLetter(text[0]) || text[3] != L'.' ||
        text[6] != L'.') {
        return std::nullopt;
    }
    CodeplugVersion version;
    version.letter = text[0];
    version.first = twoDigits(text, 1);
    version.middle = twoDigits(text, 4);
    version.last = twoDigits(text, 7);
    if (version.first < 0 || version.middle < 0 || version.last < 0) {
        return std::nullopt;
    }
    return version;
}

std::array<uint8_t, 4> CodeplugVersion::bytes() const {
    return {static_cast<uint8_t>(letter), static_cast<uint8_t>(first), static_cast<uint8_t>(middle),
            static_cast<uint8_t>(last)};
}

std::wstring CodeplugVersion::radioText(std::span<const uint8_t, 4> bytes) {
    return formatWide(L"%lc%02d.%02d.%02d", static_cast<wint_t>(bytes[0]), bytes[1], bytes[2],
                      bytes[3]);
}

}  // namespace plugshift
