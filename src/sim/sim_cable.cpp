#include "sim/sim_cable.h"

#include <algorithm>
#include <array>

#include "sim/sim_faults.h"
#include "sim/sim_radio.h"
#include "sim/sim_uart.h"

namespace plugshift {

namespace {

constexpr int kBitsPerByte = 10;  // 8N1
// A reply cut after its opcode keeps the lead-in, the start byte and the opcode.
constexpr size_t kReplyHeadLength = 3;
constexpr std::array<const char*, 3> kModeNames = {"digital", "echo", "unsupported"};

}  // namespace

SimCable::SimCable(SimRadio& radio, SimFaults& faults, SimCableMode mode, const SimTiming& timing)
    : radio_(radio),
      faults_(faults),
      mode_(mode),
      timing_(timing),
      responder_(radio, faults, timing_) {}

std::optional<SimCableMode> SimCable::modeNamed(std::string_view name) {
    for (size_t i = 0; i < kModeNames.size(); ++i) {
        if (name == kModeNames[i]) {
            return static_cast<SimCableMode>(i);
        }
    }
    return std::nullopt;
}

const char* SimCable::modeName(SimCableMode mode) {
    return kModeNames[static_cast<size_t>(mode)];
}

SimTime SimCable::byteTime(uint32_t baud) {
    if (baud == 0) {
        return SimTime{0};  // a hung-up line carries nothing anyway
    }
    return SimTime{std::chrono::seconds(kBitsPerByte)} / baud;
}

SimTime SimCable::spacingAt(uint32_t baud) const {
    return timing_.pacing ? byteTime(baud) : SimTime{0};
}

size_t SimCable::fitsBefore(size_t count, uint32_t hostBaud, SimTime now, SimTime deadline) const {
    const SimTime spacing = spacingAt(hostBaud);
    const SimTime start = std::max(now, lineFree_);
    if (spacing == SimTime{0}) {
        return count;
    }
    if (deadline <= start) {
        return 0;
    }
    return std::min<size_t>(count, static_cast<size_t>((deadline - start) / spacing));
}

size_t SimCable::send(std::span<const uint8_t> bytes, uint32_t hostBaud, SimTime now) {
    if (pulled_) {
        return 0;
    }
    size_t count = bytes.size();
    bool pullNow = false;
    if (const auto after = faults_.pullAfter(); after && hostBytes_ + count >= *after) {
        count = static_cast<size_t>(std::max<uint64_t>(*after, hostBytes_) - hostBytes_);
        pullNow = true;
    }
    const auto carried = bytes.first(count);
    hostBytes_ += count;

    const SimTime spacing = spacingAt(hostBaud);
    const SimTime start = std::max(now, lineFree_);
    lineFree_ = start + spacing * static_cast<int64_t>(count);

    if (mode_ == SimCableMode::Unsupported) {
        std::vector<uint8_t> garbage;
        for (uint8_t b : carried) {
            garbage.push_back(faults_.garbage(b));
        }
        queue(garbage, start + spacing, spacing);
    } else {
        if (mode_ == SimCableMode::Echo) {
            queue(carried, start + spacing, spacing);
        }
        answer(carried, hostBaud, start + spacing);
    }
    if (pullNow) {
        pulled_ = true;
        pending_.clear();
    }
    return count;
}

void SimCable::answer(std::span<const uint8_t> carried, uint32_t hostBaud, SimTime firstArrives) {
    const auto received = SimUart::carry(carried, hostBaud, radio_.baud());
    for (SimOutgoing& out : responder_.receive(received, firstArrives, spacingAt(hostBaud))) {
        const SimFaults::ReplyFate fate = faults_.nextReply(out.request, out.wire.size());
        if (fate.corruptByte) {
            out.wire[*fate.corruptByte] ^= fate.corruptMask;
        }
        for (const auto& [index, value] : fate.damage) {
            out.wire[index] = value;
        }
        if (fate.cutAfterOpcode && out.wire.size() > kReplyHeadLength) {
            out.wire.resize(kReplyHeadLength);
        }
        const SimTime spacing = spacingAt(out.baud);
        const SimTime begin = std::max(out.requestEnd, radioFree_) + out.deviceTime + fate.delay;
        radioFree_ = begin + spacing * static_cast<int64_t>(out.wire.size());
        radioBytes_ += out.wire.size();
        deviceTime_ += out.deviceTime;
        if (fate.drop) {
            continue;
        }
        queue(SimUart::carry(out.wire, out.baud, hostBaud), begin + spacing, spacing);
    }
}

void SimCable::plugIn() {
    // Plugging back in takes far longer than the radio waits for the rest of a request.
    responder_.dropPartialRequest();
    pending_.clear();
    pulled_ = false;
}

void SimCable::queue(std::span<const uint8_t> bytes, SimTime first, SimTime spacing) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        const SimTime at = first + spacing * static_cast<int64_t>(i) + timing_.latency;
        // Keep time order; bytes due at the same moment stay in the order they were sent.
        const auto pos =
            std::upper_bound(pending_.begin(), pending_.end(), at,
                             [](SimTime t, const SimTimedByte& b) { return t < b.at; });
        pending_.insert(pos, SimTimedByte{at, bytes[i]});
    }
}

size_t SimCable::take(uint8_t* out, size_t max, SimTime until) {
    size_t taken = 0;
    while (taken < max && !pending_.empty() && pending_.front().at <= until) {
        out[taken++] = pending_.front().value;
        pending_.pop_front();
    }
    return taken;
}

void SimCable::discardArrived(SimTime now) {
    while (!pending_.empty() && pending_.front().at <= now) {
        pending_.pop_front();
    }
}

}  // namespace plugshift
