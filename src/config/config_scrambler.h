#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace plugshift {

// config.xml and setup.dat are stored XORed with this repeating key; no header, no length, no
// checksum, so the same operation scrambles and unscrambles.
inline constexpr std::string_view kConfigScrambleKey = "QJXW";

// Byte i becomes byte i XOR key[i mod 4], counting from the first byte of the span.
void scrambleConfigBytes(std::span<char> bytes);
std::string scrambledConfigText(std::string_view bytes);

}  // namespace plugshift
