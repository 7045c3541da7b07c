#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_request_parser.h"

namespace plugshift {

enum class SimFaultKind {
    DropReply,            // the n-th reply is lost on the line (the request took effect)
    CorruptReply,         // one bit of the n-th reply flips
    DelayReply,           // the n-th reply comes late by some milliseconds
    RefuseOpcode,         // requests with the opcode (or like a given one) are refused
    WrongOpcode,          // replies to the opcode carry another opcode
    PullCable,            // the cable comes out after the host has sent k bytes
    FailErase,            // erasing the sector at an address fails
    CorruptDefaultBlock,  // hard resets report a corrupted default block
    ResetStatus,          // resets of one type report extra status bits
    CutReply,             // the n-th reply stops after its opcode; the rest never comes
    DamageReply,          // one byte of the n-th reply is replaced by a chosen one
};

// Requests like this one: an opcode, and if given the first body byte (the sub-request, item or
// type), the 24-bit address of a memory or flash request, and which of them (1-based; 0: all).
// Written OPCODE[/SUB][@ADDRESS][#K], numbers decimal or 0x-prefixed.
struct SimRequestMatch {
    uint8_t opcode = 0;
    std::optional<uint8_t> sub;
    std::optional<uint32_t> address;
    uint32_t occurrence = 0;
    bool operator==(const SimRequestMatch&) const = default;

    static std::optional<SimRequestMatch> parse(std::string_view text);
    std::string format() const;
    // Like it, counting aside.
    bool alike(const SimRequest& request) const;
};

// One fault: `at`, `value` and `extra` mean what the kind's catalogue syntax names them. A reply
// fault aimed at a request instead of a reply number, and a refusal of requests like a given
// one, carry the request.
struct SimFault {
    // Brace lists name the leading fields only, as most faults need no more.
    SimFault(SimFaultKind kind = SimFaultKind::DropReply, uint32_t at = 0, uint32_t value = 0,
             uint32_t extra = 0, std::optional<SimRequestMatch> request = std::nullopt)
        : kind(kind), at(at), value(value), extra(extra), request(request) {}

    SimFaultKind kind;
    uint32_t at;
    uint32_t value;
    uint32_t extra;
    std::optional<SimRequestMatch> request;
    bool operator==(const SimFault&) const = default;
};

struct SimFaultInfo {
    SimFaultKind kind;
    const char* name;    // as written on the command line
    const char* syntax;  // its parameters
    const char* description;
    int minParams;
    int maxParams;
};

// The faults planned for one radio and the counters that decide when they strike. All choices
// (which byte a corruption flips, the garbage of an unsupported cable, a random plan) come from
// one generator seeded at construction, so a run repeats exactly.
class SimFaults {
public:
    struct ReplyFate {
        bool drop = false;
        std::optional<size_t> corruptByte;  // index into the reply's wire bytes
        uint8_t corruptMask = 0;
        std::chrono::milliseconds delay{0};
        bool cutAfterOpcode = false;
        std::vector<std::pair<size_t, uint8_t>> damage;  // wire index, new byte
    };

    // Every kind with its syntax, for option help and for soak tests that pick at random.
    static std::span<const SimFaultInfo> catalogue();
    static const SimFaultInfo& info(SimFaultKind kind);
    // How REPLY and REQUEST in the catalogue's syntax are written.
    static std::string_view aimHelp();
    // "name[:param[:param]]" with decimal or 0x-prefixed numbers; nothing on a syntax error.
    static std::optional<SimFault> parse(std::string_view text);
    static std::string format(const SimFault& fault);
    // A fault of the kind with parameters that strike within a conversion of a radio of the
    // flash type.
    static SimFault random(SimFaultKind kind, std::mt19937_64& generator, int flashType);
    static std::vector<SimFault> randomPlan(uint64_t seed, int count, int flashType);

    explicit SimFaults(uint64_t seed = 1);

    void add(const SimFault& fault);
    void clear();
    const std::vector<SimFault>& plan() const { return plan_; }

    // Counts the reply (1-based) to the request and says what happens to it on the line.
    ReplyFate nextReply(const SimRequest& request, size_t wireLength);
    // Counts the request against the refusals planned for it.
    bool refuses(const SimRequest& request);
    // The opcode the reply to this request carries instead of `replyOpcode`, if any.
    std::optional<uint8_t> wrongOpcode(uint8_t requestOpcode, uint8_t replyOpcode);
    // Host bytes the cable carries before it comes out.
    std::optional<uint64_t> pullAfter() const;
    bool failsErase(uint32_t flashAddress);
    uint16_t resetStatusBits(uint8_t resetType) const;
    // A byte that is not `sent`: what an unsupported cable answers.
    uint8_t garbage(uint8_t sent);

private:
    bool strikes(size_t index);
    // Whether the planned fault is aimed at this request (or, without one, at this reply).
    bool aimedAt(size_t index, const SimRequest& request);

    std::vector<SimFault> plan_;
    std::vector<uint32_t> struck_;  // parallel to plan_
    std::vector<uint32_t> seen_;    // requests like the fault's, parallel to plan_
    uint64_t replies_ = 0;
    std::mt19937_64 generator_;
};

}  // namespace plugshift
