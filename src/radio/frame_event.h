#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace plugshift {

enum class FrameDirection { kSent, kReceived };

// One frame on the wire as the SBEP engine saw it. bytes is valid only during the callback.
// A received event with no bytes means nothing arrived before the reply time-out.
struct FrameEvent {
    FrameDirection direction;
    std::chrono::system_clock::time_point time;
    std::span<const uint8_t> bytes;
};

using FrameObserver = std::function<void(const FrameEvent&)>;

// One trace line: local time to the millisecond, TX or RX, the bytes in hex, e.g.
// "12:34:56.789 TX FF 11 00 05 10 01 02 03 D4" or "12:34:57.290 RX (nothing)".
std::string formatFrameLine(const FrameEvent& event);

}  // namespace plugshift
