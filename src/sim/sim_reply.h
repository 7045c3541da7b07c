#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace plugshift {

// One answer of the radio before it goes on the wire.
struct SimReply {
    uint8_t opcode = 0;
    // The 4-byte address field that replies 0x80, 0x84 and 0x85 carry before their data.
    std::optional<uint32_t> address;
    std::vector<uint8_t> data;
    // Answer in the long form even when the short one would fit (the radio answers in the form
    // it was asked in).
    bool longFrame = false;

    // Lead-in and frame: the short form 0xFk when body and checksum leave k <= 14 (0xFF is
    // the long form's start), the long form otherwise.
    std::vector<uint8_t> wire() const;
};

}  // namespace plugshift
