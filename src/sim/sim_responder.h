#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "sim/sim_clock.h"
#include "sim/sim_reply.h"
#include "sim/sim_request_parser.h"
#include "sim/sim_timing.h"

namespace plugshift {

class SimFaults;
class SimRadio;

// Why the radio refused a request (it does not say on the wire; traces and tests ask).
enum class SimRefusal : uint8_t {
    UnknownRequest = 1,
    BadRequest = 2,  // wrong length or value
    BadAddress = 3,
    WrongMode = 4,  // needs a test mode (or the FLASH test mode)
    Protected = 5,  // the default block is locked
    EraseFailed = 6,
    Injected = 7,  // a planned fault
};

// The flash requests the radio was sent, so a test can tell where a host erased.
struct SimFlashActivity {
    // By flash address, refused requests included (an erase aimed outside the default block is
    // the fault to see, whether or not this radio would carry it out).
    std::map<uint32_t, int> sectorErases;
    std::map<uint32_t, int> dynamicErases;
    int programs = 0;  // program requests carried out
};

// A reply on its way out, with the rate the radio sends it at and its time to answer.
struct SimOutgoing {
    std::vector<uint8_t> wire;
    uint32_t baud = 0;
    std::chrono::nanoseconds deviceTime{0};
    SimTime requestEnd{0};  // when the request's last byte arrived
    SimRequest request;     // what it answers
};

// The radio's firmware on the serial line: parses requests, acts on the radio and answers.
class SimResponder {
public:
    // A partial frame followed by this much silence is abandoned.
    static constexpr std::chrono::milliseconds kInterByteTimeout{10};

    // Sees each request with its answer, and why it was refused if it was.
    using Observer =
        std::function<void(const SimRequest&, const SimReply&, std::optional<SimRefusal>)>;

    static const char* refusalName(SimRefusal why);

    SimResponder(SimRadio& radio, SimFaults& faults, const SimTiming& timing);

    // Bytes as the radio's receiver decoded them, the first arriving at `first` and each next one
    // `spacing` later; the replies in order, each timed from its request's last byte.
    std::vector<SimOutgoing> receive(std::span<const uint8_t> bytes, SimTime first,
                                     SimTime spacing);
    // The answer to one request (refusals included) and the time the radio takes to give it.
    SimReply answer(const SimRequest& request, std::chrono::nanoseconds& deviceTime);

    const SimRequestParser& parser() const { return parser_; }
    // The line went dead (a pulled cable): half a request is dropped.
    void dropPartialRequest() { parser_.reset(); }
    // Why the last request was refused; nothing when it was answered.
    std::optional<SimRefusal> lastRefusal() const { return lastRefusal_; }
    void setObserver(Observer observer) { observer_ = std::move(observer); }
    const SimFlashActivity& flashActivity() const { return activity_; }

private:
    SimReply refuse(const SimRequest& request, SimRefusal why);
    SimReply dispatch(const SimRequest& request, std::chrono::nanoseconds& deviceTime);
    SimReply memRead(const SimRequest& request);
    SimReply memWrite(const SimRequest& request);
    SimReply reset(const SimRequest& request, std::chrono::nanoseconds& deviceTime);
    SimReply testMode(const SimRequest& request);
    SimReply softpotWrite(const SimRequest& request);
    SimReply softpotRead(const SimRequest& request);
    SimReply radioItem(const SimRequest& request);
    SimReply updateSerial(const SimRequest& request);
    SimReply flash(const SimRequest& request, std::chrono::nanoseconds& deviceTime);
    SimReply contact(const SimRequest& request);
    SimReply queryFlashMode(const SimRequest& request);

    SimRadio& radio_;
    SimFaults& faults_;
    const SimTiming& timing_;
    SimRequestParser parser_;
    SimTime lastByte_{0};
    std::optional<SimRefusal> lastRefusal_;
    Observer observer_;
    SimFlashActivity activity_;
};

}  // namespace plugshift
