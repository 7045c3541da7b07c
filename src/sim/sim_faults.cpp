#include "sim/sim_faults.h"

#include <array>
#include <cstdio>
#include <cstdlib>

#include "sim/sim_flash.h"
#include "sim/sim_protocol.h"

namespace plugshift {

namespace {

// REPLY: N, the N-th reply counting from 1, or a request (see SimRequestMatch) whose reply it is.
constexpr std::array<SimFaultInfo, 11> kCatalogue = {{
    {SimFaultKind::DropReply, "drop", "REPLY", "the reply is lost on the line", 1, 1},
    {SimFaultKind::CorruptReply, "corrupt", "REPLY", "one bit of the reply flips", 1, 1},
    {SimFaultKind::DelayReply, "delay", "REPLY:MS",
     "the reply comes MS milliseconds late (and the replies after it wait for it)", 2, 2},
    {SimFaultKind::RefuseOpcode, "refuse", "REQUEST[:TIMES]",
     "requests with the opcode, or like REQUEST, are refused (the first TIMES of them; 0 or "
     "none: all)",
     1, 2},
    {SimFaultKind::WrongOpcode, "wrong-opcode", "OPCODE[:TIMES]",
     "replies to OPCODE carry another opcode (the first TIMES of them; 0 or none: all)", 1, 2},
    {SimFaultKind::PullCable, "pull", "K", "the cable comes out after the host has sent K bytes", 1,
     1},
    {SimFaultKind::FailErase, "fail-erase", "ADDRESS[:TIMES]",
     "erasing the default-block sector at flash ADDRESS fails (TIMES times; 0 or none: always)", 1,
     2},
    {SimFaultKind::CorruptDefaultBlock, "corrupt-default", "",
     "hard resets report a corrupted default block (status bit 0x80)", 0, 0},
    {SimFaultKind::ResetStatus, "reset-status", "TYPE:BITS",
     "resets of TYPE (0 soft, 1 hard) report BITS in their status word", 2, 2},
    {SimFaultKind::CutReply, "cut", "REPLY",
     "the reply stops after its opcode byte; the rest never comes", 1, 1},
    {SimFaultKind::DamageReply, "damage", "REPLY:INDEX:VALUE",
     "byte INDEX of the reply on the wire (0 is the lead-in) becomes VALUE", 3, 3},
}};

// How the catalogue's REPLY and REQUEST read, for the help.
constexpr const char* kAimHelp =
    "REPLY is N, the N-th reply from 1, or REQUEST: the reply to it.\n"
    "REQUEST is OPCODE[/SUB][@ADDRESS][#K]: requests with OPCODE, SUB their first byte (the\n"
    "sub-request, item or type), ADDRESS the flash or memory address they name, and of these the\n"
    "K-th only (from 1; without #K every one). A plain number as REQUEST is an opcode.\n"
    "Example: delay:0x72/1@0x88000#1:1000 makes the first 4 KiB program at 0x88000 answer a\n"
    "second late.";

// Requests a fault can be aimed at: every opcode the radio answers.
constexpr std::array<uint8_t, 11> kRequestOpcodes = {
    simwire::kOpReset,        simwire::kOpMemRead,        simwire::kOpMemWrite,
    simwire::kOpUpdateSerial, simwire::kOpSoftpotRead,    simwire::kOpTestMode,
    simwire::kOpRadioItem,    simwire::kOpQueryFlashMode, simwire::kOpSoftpotWrite,
    simwire::kOpFlash,        simwire::kOpContact,
};
constexpr std::array<uint16_t, 4> kStatusBits = {0x0002, simwire::kStatusFactoryIntact,
                                                 simwire::kStatusDefaultBlank,
                                                 simwire::kStatusDefaultVerify};

// A conversion exchanges a few hundred frames and some 70 000 host bytes: random faults land
// inside that.
constexpr uint32_t kRandomReplies = 60;
constexpr uint32_t kRandomHostBytes = 80000;
// Up to past a host's wait and its quiet before a resend together, where a late reply lands in
// the resend's wait.
constexpr uint32_t kRandomDelayMs = 4000;
constexpr uint32_t kRandomTimes = 3;
// A damaged byte falls in the frame's head or first data bytes, where the host looks.
constexpr uint32_t kRandomDamageIndex = 8;
// One random reply fault or refusal in this many is aimed at a request instead.
constexpr uint32_t kRandomAimedShare = 3;

std::optional<uint32_t> number(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    const std::string copy(text);
    char* end = nullptr;
    const unsigned long long value = std::strtoull(copy.c_str(), &end, 0);
    if (*end != '\0' || copy[0] == '-' || value > UINT32_MAX) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

uint32_t pick(std::mt19937_64& generator, uint32_t below) {
    return static_cast<uint32_t>(generator() % below);
}

bool aimsAtReply(SimFaultKind kind) {
    switch (kind) {
        case SimFaultKind::DropReply:
        case SimFaultKind::CorruptReply:
        case SimFaultKind::DelayReply:
        case SimFaultKind::CutReply:
        case SimFaultKind::DamageReply:
            return true;
        default:
            return false;
    }
}

// A REPLY or REQUEST written as a request rather than a number.
bool namesRequest(std::string_view text) {
    return text.find_first_of("/@#") != std::string_view::npos;
}

bool valid(const SimFault& f) {
    if (aimsAtReply(f.kind)) {
        return (f.at >= 1 || f.request) && (f.kind != SimFaultKind::DamageReply || f.extra <= 0xFF);
    }
    switch (f.kind) {
        case SimFaultKind::RefuseOpcode:
        case SimFaultKind::WrongOpcode:
            return f.at <= 0xFF;
        case SimFaultKind::ResetStatus:
            return f.at <= 1 && f.value <= 0xFFFF;
        default:
            return true;
    }
}

std::string hexNumber(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%X", value);
    return buffer;
}

}  // namespace

std::span<const SimFaultInfo> SimFaults::catalogue() {
    return kCatalogue;
}

const SimFaultInfo& SimFaults::info(SimFaultKind kind) {
    return kCatalogue[static_cast<size_t>(kind)];
}

std::string_view SimFaults::aimHelp() {
    return kAimHelp;
}

std::optional<SimRequestMatch> SimRequestMatch::parse(std::string_view text) {
    SimRequestMatch match;
    if (const size_t hash = text.rfind('#'); hash != std::string_view::npos) {
        const auto k = number(text.substr(hash + 1));
        if (!k || *k == 0) {
            return std::nullopt;
        }
        match.occurrence = *k;
        text = text.substr(0, hash);
    }
    if (const size_t at = text.find('@'); at != std::string_view::npos) {
        const auto address = number(text.substr(at + 1));
        if (!address || *address > 0xFFFFFF) {
            return std::nullopt;
        }
        match.address = address;
        text = text.substr(0, at);
    }
    if (const size_t slash = text.find('/'); slash != std::string_view::npos) {
        const auto sub = number(text.substr(slash + 1));
        if (!sub || *sub > 0xFF) {
            return std::nullopt;
        }
        match.sub = static_cast<uint8_t>(*sub);
        text = text.substr(0, slash);
    }
    const auto opcode = number(text);
    if (!opcode || *opcode > 0xFF) {
        return std::nullopt;
    }
    match.opcode = static_cast<uint8_t>(*opcode);
    return match;
}

std::string SimRequestMatch::format() const {
    std::string text = hexNumber(opcode);
    if (sub) {
        text += "/" + hexNumber(*sub);
    }
    if (address) {
        text += "@" + hexNumber(*address);
    }
    if (occurrence != 0) {
        text += "#" + std::to_string(occurrence);
    }
    return text;
}

bool SimRequestMatch::alike(const SimRequest& request) const {
    return request.opcode == opcode &&
           (!sub || (!request.body.empty() && request.body[0] == *sub)) &&
           (!address || simRequestAddress(request) == address);
}

std::optional<SimFault> SimFaults::parse(std::string_view text) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        const size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon - start));
        if (colon == std::string_view::npos) {
            break;
        }
        start = colon + 1;
    }
    for (const SimFaultInfo& entry : kCatalogue) {
        if (parts[0] != entry.name) {
            continue;
        }
        const int params = static_cast<int>(parts.size()) - 1;
        if (params < entry.minParams || params > entry.maxParams) {
            return std::nullopt;
        }
        SimFault fault{entry.kind, 0, 0, 0, std::nullopt};
        const bool aimable = aimsAtReply(entry.kind) || entry.kind == SimFaultKind::RefuseOpcode;
        int first = 0;
        if (params > 0 && aimable && namesRequest(parts[1])) {
            fault.request = SimRequestMatch::parse(parts[1]);
            if (!fault.request) {
                return std::nullopt;
            }
            fault.at = aimsAtReply(entry.kind) ? 0 : fault.request->opcode;
            first = 1;
        }
        uint32_t* fields[] = {&fault.at, &fault.value, &fault.extra};
        for (int i = first; i < params; ++i) {
            const auto value = number(parts[static_cast<size_t>(i) + 1]);
            if (!value) {
                return std::nullopt;
            }
            *fields[i] = *value;
        }
        return valid(fault) ? std::optional(fault) : std::nullopt;
    }
    return std::nullopt;
}

std::string SimFaults::format(const SimFault& fault) {
    const SimFaultInfo& entry = info(fault.kind);
    std::string text = entry.name;
    const std::string aim = fault.request ? fault.request->format() : "";
    switch (fault.kind) {
        case SimFaultKind::DropReply:
        case SimFaultKind::CorruptReply:
        case SimFaultKind::CutReply:
            text += ":" + (fault.request ? aim : std::to_string(fault.at));
            break;
        case SimFaultKind::PullCable:
            text += ":" + std::to_string(fault.at);
            break;
        case SimFaultKind::DelayReply:
            text += ":" + (fault.request ? aim : std::to_string(fault.at)) + ":" +
                    std::to_string(fault.value);
            break;
        case SimFaultKind::DamageReply:
            text += ":" + (fault.request ? aim : std::to_string(fault.at)) + ":" +
                    std::to_string(fault.value) + ":" + hexNumber(fault.extra);
            break;
        case SimFaultKind::RefuseOpcode:
        case SimFaultKind::WrongOpcode:
        case SimFaultKind::FailErase:
            text += ":" + (fault.request ? aim : hexNumber(fault.at));
            if (fault.value != 0) {
                text += ":" + std::to_string(fault.value);
            }
            break;
        case SimFaultKind::CorruptDefaultBlock:
            break;
        case SimFaultKind::ResetStatus:
            text += ":" + std::to_string(fault.at) + ":" + hexNumber(fault.value);
            break;
    }
    return text;
}

SimFault SimFaults::random(SimFaultKind kind, std::mt19937_64& generator, int flashType) {
    SimFault fault{kind, 0, 0, 0, std::nullopt};
    const auto randomRequest = [&generator] {
        SimRequestMatch match;
        match.opcode = kRequestOpcodes[pick(generator, kRequestOpcodes.size())];
        match.occurrence = 1 + pick(generator, kRandomTimes);
        return match;
    };
    switch (kind) {
        case SimFaultKind::DropReply:
        case SimFaultKind::CorruptReply:
        case SimFaultKind::CutReply:
            fault.at = 1 + pick(generator, kRandomReplies);
            break;
        case SimFaultKind::DelayReply:
            fault.at = 1 + pick(generator, kRandomReplies);
            fault.value = 1 + pick(generator, kRandomDelayMs);
            break;
        case SimFaultKind::DamageReply:
            fault.at = 1 + pick(generator, kRandomReplies);
            fault.value = pick(generator, kRandomDamageIndex);
            fault.extra = pick(generator, 0x100);
            break;
        case SimFaultKind::RefuseOpcode:
            fault.at = kRequestOpcodes[pick(generator, kRequestOpcodes.size())];
            fault.value = pick(generator, kRandomTimes);
            if (pick(generator, kRandomAimedShare) == 0) {
                fault.request = randomRequest();
                fault.at = fault.request->opcode;
            }
            break;
        case SimFaultKind::WrongOpcode:
            fault.at = kRequestOpcodes[pick(generator, kRequestOpcodes.size())];
            fault.value = pick(generator, kRandomTimes);
            break;
        case SimFaultKind::PullCable:
            fault.at = 1 + pick(generator, kRandomHostBytes);
            break;
        case SimFaultKind::FailErase:
            fault.at = SimFlash::defaultBlockAddress(flashType) +
                       pick(generator, SimFlash::kDefaultSectors) * SimFlash::kSectorSize;
            fault.value = pick(generator, kRandomTimes);
            break;
        case SimFaultKind::CorruptDefaultBlock:
            break;
        case SimFaultKind::ResetStatus:
            fault.at = pick(generator, 2);
            fault.value = kStatusBits[pick(generator, kStatusBits.size())];
            break;
    }
    if (aimsAtReply(kind) && pick(generator, kRandomAimedShare) == 0) {
        fault.request = randomRequest();
        fault.at = 0;
    }
    return fault;
}

std::vector<SimFault> SimFaults::randomPlan(uint64_t seed, int count, int flashType) {
    std::mt19937_64 generator(seed);
    std::vector<SimFault> plan;
    for (int i = 0; i < count; ++i) {
        const auto kind = kCatalogue[pick(generator, kCatalogue.size())].kind;
        plan.push_back(random(kind, generator, flashType));
    }
    return plan;
}

SimFaults::SimFaults(uint64_t seed) : generator_(seed) {}

void SimFaults::add(const SimFault& fault) {
    plan_.push_back(fault);
    struck_.push_back(0);
    seen_.push_back(0);
}

void SimFaults::clear() {
    plan_.clear();
    struck_.clear();
    seen_.clear();
}

bool SimFaults::strikes(size_t index) {
    const uint32_t times = plan_[index].value;
    if (times != 0 && struck_[index] >= times) {
        return false;
    }
    ++struck_[index];
    return true;
}

bool SimFaults::aimedAt(size_t index, const SimRequest& request) {
    const SimFault& f = plan_[index];
    if (!f.request) {
        return f.at == replies_;
    }
    if (!f.request->alike(request)) {
        return false;
    }
    ++seen_[index];
    return f.request->occurrence == 0 || seen_[index] == f.request->occurrence;
}

SimFaults::ReplyFate SimFaults::nextReply(const SimRequest& request, size_t wireLength) {
    ++replies_;
    ReplyFate fate;
    for (size_t i = 0; i < plan_.size(); ++i) {
        const SimFault& f = plan_[i];
        if (!aimsAtReply(f.kind) || !aimedAt(i, request)) {
            continue;
        }
        switch (f.kind) {
            case SimFaultKind::DropReply:
                fate.drop = true;
                break;
            case SimFaultKind::CorruptReply:
                if (wireLength > 0) {
                    fate.corruptByte = pick(generator_, static_cast<uint32_t>(wireLength));
                    fate.corruptMask = static_cast<uint8_t>(1u << pick(generator_, 8));
                }
                break;
            case SimFaultKind::DelayReply:
                fate.delay += std::chrono::milliseconds(f.value);
                break;
            case SimFaultKind::CutReply:
                fate.cutAfterOpcode = true;
                break;
            case SimFaultKind::DamageReply:
                if (f.value < wireLength) {
                    fate.damage.emplace_back(f.value, static_cast<uint8_t>(f.extra));
                }
                break;
            default:
                break;
        }
    }
    return fate;
}

bool SimFaults::refuses(const SimRequest& request) {
    for (size_t i = 0; i < plan_.size(); ++i) {
        const SimFault& f = plan_[i];
        if (f.kind != SimFaultKind::RefuseOpcode) {
            continue;
        }
        const bool aimed = f.request ? aimedAt(i, request) : f.at == request.opcode;
        if (aimed && strikes(i)) {
            return true;
        }
    }
    return false;
}

std::optional<uint8_t> SimFaults::wrongOpcode(uint8_t requestOpcode, uint8_t replyOpcode) {
    for (size_t i = 0; i < plan_.size(); ++i) {
        if (plan_[i].kind == SimFaultKind::WrongOpcode && plan_[i].at == requestOpcode &&
            strikes(i)) {
            return static_cast<uint8_t>(replyOpcode ^ 0x01);
        }
    }
    return std::nullopt;
}

std::optional<uint64_t> SimFaults::pullAfter() const {
    std::optional<uint64_t> after;
    for (const SimFault& f : plan_) {
        if (f.kind == SimFaultKind::PullCable && (!after || f.at < *after)) {
            after = f.at;
        }
    }
    return after;
}

bool SimFaults::failsErase(uint32_t flashAddress) {
    for (size_t i = 0; i < plan_.size(); ++i) {
        if (plan_[i].kind == SimFaultKind::FailErase && plan_[i].at == flashAddress && strikes(i)) {
            return true;
        }
    }
    return false;
}

uint16_t SimFaults::resetStatusBits(uint8_t resetType) const {
    uint16_t bits = 0;
    for (const SimFault& f : plan_) {
        if (f.kind == SimFaultKind::CorruptDefaultBlock && resetType == simwire::kResetHard) {
            bits |= simwire::kStatusDefaultBlank;
        } else if (f.kind == SimFaultKind::ResetStatus && f.at == resetType) {
            bits |= static_cast<uint16_t>(f.value);
        }
    }
    return bits;
}

uint8_t SimFaults::garbage(uint8_t sent) {
    return static_cast<uint8_t>(sent ^ (1 + pick(generator_, 255)));
}

}  // namespace plugshift
