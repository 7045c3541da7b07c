#pragma once

#include <chrono>

namespace plugshift {

// How long things take on a simulated radio. Zero everywhere by default: instant and exact.
struct SimTiming {
    // Bytes take their line time (10 bits each at the current rate: 5760 bytes/s at 57600).
    bool pacing = false;
    // Until the host sees a reply: an FTDI adapter's latency timer holds short packets 16 ms.
    std::chrono::microseconds latency{0};
    // Device times before the radio answers.
    std::chrono::microseconds eraseTime{0};    // per erase request (a sector or the DYN block)
    std::chrono::microseconds programTime{0};  // per flash program request
    std::chrono::microseconds resetTime{0};    // per reset
};

}  // namespace plugshift
