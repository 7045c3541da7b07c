#include "sim/sim_uart.h"

#include <algorithm>

namespace plugshift {

namespace {

constexpr int kBitsPerFrame = 10;  // start, 8 data bits, stop
constexpr int kOversampling = 16;

}  // namespace

std::vector<uint8_t> SimUart::carry(std::span<const uint8_t> bytes, uint32_t senderBaud,
                                    uint32_t receiverBaud) {
    if (senderBaud == receiverBaud || senderBaud == 0 || receiverBaud == 0) {
        return {bytes.begin(), bytes.end()};
    }
    // Line levels at the sender's rate; beyond the end the line idles high.
    std::vector<bool> line;
    line.reserve(bytes.size() * kBitsPerFrame);
    for (uint8_t b : bytes) {
        line.push_back(false);
        for (int bit = 0; bit < 8; ++bit) {
            line.push_back(((b >> bit) & 1) != 0);
        }
        line.push_back(true);
    }
    // Integer time: one tick is 1 / (2 * S * R) s, so a sender bit lasts 2R ticks and a receiver
    // bit 2S ticks, and every sampling point below is a whole number of ticks.
    const uint64_t senderBit = 2ull * receiverBaud;
    const uint64_t receiverBit = 2ull * senderBaud;
    const uint64_t end = line.size() * senderBit;
    const uint64_t step = std::max<uint64_t>(1, receiverBit / kOversampling);
    auto high = [&](uint64_t t) {
        const uint64_t i = t / senderBit;
        return i >= line.size() || line[i];
    };

    std::vector<uint8_t> out;
    bool waitForIdle = false;  // after a framing error the line must go high first
    for (uint64_t t = 0; t < end;) {
        if (waitForIdle) {
            waitForIdle = !high(t);
            t += step;
            continue;
        }
        if (high(t) || high(t + receiverBit / 2)) {
            t += step;  // idle, or a glitch shorter than half a bit
            continue;
        }
        uint8_t value = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if (high(t + receiverBit * static_cast<uint64_t>(2 * bit + 3) / 2)) {
                value |= static_cast<uint8_t>(1u << bit);
            }
        }
        const uint64_t stopSample = t + receiverBit * 19 / 2;
        const bool framed = high(stopSample);
        out.push_back(framed ? value : 0);
        waitForIdle = !framed;
        t = stopSample;
    }
    return out;
}

}  // namespace plugshift
