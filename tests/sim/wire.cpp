#include "wire.h"

namespace plugshift::test {

namespace {

uint8_t checksum(std::span<const uint8_t> bytes) {
    unsigned sum = 0;
    for (uint8_t b : bytes) {
        sum += b;
    }
    return static_cast<uint8_t>(0xFF - (sum & 0xFF));
}

}  // namespace

std::vector<uint8_t> shortFrame(uint8_t opcode, std::vector<uint8_t> body) {
    std::vector<uint8_t> frame{static_cast<uint8_t>(0xF0 | (body.size() + 1)), opcode};
    frame.insert(frame.end(), body.begin(), body.end());
    frame.push_back(checksum(frame));
    return frame;
}

std::vector<uint8_t> longFrame(uint8_t opcode, std::vector<uint8_t> body) {
    const size_t length = body.size() + 1;
    std::vector<uint8_t> frame{0xFF, opcode, static_cast<uint8_t>(length >> 8),
                               static_cast<uint8_t>(length)};
    frame.insert(frame.end(), body.begin(), body.end());
    frame.push_back(checksum(frame));
    return frame;
}

std::optional<WireReply> parseReply(std::span<const uint8_t> bytes) {
    if (bytes.size() < 4 || bytes[0] != 0x50) {
        return std::nullopt;
    }
    const auto frame = bytes.subspan(1);
    size_t header = 0;
    size_t following = 0;
    if (frame[0] == 0xFF) {
        if (frame.size() < 5) {
            return std::nullopt;
        }
        header = 4;
        following = (size_t{frame[2]} << 8) | frame[3];
    } else if ((frame[0] & 0xF0) == 0xF0) {
        header = 2;
        following = frame[0] & 0x0F;
    } else {
        return std::nullopt;
    }
    if (following == 0 || frame.size() != header + following ||
        frame.back() != checksum(frame.first(frame.size() - 1))) {
        return std::nullopt;
    }
    WireReply reply;
    reply.opcode = frame[1];
    auto body = frame.subspan(header, following - 1);
    if (reply.opcode == 0x80 || reply.opcode == 0x84 || reply.opcode == 0x85) {
        if (body.size() < 4) {
            return std::nullopt;
        }
        reply.address = (uint32_t{body[0]} << 24) | (uint32_t{body[1]} << 16) |
                        (uint32_t{body[2]} << 8) | body[3];
        body = body.subspan(4);
    }
    reply.data.assign(body.begin(), body.end());
    return reply;
}

}  // namespace plugshift::test

namespace plugshift::test {

WireHost::WireHost(SimD2xx& d2xx, int index, uint32_t baud) : d2xx_(d2xx) {
    d2xx_.FT_Open(index, &handle_);
    d2xx_.FT_SetBaudRate(handle_, baud);
    d2xx_.FT_SetTimeouts(handle_, kReadTimeoutMs, 300);
}

WireHost::~WireHost() {
    d2xx_.FT_Close(handle_);
}

std::vector<uint8_t> WireHost::exchange(std::span<const uint8_t> frame) {
    d2xx_.FT_Purge(handle_, FT_PURGE_RX | FT_PURGE_TX);
    uint32_t written = 0;
    d2xx_.FT_Write(handle_, frame.data(), static_cast<uint32_t>(frame.size()), &written);
    std::vector<uint8_t> reply(8192);
    uint32_t received = 0;
    d2xx_.FT_Read(handle_, reply.data(), static_cast<uint32_t>(reply.size()), &received);
    reply.resize(received);
    return reply;
}

void WireHost::setBaud(uint32_t baud) {
    d2xx_.FT_SetBaudRate(handle_, baud);
}

}  // namespace plugshift::test
