#include "sim/sim_request_parser.h"

#include "sim/sim_protocol.h"

namespace plugshift {

std::optional<uint32_t> simRequestAddress(const SimRequest& request) {
    const auto& body = request.body;
    const bool addressed = request.opcode == simwire::kOpMemRead ||
                           request.opcode == simwire::kOpMemWrite ||
                           (request.opcode == simwire::kOpFlash && !body.empty() &&
                            body[0] != simwire::kFlashProtection);
    if (!addressed || body.size() < 4) {
        return std::nullopt;
    }
    return (uint32_t{body[1]} << 16) | (uint32_t{body[2]} << 8) | body[3];
}

std::optional<SimRequest> SimRequestParser::feed(uint8_t byte) {
    switch (state_) {
        case State::Start:
            request_ = SimRequest{};
            sum_ = byte;
            if (byte == simwire::kLongStart) {
                request_.longFrame = true;
                state_ = State::LongOpcode;
            } else if ((byte & 0xF0) == simwire::kShortStartHigh && (byte & 0x0F) != 0) {
                // F0 would leave no room for the checksum: noise, not a frame.
                remaining_ = byte & 0x0F;
                state_ = State::ShortOpcode;
            }
            return std::nullopt;
        case State::LongOpcode:
            request_.opcode = byte;
            sum_ += byte;
            state_ = State::LengthHigh;
            return std::nullopt;
        case State::LengthHigh:
            remaining_ = byte << 8;
            sum_ += byte;
            state_ = State::LengthLow;
            return std::nullopt;
        case State::LengthLow:
            remaining_ += byte;
            sum_ += byte;
            if (remaining_ == 0 || remaining_ > kMaxLength) {
                drop();
            } else {
                request_.body.reserve(static_cast<size_t>(remaining_ - 1));
                state_ = State::Body;
            }
            return std::nullopt;
        case State::ShortOpcode:
            request_.opcode = byte;
            sum_ += byte;
            state_ = State::Body;
            return std::nullopt;
        case State::Body:
            if (remaining_ > 1) {
                request_.body.push_back(byte);
                sum_ += byte;
                --remaining_;
                return std::nullopt;
            }
            state_ = State::Start;
            if (byte != static_cast<uint8_t>(0xFF - (sum_ & 0xFF))) {
                ++dropped_;
                return std::nullopt;
            }
            return std::move(request_);
    }
    return std::nullopt;
}

void SimRequestParser::reset() {
    if (state_ != State::Start) {
        drop();
    }
}

void SimRequestParser::drop() {
    ++dropped_;
    state_ = State::Start;
}

}  // namespace plugshift
