#include "sim/sim_version.h"

#include <cctype>
#include <cstdio>

namespace plugshift {

std::optional<SimVersion> SimVersion::parse(std::string_view text) {
    if (text.empty() || std::isalpha(static_cast<unsigned char>(text[0])) == 0) {
        return std::nullopt;
    }
    SimVersion version;
    version.bytes[0] = static_cast<uint8_t>(text[0]);
    size_t pos = 1;
    for (size_t part = 1; part < version.bytes.size(); ++part) {
        if (part > 1) {
            if (pos >= text.size() || text[pos] != '.') {
                return std::nullopt;
            }
            ++pos;
        }
        int value = 0;
        size_t digits = 0;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) != 0 &&
               digits < 2) {
            value = value * 10 + (text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0) {
            return std::nullopt;
        }
        version.bytes[part] = static_cast<uint8_t>(value);
    }
    if (pos != text.size()) {
        return std::nullopt;
    }
    return version;
}

std::string SimVersion::text() const {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%c%02d.%02d.%02d", bytes[0], bytes[1], bytes[2],
                  bytes[3]);
    return buffer;
}

}  // namespace plugshift
