#include "radio/reply_parser.h"

#include "radio/sbep_protocol.h"

namespace plugshift {

using namespace sbep;

ReplyParser::ReplyParser(std::span<uint8_t> replyData, size_t receiveCapacity)
    : replyData_(replyData), capacity_(receiveCapacity) {}

bool ReplyParser::refused() const {
    return outcome_ == Outcome::kNoRoom || outcome_ == Outcome::kDataOverrun ||
           outcome_ == Outcome::kReceiveOverrun;
}

size_t ReplyParser::wanted() const {
    if (finished()) {
        return 0;
    }
    const bool inBody = state_ == State::kAddress || state_ == State::kData;
    return inBody ? static_cast<size_t>(remaining_) : 1;
}

ReplyParser::Outcome ReplyParser::feed(uint8_t byte) {
    if (finished()) {
        return outcome_;
    }
    ++consumed_;
    step(byte);
    if (!finished() && consumed_ >= capacity_) {
        finish(Outcome::kReceiveOverrun);
    }
    return outcome_;
}

void ReplyParser::step(uint8_t byte) {
    // The sum covers the start byte and everything after it up to the checksum.
    if (state_ != State::kLeadIn && state_ != State::kChecksum) {
        sum_ = static_cast<uint8_t>(sum_ + byte);
    }
    switch (state_) {
        case State::kLeadIn:
            if (byte != kLeadIn) {
                opcode_ = kBadLeadIn;
                finish(Outcome::kBadLeadIn);
                return;
            }
            state_ = State::kStart;
            return;
        case State::kStart:
            if (byte == kLongStart) {
                sum_ = byte;
                state_ = State::kLongOpcode;
            } else if ((byte & ~kNibbleMask) == kShortMark) {
                sum_ = byte;
                remaining_ = byte & kNibbleMask;
                state_ = State::kShortOpcode;
            } else {
                waiting_ = false;  // skipped; the sum restarts at the start byte
            }
            return;
        case State::kLongOpcode:
            opcode_ = byte;
            waiting_ = false;
            begun_ = true;
            state_ = State::kLengthHigh;
            return;
        case State::kLengthHigh:
            remaining_ = byte << 8;
            state_ = State::kLengthLow;
            return;
        case State::kLengthLow:
            remaining_ += byte;
            if (remaining_ == 0) {
                state_ = State::kChecksum;
                return;
            }
            enterBody();
            return;
        case State::kShortOpcode:
            opcode_ = byte;
            waiting_ = false;
            begun_ = true;
            enterBody();
            return;
        case State::kAddress:
            address_ |= static_cast<uint32_t>(byte)
                        << (8 * (kAddressFieldSize - 1 - addressBytes_));
            ++addressBytes_;
            --remaining_;
            if (addressBytes_ == kAddressFieldSize) {
                state_ = remaining_ == 1 ? State::kChecksum : State::kData;
            }
            return;
        case State::kData:
            --remaining_;
            replyData_[static_cast<size_t>(count_++)] = byte;
            if (remaining_ == 1) {
                state_ = State::kChecksum;
            }
            return;
        case State::kChecksum:
            finish(byte == static_cast<uint8_t>(0xFF - sum_) ? Outcome::kComplete
                                                             : Outcome::kBadChecksum);
            return;
    }
}

void ReplyParser::enterBody() {
    const bool addressed = carriesAddress(opcode_);
    const int overhead = 1 + (addressed ? kAddressFieldSize : 0);
    // Without an address field at least one data byte must precede the checksum.
    const int minimum = addressed ? overhead : overhead + 1;
    declaredLength_ = remaining_;
    declaredData_ = remaining_ - overhead;
    if (remaining_ < minimum) {
        finish(Outcome::kNoRoom);
    } else if (consumed_ + static_cast<size_t>(remaining_) > capacity_) {
        finish(Outcome::kReceiveOverrun);
    } else if (static_cast<size_t>(declaredData_) > replyData_.size()) {
        finish(Outcome::kDataOverrun);
    } else {
        state_ = addressed ? State::kAddress : State::kData;
    }
}

}  // namespace plugshift
