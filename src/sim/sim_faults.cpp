#include "sim/sim_faults.h"

#include <array>
#include <cstdio>
#include <cstdlib>

#include "sim/sim_flash.h"
#include "sim/sim_protocol.h"

namespace plugshift {

namespace {

constexpr std::array<SimFaultInfo, 9> kCatalogue = {{
    {SimFaultKind::DropReply, "drop", "N", "the N-th reply (counting from 1) is lost on the line",
     1, 1},
    {SimFaultKind::CorruptReply, "corrupt", "N", "one bit of the N-th reply flips", 1, 1},
    {SimFaultKind::DelayReply, "delay", "N:MS", "the N-th reply comes MS milliseconds late", 2, 2},
    {SimFaultKind::RefuseOpcode, "refuse", "OPCODE[:TIMES]",
     "requests with OPCODE are refused (the first TIMES of them; 0 or none: all)", 1, 2},
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
}};

// Requests a fault can be aimed at: every opcode the radio answers.
constexpr std::array<uint8_t, 11> kRequestOpcodes = {
    simwire::kOpReset,        simwire::kOpMemRead,  simwire::kOpMemWrite,  simwire::kOpUpdateSerial,
    simwire::kOpSoftpotRead,  simwire::kOpTestMode, simwire::kOpRadioItem, simwire::kOpQuery24,
    simwire::kOpSoftpotWrite, simwire::kOpFlash,    simwire::kOpContact,
};
constexpr std::array<uint16_t, 4> kStatusBits = {0x0002, simwire::kStatusFactoryIntact,
                                                 simwire::kStatusDefaultBlank,
                                                 simwire::kStatusDefaultVerify};

// A conversion exchanges a few hundred frames and some 70 000 host bytes: random faults land
// inside that.
constexpr uint32_t kRandomReplies = 60;
constexpr uint32_t kRandomHostBytes = 80000;
constexpr uint32_t kRandomDelayMs = 1500;
constexpr uint32_t kRandomTimes = 3;

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

bool valid(const SimFault& f) {
    switch (f.kind) {
        case SimFaultKind::DropReply:
        case SimFaultKind::CorruptReply:
        case SimFaultKind::DelayReply:
            return f.at >= 1;
        case SimFaultKind::RefuseOpcode:
        case SimFaultKind::WrongOpcode:
            return f.at <= 0xFF;
        case SimFaultKind::ResetStatus:
            return f.at <= 1 && f.value <= 0xFFFF;
        default:
            return true;
    }
}

}  // namespace

std::span<const SimFaultInfo> SimFaults::catalogue() {
    return kCatalogue;
}

const SimFaultInfo& SimFaults::info(SimFaultKind kind) {
    return kCatalogue[static_cast<size_t>(kind)];
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
        SimFault fault{entry.kind, 0, 0};
        uint32_t* fields[] = {&fault.at, &fault.value};
        for (int i = 0; i < params; ++i) {
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
    char buffer[64];
    switch (fault.kind) {
        case SimFaultKind::DropReply:
        case SimFaultKind::CorruptReply:
        case SimFaultKind::PullCable:
            std::snprintf(buffer, sizeof buffer, "%s:%u", entry.name, fault.at);
            break;
        case SimFaultKind::DelayReply:
            std::snprintf(buffer, sizeof buffer, "%s:%u:%u", entry.name, fault.at, fault.value);
            break;
        case SimFaultKind::RefuseOpcode:
        case SimFaultKind::WrongOpcode:
        case SimFaultKind::FailErase:
            if (fault.value == 0) {
                std::snprintf(buffer, sizeof buffer, "%s:0x%X", entry.name, fault.at);
            } else {
                std::snprintf(buffer, sizeof buffer, "%s:0x%X:%u", entry.name, fault.at,
                              fault.value);
            }
            break;
        case SimFaultKind::CorruptDefaultBlock:
            std::snprintf(buffer, sizeof buffer, "%s", entry.name);
            break;
        case SimFaultKind::ResetStatus:
            std::snprintf(buffer, sizeof buffer, "%s:%u:0x%X", entry.name, fault.at, fault.value);
            break;
    }
    return buffer;
}

SimFault SimFaults::random(SimFaultKind kind, std::mt19937_64& generator, int flashType) {
    SimFault fault{kind, 0, 0};
    switch (kind) {
        case SimFaultKind::DropReply:
        case SimFaultKind::CorruptReply:
            fault.at = 1 + pick(generator, kRandomReplies);
            break;
        case SimFaultKind::DelayReply:
            fault.at = 1 + pick(generator, kRandomReplies);
            fault.value = 1 + pick(generator, kRandomDelayMs);
            break;
        case SimFaultKind::RefuseOpcode:
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
}

void SimFaults::clear() {
    plan_.clear();
    struck_.clear();
}

bool SimFaults::strikes(size_t index) {
    const uint32_t times = plan_[index].value;
    if (times != 0 && struck_[index] >= times) {
        return false;
    }
    ++struck_[index];
    return true;
}

SimFaults::ReplyFate SimFaults::nextReply(size_t wireLength) {
    ++replies_;
    ReplyFate fate;
    for (const SimFault& f : plan_) {
        if (f.at != replies_) {
            continue;
        }
        if (f.kind == SimFaultKind::DropReply) {
            fate.drop = true;
        } else if (f.kind == SimFaultKind::CorruptReply && wireLength > 0) {
            fate.corruptByte = pick(generator_, static_cast<uint32_t>(wireLength));
            fate.corruptMask = static_cast<uint8_t>(1u << pick(generator_, 8));
        } else if (f.kind == SimFaultKind::DelayReply) {
            fate.delay += std::chrono::milliseconds(f.value);
        }
    }
    return fate;
}

bool SimFaults::refuses(uint8_t opcode) {
    for (size_t i = 0; i < plan_.size(); ++i) {
        if (plan_[i].kind == SimFaultKind::RefuseOpcode && plan_[i].at == opcode && strikes(i)) {
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
