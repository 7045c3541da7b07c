#include "radio/tty_transmitter.h"

#include <algorithm>
#include <thread>

namespace plugshift {

namespace {

// How often a draining line is looked at, at the least.
constexpr auto kMinPoll = std::chrono::milliseconds(1);

}  // namespace

TtyTransmitter::TtyTransmitter(Queue* queue, Clock::duration statusPeriod)
    : queue_(queue), statusPeriod_(statusPeriod) {}

void TtyTransmitter::queued(uint32_t count) {
    lineFreeAt_ = std::max(lineFreeAt_, Clock::now()) + byteTime_ * count;
    frameBytes_ += count;
}

bool TtyTransmitter::finish(Clock::time_point deadline) {
    if (queue_ == nullptr) {
        // The other end already has every byte; a real line would still be carrying them.
        std::this_thread::sleep_until(std::min(lineFreeAt_, deadline));
        frameBytes_ = 0;
        return true;
    }
    return drainDevice(deadline);
}

bool TtyTransmitter::drainDevice(Clock::time_point deadline) {
    if (frameBytes_ == 0) {
        return true;  // nothing written since the line was last seen idle
    }
    std::optional<Clock::time_point> handedOver;  // when the kernel was first seen empty
    for (;;) {
        const auto now = Clock::now();
        std::optional<uint32_t> unsent;
        if (!handedOver) {
            unsent = queue_->unsent();
            if (!unsent || *unsent == 0) {
                handedOver = now;
            }
        }
        if (handedOver && adapterDone(*handedOver, lineFreeAt_)) {
            frameBytes_ = 0;
            return true;
        }
        if (now >= deadline) {
            cut();
            return false;
        }
        // Look again once the kernel's queue could have emptied, or once a status report
        // newer than the hand-over can have come.
        const auto next = handedOver
                              ? std::max({now + kMinPoll, lineFreeAt_, *handedOver + statusPeriod_})
                              : now + std::max<Clock::duration>(byteTime_ * *unsent, kMinPoll);
        std::this_thread::sleep_until(std::min(next, deadline));
    }
}

bool TtyTransmitter::adapterDone(Clock::time_point since, Clock::time_point floor) {
    const auto now = Clock::now();
    if (now < floor) {
        return false;  // no line carries bytes faster than its rate
    }
    const std::optional<bool> idle = queue_->adapterIdle();
    if (!idle) {
        return true;  // the line time is all there is to go by
    }
    // A report from before the adapter got the last bytes would say idle too early.
    return *idle && now >= since + statusPeriod_;
}

void TtyTransmitter::cut() {
    if (queue_ == nullptr) {
        return;
    }
    // What the adapter holds still goes out; the radio must see the frame end there.
    queue_->discardUnsent();
    cutAt_ = Clock::now();
    residueBytes_ = std::min(frameBytes_, kUnrecallableBytes);
    frameBytes_ = 0;
    lineFreeAt_ = *cutAt_;
}

void TtyTransmitter::awaitLineReady() {
    if (queue_ == nullptr || !cutAt_) {
        return;
    }
    const auto cut = *cutAt_;
    cutAt_.reset();
    // By then the residue has left even at the line rate, and a status report has said so.
    const auto residueGone = cut + byteTime_ * residueBytes_ + statusPeriod_;
    auto idleAt = residueGone;
    for (auto now = Clock::now(); now < residueGone; now = Clock::now()) {
        const std::optional<bool> idle = queue_->adapterIdle();
        if (!idle) {
            break;  // the residue's line time is all there is to go by
        }
        if (*idle && now >= cut + statusPeriod_) {
            idleAt = now;
            break;
        }
        std::this_thread::sleep_for(kMinPoll);
    }
    std::this_thread::sleep_until(idleAt + kFrameAbandonGap);
}

void TtyTransmitter::discarded() {
    lineFreeAt_ = std::min(lineFreeAt_, Clock::now());
}

}  // namespace plugshift
