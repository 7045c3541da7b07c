#include "config/config_scrambler.h"

namespace plugshift {

void scrambleConfigBytes(std::span<char> bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(bytes[i] ^ kConfigScrambleKey[i % kConfigScrambleKey.size()]);
    }
}

std::string scrambledConfigText(std::string_view bytes) {
    std::string out(bytes);
    scrambleConfigBytes(out);
    return out;
}

}  // namespace plugshift
