#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace plugshift {

// A codeplug or address-map version as the configuration and the radio write it: one letter and
// three two-digit numbers separated by full stops, "R01.02.03". The parity of the middle number
// tells the two generations of files apart: even is the new one, odd the old one.
struct CodeplugVersion {
    static constexpr size_t kTextLength = 9;

    wchar_t letter = 0;
    int first = 0;
    int middle = 0;
    int last = 0;

    // Nothing unless the text is exactly that shape.
    static std::optional<CodeplugVersion> parse(std::wstring_view text);
    // The radio's 4-byte version (a letter, then three numbers) as the Convert workflow prints
    // it, "%c%02d.%02d.%02d", the letter as it is; a number above 99 gives a text that does not
    // parse.
    static std::wstring radioText(std::span<const uint8_t, 4> bytes);

    bool isNew() const { return middle % 2 == 0; }
    // As the radio stores it: the letter and the three numbers, a byte each.
    std::array<uint8_t, 4> bytes() const;
};

}  // namespace plugshift
