#include "formats/ansi_text.h"

#include <array>
#include <type_traits>

namespace plugshift {

namespace {

// 0x80..0x9F; the five unassigned bytes keep their own code point, as Windows maps them.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
constexpr uint8_t kFirstHighControl = 0x80;
constexpr uint8_t kLastHighControl = 0x9F;

}  // namespace

wchar_t widenAnsi(uint8_t byte) {
    if (byte >= kFirstHighControl && byte <= kLastHighControl) {
        return static_cast<wchar_t>(kHighControls[byte - kFirstHighControl]);
    }
    return static_cast<wchar_t>(byte);  // the rest of the page is Latin-1
}

std::wstring widenAnsi(const uint8_t* bytes, size_t length) {
    std::wstring text(length, L'\0');
    for (size_t i = 0; i < length; ++i) {
        text[i] = widenAnsi(bytes[i]);
    }
    return text;
}

std::wstring widenAnsi(std::string_view bytes) {
    return widenAnsi(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

bool narrowAnsi(std::wstring_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (wchar_t c : text) {
        int byte = -1;
        // wchar_t is signed on Linux and unsigned on Windows.
        const auto code = static_cast<uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(c));
        if (code <= 0xFF && widenAnsi(static_cast<uint8_t>(code)) == c) {
            byte = static_cast<int>(c);
        }
        for (size_t i = 0; byte < 0 && i < kHighControls.size(); ++i) {
            if (static_cast<wchar_t>(kHighControls[i]) == c) {
                byte = static_cast<int>(kFirstHighControl + i);
            }
        }
        if (byte < 0) {
            return false;
        }
        out += static_cast<char>(byte);
    }
    return true;
}

}  // namespace plugshift
