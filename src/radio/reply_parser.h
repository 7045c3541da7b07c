#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace plugshift {

// The reply state machine: lead-in, long or short frame, optional address field, data and
// checksum, fed one byte at a time. It owns no I/O; the data bytes go straight into the caller's
// buffer and never past it.
//
// Refusals: as soon as the length is known the parser refuses, before taking any data byte, a
// reply that leaves no room before its checksum (short count 0 or 1, long length 1, and for the
// address-carrying opcodes any count below the address field plus checksum), a reply whose data
// would overrun the caller's buffer, and a reply that would overrun the receive capacity. Junk
// before the start byte counts against the receive capacity too, so a babbling line ends.
// A long length of 0 is accepted: the checksum follows at once.
class ReplyParser {
public:
    enum class Outcome {
        kPending,
        kComplete,
        kBadLeadIn,
        kBadChecksum,
        kNoRoom,
        kDataOverrun,
        kReceiveOverrun,
    };

    ReplyParser(std::span<uint8_t> replyData, size_t receiveCapacity);

    // Takes the next byte; a finished parser ignores further bytes.
    Outcome feed(uint8_t byte);

    Outcome outcome() const { return outcome_; }
    bool finished() const { return outcome_ != Outcome::kPending; }
    bool refused() const;
    // True until the reply has begun (the first byte after the lead-in that is not a start
    // byte, or the opcode): until then the caller waits with its waiting attempts.
    bool waiting() const { return waiting_; }

    // The opcode has arrived: the reply has begun and the rest follows at the line's rate.
    bool begun() const { return begun_; }
    // The frame's length is known: wanted() is then all that is left of it.
    bool sized() const {
        return state_ == State::kAddress || state_ == State::kData || state_ == State::kChecksum;
    }
    // Bytes the frame needs at least before it can finish; reading no more never takes a byte
    // of whatever follows it.
    size_t wanted() const;

    // 0 until the opcode arrives; kBadLeadIn after a wrong first byte.
    uint8_t opcode() const { return opcode_; }
    uint32_t address() const { return address_; }
    int count() const { return count_; }
    size_t consumed() const { return consumed_; }
    // The frame's own length (long) or count (short), and the data bytes it announces.
    int declaredLength() const { return declaredLength_; }
    int declaredData() const { return declaredData_; }

private:
    enum class State {
        kLeadIn,
        kStart,
        kLongOpcode,
        kLengthHigh,
        kLengthLow,
        kShortOpcode,
        kAddress,
        kData,
        kChecksum,
    };

    void step(uint8_t byte);
    void enterBody();
    void finish(Outcome outcome) { outcome_ = outcome; }

    std::span<uint8_t> replyData_;
    size_t capacity_;
    State state_ = State::kLeadIn;
    Outcome outcome_ = Outcome::kPending;
    bool waiting_ = true;
    bool begun_ = false;
    uint8_t opcode_ = 0;
    uint32_t address_ = 0;
    int addressBytes_ = 0;
    int count_ = 0;
    int remaining_ = 0;
    int declaredLength_ = 0;
    int declaredData_ = 0;
    uint8_t sum_ = 0;
    size_t consumed_ = 0;
};

}  // namespace plugshift
