#include "radio/frame_ring.h"

#include <algorithm>

namespace plugshift {

FrameRing::FrameRing() : slots_(kCapacity) {}

void FrameRing::record(const FrameEvent& event) {
    std::lock_guard guard(lock_);
    Slot& slot = slots_[recorded_ % kCapacity];
    slot.direction = event.direction;
    slot.time = event.time;
    slot.length = event.bytes.size();
    std::copy_n(event.bytes.begin(), std::min(event.bytes.size(), kBytesKept), slot.bytes.begin());
    ++recorded_;
}

void FrameRing::clear() {
    std::lock_guard guard(lock_);
    recorded_ = 0;
}

size_t FrameRing::size() const {
    std::lock_guard guard(lock_);
    return static_cast<size_t>(std::min<uint64_t>(recorded_, kCapacity));
}

uint64_t FrameRing::recorded() const {
    std::lock_guard guard(lock_);
    return recorded_;
}

std::vector<std::string> FrameRing::lines() const {
    std::lock_guard guard(lock_);
    const uint64_t held = std::min<uint64_t>(recorded_, kCapacity);
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(held));
    for (uint64_t n = recorded_ - held; n < recorded_; ++n) {
        const Slot& slot = slots_[n % kCapacity];
        const size_t kept = std::min(slot.length, kBytesKept);
        std::string line = formatFrameLine(
            FrameEvent{slot.direction, slot.time, std::span(slot.bytes).first(kept)});
        if (kept < slot.length) {
            line += " ... (" + std::to_string(slot.length) + " bytes)";
        }
        out.push_back(std::move(line));
    }
    return out;
}

}  // namespace plugshift
