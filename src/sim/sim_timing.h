#pragma once

#include <chrono>

namespace plugshift {

// How long things take on a simulated radio and its cable. The defaults are an honest cable: the
// line's rate, an FTDI adapter's default latency timer and the times of NOR flash of the kind
// such radios carry (a 4 KiB sector erases in about 25 ms, 4 KiB program in about 30 ms: 2048
// word writes of some 10 us and the firmware's verify; a reset restarts the radio, which answers
// after about 400 ms). A test that wants instant exchanges says so.
struct SimTiming {
    static constexpr std::chrono::milliseconds kAdapterLatency{16};
    static constexpr std::chrono::milliseconds kEraseTime{25};
    static constexpr std::chrono::milliseconds kProgramTime{30};
    static constexpr std::chrono::milliseconds kResetTime{400};

    // No line time, latency or device time at all.
    static SimTiming instant() { return {false, {}, {}, {}, {}}; }

    // Bytes take their line time (10 bits each at the current rate: 5760 bytes/s at 57600), and
    // the radio takes a request only once its last byte has arrived.
    bool pacing = true;
    // Until the host sees a reply: an FTDI adapter's latency timer holds short packets 16 ms.
    std::chrono::microseconds latency{kAdapterLatency};
    // Device times before the radio answers.
    std::chrono::microseconds eraseTime{kEraseTime};      // per erase request (a sector or DYN)
    std::chrono::microseconds programTime{kProgramTime};  // per flash program request
    std::chrono::microseconds resetTime{kResetTime};      // per reset
};

}  // namespace plugshift
