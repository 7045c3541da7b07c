#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace plugshift {

struct SimRequest {
    uint8_t opcode = 0;
    std::vector<uint8_t> body;  // between the opcode (or length) and the checksum
    bool longFrame = false;
};

// The 24-bit address a memory read or write, or a flash erase or program, names.
std::optional<uint32_t> simRequestAddress(const SimRequest& request);

// The radio's receiver: finds request frames in the byte stream one byte at a time. Bytes
// before a start byte are line noise and skipped; a frame with a wrong checksum or an
// impossible length is dropped without an answer, as the radio has no way to say who sent it.
class SimRequestParser {
public:
    // Longest long-frame length the radio buffers: a full flash program (4096 data bytes, the
    // sub-request, three address bytes and the checksum).
    static constexpr int kMaxLength = 4096 + 5;

    // The request this byte completed, if any.
    std::optional<SimRequest> feed(uint8_t byte);
    // Forget a partial frame (the line was quiet too long inside it).
    void reset();
    bool inFrame() const { return state_ != State::Start; }
    int droppedFrames() const { return dropped_; }

private:
    enum class State { Start, LongOpcode, LengthHigh, LengthLow, ShortOpcode, Body };

    void drop();

    State state_ = State::Start;
    SimRequest request_;
    int remaining_ = 0;  // bytes of body and checksum still to come
    unsigned sum_ = 0;
    int dropped_ = 0;
};

}  // namespace plugshift
