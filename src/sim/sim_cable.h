#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string_view>

#include "sim/sim_clock.h"
#include "sim/sim_responder.h"
#include "sim/sim_timing.h"

namespace plugshift {

class SimFaults;
class SimRadio;

// The programming cable's switch: passing bytes to the radio (digital), repeating the host's
// bytes as well (echo), or something else that answers each byte with a wrong one.
enum class SimCableMode { Digital, Echo, Unsupported };

struct SimTimedByte {
    SimTime at;  // when the host can read it
    uint8_t value;
};

// The line between the host's adapter and the radio: the cable's mode, the rates at both ends,
// line time, latency, device time and the faults that strike on the line. The host's bytes go
// through the radio's receiver at the radio's rate, the replies come back at the rate the radio
// sent them and are read at the host's; bytes at mismatched rates arrive as garbage both ways.
class SimCable {
public:
    SimCable(SimRadio& radio, SimFaults& faults, SimCableMode mode = SimCableMode::Digital,
             const SimTiming& timing = {});

    static std::optional<SimCableMode> modeNamed(std::string_view name);
    static const char* modeName(SimCableMode mode);
    // Line time of one 8N1 byte.
    static SimTime byteTime(uint32_t baud);

    SimCableMode mode() const { return mode_; }
    void setMode(SimCableMode mode) { mode_ = mode; }
    const SimTiming& timing() const { return timing_; }
    void setTiming(const SimTiming& timing) { timing_ = timing; }

    // The host sends from `now` at its rate; returns how many bytes the cable carried, fewer
    // when it comes out on the way.
    size_t send(std::span<const uint8_t> bytes, uint32_t hostBaud, SimTime now);
    // How many of count bytes the host sending from `now` at its rate has on the line by
    // `deadline`.
    size_t fitsBefore(size_t count, uint32_t hostBaud, SimTime now, SimTime deadline) const;
    // Bytes on their way to the host, in time order.
    const std::deque<SimTimedByte>& pending() const { return pending_; }
    // Moves up to `max` bytes that have arrived by `until` into `out`.
    size_t take(uint8_t* out, size_t max, SimTime until);
    // The host's receive purge: what has arrived is dropped, what is still on the way is not.
    void discardArrived(SimTime now);

    // When the host's last byte has gone down the line.
    SimTime lineFree() const { return lineFree_; }
    bool pulled() const { return pulled_; }
    // The cable goes back in: nothing is in flight and bytes flow again. A pull still planned
    // in the faults strikes again at once, so clear it first.
    void plugIn();
    // Bytes each end has put on the line (the radio's lost replies included), for setting a
    // run's time against its wire time.
    uint64_t hostBytes() const { return hostBytes_; }
    uint64_t radioBytes() const { return radioBytes_; }
    // The radio's own time before its replies (erasing, programming, resetting), in total.
    SimTime deviceTime() const { return deviceTime_; }
    SimResponder& responder() { return responder_; }

private:
    // Time from one byte's start to the next's at a rate: the line time, or none unpaced.
    SimTime spacingAt(uint32_t baud) const;
    void queue(std::span<const uint8_t> bytes, SimTime first, SimTime spacing);
    void answer(std::span<const uint8_t> carried, uint32_t hostBaud, SimTime firstArrives);

    SimRadio& radio_;
    SimFaults& faults_;
    SimCableMode mode_;
    SimTiming timing_;
    SimResponder responder_;
    std::deque<SimTimedByte> pending_;
    SimTime lineFree_{0};   // host-to-radio direction busy until then
    SimTime radioFree_{0};  // the radio is answering until then
    uint64_t hostBytes_ = 0;
    uint64_t radioBytes_ = 0;
    SimTime deviceTime_{0};
    std::atomic<bool> pulled_ = false;
};

}  // namespace plugshift
