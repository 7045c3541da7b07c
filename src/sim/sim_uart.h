#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace plugshift {

// What a UART listening at one rate makes of 8N1 bytes sent at another: the line is drawn bit by
// bit at the sender's rate and sampled the way a receiver does (16 times per bit for the start
// edge, then mid-bit). At equal rates the bytes come through unchanged; a few percent apart they
// still do; further apart they turn into other bytes, and a frame whose stop bit reads low is
// delivered as NUL, as a raw Linux tty delivers a framing error.
class SimUart {
public:
    static std::vector<uint8_t> carry(std::span<const uint8_t> bytes, uint32_t senderBaud,
                                      uint32_t receiverBaud);
};

}  // namespace plugshift
