#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plugshift {

// A 4-byte version as the radio stores it: a letter and three numbers, written R01.02.30.
struct SimVersion {
    std::array<uint8_t, 4> bytes{};

    // "R01.02.30": a letter, then three numbers of one or two digits separated by full stops.
    static std::optional<SimVersion> parse(std::string_view text);
    std::string text() const;
    bool operator==(const SimVersion&) const = default;
};

}  // namespace plugshift
