#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "radio/d2xx.h"

namespace plugshift {

// When the bytes written to a serial line have left it, with every wait bounded: a line that
// stops moving bytes must never hold the program. On a device, bytes the adapter already holds
// cannot be called back, so a frame cut at its deadline is lost as a whole and the next one goes
// out only after the radio has given the cut one up. On a pseudo-terminal the other end has
// every byte at once, and only their line time is waited out.
class TtyTransmitter {
public:
    using Clock = std::chrono::steady_clock;

    // What a device's driver tells about the bytes on their way out.
    class Queue {
    public:
        virtual ~Queue() = default;
        // Bytes the kernel still holds; nothing when it cannot say.
        virtual std::optional<uint32_t> unsent() = 0;
        // Whether the adapter has sent its last byte, as of its latest status report; nothing
        // when the driver cannot say.
        virtual std::optional<bool> adapterIdle() = 0;
        // Drops the bytes the kernel still holds; those in the adapter go on regardless.
        virtual void discardUnsent() = 0;
    };

    // queue is nullptr for a pseudo-terminal. statusPeriod is how often the adapter reports
    // whether it is idle (its latency timer), so a report older than a write is never trusted.
    TtyTransmitter(Queue* queue, Clock::duration statusPeriod);

    // The line time of one character at the line's current rate and framing.
    void setByteTime(Clock::duration byteTime) { byteTime_ = byteTime; }
    // Bytes handed to the kernel just now; they leave after those still on their way.
    void queued(uint32_t count);
    // Waits until every byte queued has left, or until the deadline. On a device that is not
    // done by then the kernel's bytes are dropped and false is returned: the frame is lost whole.
    // A pseudo-terminal is always done.
    bool finish(Clock::time_point deadline);
    // Gives up the frame being written on a device: the kernel's bytes are dropped, and the
    // next frame waits for what the adapter still sends. Nothing on a pseudo-terminal.
    void cut();
    // Before a new frame: after a cut frame, waits until the adapter has sent what could not be
    // called back and the radio has abandoned it (bounded by that residue's line time).
    void awaitLineReady();
    // The bytes the kernel held were dropped by a purge.
    void discarded();
    // When the last byte queued leaves at the line rate.
    Clock::time_point lineFreeAt() const { return lineFreeAt_; }
    // A pseudo-terminal's other end has every byte written, so none is ever lost.
    bool isPseudoTerminal() const { return queue_ == nullptr; }

private:
    bool drainDevice(Clock::time_point deadline);
    // Whether a fresh status report (taken at least a status period after since) says the
    // adapter is idle; an unknown answer counts as idle from floor on.
    bool adapterDone(Clock::time_point since, Clock::time_point floor);

    Queue* queue_;
    Clock::duration statusPeriod_;
    Clock::duration byteTime_{};
    // When the last byte queued leaves at the line rate: the earliest it can have left.
    Clock::time_point lineFreeAt_{};
    // After a cut frame: when its residue was cut off, and how many bytes it may have left.
    std::optional<Clock::time_point> cutAt_;
    uint32_t residueBytes_ = 0;
    uint32_t frameBytes_ = 0;  // queued since the line was last known to be idle
};

}  // namespace plugshift
