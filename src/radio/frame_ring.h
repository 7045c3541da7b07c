#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "radio/frame_event.h"

namespace plugshift {

// The last kCapacity frames the SBEP engine saw, kept so that a failure can be reported with its
// wire traffic without a rerun. Recording copies at most kBytesKept bytes into a slot allocated
// once, so the memory is fixed and nothing is formatted until the lines are asked for.
class FrameRing {
public:
    static constexpr size_t kCapacity = 512;
    // Every request and reply fits whole except flash and large memory writes, whose head (opcode,
    // length, address) is what a reader needs.
    static constexpr size_t kBytesKept = 256;

    FrameRing();
    FrameRing(const FrameRing&) = delete;
    FrameRing& operator=(const FrameRing&) = delete;

    // Keeps the frame, dropping the oldest when the ring is full.
    void record(const FrameEvent& event);
    void clear();

    // Frames held (at most kCapacity), and frames recorded since the last clear.
    size_t size() const;
    uint64_t recorded() const;
    // The frames held, oldest first, as formatFrameLine writes them; a frame longer than
    // kBytesKept shows its first bytes followed by " ... (N bytes)".
    std::vector<std::string> lines() const;

private:
    struct Slot {
        FrameDirection direction = FrameDirection::kSent;
        std::chrono::system_clock::time_point time;
        size_t length = 0;  // the whole frame's; at most kBytesKept of it are kept
        std::array<uint8_t, kBytesKept> bytes{};
    };

    mutable std::mutex lock_;  // the worker records, the window thread reads after a failure
    std::vector<Slot> slots_;
    uint64_t recorded_ = 0;
};

}  // namespace plugshift
