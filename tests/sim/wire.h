#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace plugshift::test {

// Request frames and reply checks written out by hand for the simulator's tests, independent
// of both the host's and the radio's framing code.
std::vector<uint8_t> shortFrame(uint8_t opcode, std::vector<uint8_t> body);
std::vector<uint8_t> longFrame(uint8_t opcode, std::vector<uint8_t> body);

struct WireReply {
    uint8_t opcode = 0;
    std::optional<uint32_t> address;  // for 0x80, 0x84 and 0x85
    std::vector<uint8_t> data;
};

// One complete reply (lead-in, frame, good checksum, nothing after it), or nothing.
std::optional<WireReply> parseReply(std::span<const uint8_t> bytes);

}  // namespace plugshift::test

#include "sim/sim_d2xx.h"

namespace plugshift::test {

// The host's end of a simulated cable, driven by raw driver calls: open, 8N1 at a rate, a read
// time-out; each exchange purges, writes one frame and reads what arrives within the time-out.
class WireHost {
public:
    static constexpr uint32_t kReadTimeoutMs = 250;

    explicit WireHost(SimD2xx& d2xx, int index = 0, uint32_t baud = 57600);
    ~WireHost();

    std::vector<uint8_t> exchange(std::span<const uint8_t> frame);
    std::optional<WireReply> request(std::span<const uint8_t> frame) {
        return parseReply(exchange(frame));
    }
    void setBaud(uint32_t baud);
    FT_HANDLE handle() const { return handle_; }

private:
    SimD2xx& d2xx_;
    FT_HANDLE handle_ = nullptr;
};

}  // namespace plugshift::test
