#include "sim/sim_responder.h"

#include "sim/sim_faults.h"
#include "sim/sim_protocol.h"
#include "sim/sim_radio.h"

namespace plugshift {

namespace {

using namespace simwire;

// Rates the radio's UART can be switched to.
constexpr uint32_t kMinBaud = 1200;
constexpr uint32_t kMaxBaud = 921600;

uint32_t bigEndian(std::span<const uint8_t> bytes) {
    uint32_t value = 0;
    for (uint8_t b : bytes) {
        value = (value << 8) | b;
    }
    return value;
}

SimReply accept(uint8_t opcode, std::vector<uint8_t> data) {
    SimReply reply;
    reply.opcode = opcode;
    reply.data = std::move(data);
    return reply;
}

void append(std::vector<uint8_t>& to, std::span<const uint8_t> bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

}  // namespace

SimResponder::SimResponder(SimRadio& radio, SimFaults& faults, const SimTiming& timing)
    : radio_(radio), faults_(faults), timing_(timing) {}

const char* SimResponder::refusalName(SimRefusal why) {
    switch (why) {
        case SimRefusal::UnknownRequest:
            return "unknown request";
        case SimRefusal::BadRequest:
            return "bad length or value";
        case SimRefusal::BadAddress:
            return "bad address";
        case SimRefusal::WrongMode:
            return "wrong mode";
        case SimRefusal::Protected:
            return "default block locked";
        case SimRefusal::EraseFailed:
            return "erase failed";
        case SimRefusal::Injected:
            return "injected fault";
    }
    return "?";
}

SimReply SimResponder::refuse(const SimRequest& request, SimRefusal why) {
    lastRefusal_ = why;
    SimReply reply;
    reply.opcode = kReplyRefused;
    reply.address = simRequestAddress(request).value_or(0);
    return reply;
}

std::vector<SimOutgoing> SimResponder::receive(std::span<const uint8_t> bytes, SimTime first,
                                               SimTime spacing) {
    std::vector<SimOutgoing> out;
    SimTime at = first;
    for (uint8_t byte : bytes) {
        // Silence between two bytes of a frame, not the length of a piece read at once, is what
        // makes the radio give up on it.
        if (parser_.inFrame() && at - lastByte_ > kInterByteTimeout) {
            parser_.reset();
        }
        lastByte_ = at;
        if (auto request = parser_.feed(byte)) {
            // A baud switch is answered at the old rate; answer() has already moved the radio.
            const uint32_t baud = radio_.baud();
            std::chrono::nanoseconds deviceTime{0};
            out.push_back({answer(*request, deviceTime).wire(), baud, deviceTime, at, *request});
        }
        at += spacing;
    }
    return out;
}

SimReply SimResponder::answer(const SimRequest& request, std::chrono::nanoseconds& deviceTime) {
    deviceTime = std::chrono::nanoseconds{0};
    lastRefusal_.reset();
    SimReply reply = faults_.refuses(request) ? refuse(request, SimRefusal::Injected)
                                              : dispatch(request, deviceTime);
    if (const auto wrong = faults_.wrongOpcode(request.opcode, reply.opcode)) {
        reply.opcode = *wrong;
    }
    reply.longFrame = request.longFrame;
    if (observer_) {
        observer_(request, reply, lastRefusal_);
    }
    return reply;
}

SimReply SimResponder::dispatch(const SimRequest& request, std::chrono::nanoseconds& deviceTime) {
    switch (request.opcode) {
        case kOpMemRead:
            return memRead(request);
        case kOpMemWrite:
            return memWrite(request);
        case kOpReset:
            return reset(request, deviceTime);
        case kOpTestMode:
            return testMode(request);
        case kOpSoftpotWrite:
            return softpotWrite(request);
        case kOpSoftpotRead:
            return softpotRead(request);
        case kOpRadioItem:
            return radioItem(request);
        case kOpUpdateSerial:
            return updateSerial(request);
        case kOpFlash:
            return flash(request, deviceTime);
        case kOpContact:
            return contact(request);
        case kOpQueryFlashMode:
            return queryFlashMode(request);
        default:
            return refuse(request, SimRefusal::UnknownRequest);
    }
}

// n A2 A1 A0
SimReply SimResponder::memRead(const SimRequest& request) {
    const auto& body = request.body;
    if (body.size() != 4 || body[0] == 0 || body[0] > kMaxMemoryTransfer) {
        return refuse(request, SimRefusal::BadRequest);
    }
    const uint32_t address = bigEndian(std::span(body).subspan(1, 3));
    SimReply reply = accept(kReplyMemRead, {});
    if (!radio_.flash().memoryRead(address, body[0], reply.data)) {
        return refuse(request, SimRefusal::BadAddress);
    }
    reply.address = address;
    return reply;
}

// 01 A2 A1 A0 data
SimReply SimResponder::memWrite(const SimRequest& request) {
    const auto& body = request.body;
    if (body.size() < 5 || body.size() > 4u + kMaxMemoryTransfer || body[0] != kMemWriteKind) {
        return refuse(request, SimRefusal::BadRequest);
    }
    if (!radio_.inTestMode()) {
        return refuse(request, SimRefusal::WrongMode);
    }
    const uint32_t address = bigEndian(std::span(body).subspan(1, 3));
    if (!radio_.flash().memoryWrite(address, std::span(body).subspan(4))) {
        return refuse(request, SimRefusal::BadAddress);
    }
    SimReply reply = accept(kReplyMemWrite, {});
    reply.address = address;
    return reply;
}

// type
SimReply SimResponder::reset(const SimRequest& request, std::chrono::nanoseconds& deviceTime) {
    const auto& body = request.body;
    if (body.size() != 1 || (body[0] != kResetSoft && body[0] != kResetHard)) {
        return refuse(request, SimRefusal::BadRequest);
    }
    const uint16_t status = radio_.reset() | faults_.resetStatusBits(body[0]);
    deviceTime = timing_.resetTime;
    return accept(kReplyAccepted,
                  {static_cast<uint8_t>(status >> 8), static_cast<uint8_t>(status & 0xFF)});
}

// type p0 p1; the reply's byte 1 tells the host which flash layout to use.
SimReply SimResponder::testMode(const SimRequest& request) {
    const auto& body = request.body;
    if (body.size() != 3) {
        return refuse(request, SimRefusal::BadRequest);
    }
    if (body[0] == kTestModeFlash) {
        radio_.setMode(SimRadio::Mode::FlashTest);
    } else if (body[0] == kTestModeSbep) {
        radio_.setMode(SimRadio::Mode::SbepTest);
    } else {
        return refuse(request, SimRefusal::BadRequest);
    }
    return accept(kReplyAccepted, {body[0], static_cast<uint8_t>(radio_.flashType())});
}

// type 00 00 sub data
SimReply SimResponder::softpotWrite(const SimRequest& request) {
    const auto& body = request.body;
    if (body.size() < 4) {
        return refuse(request, SimRefusal::BadRequest);
    }
    const uint8_t type = body[0];
    const auto data = std::span(body).subspan(4);
    if (type == kSoftpotBaudRate) {
        // Answered at the old rate; the radio listens at the new one from the next byte on.
        const uint32_t baud = data.size() == 4 ? bigEndian(data) : 0;
        if (baud < kMinBaud || baud > kMaxBaud) {
            return refuse(request, SimRefusal::BadRequest);
        }
        radio_.setBaud(baud);
        return accept(kReplyAccepted, {type});
    }
    if (type != kSoftpotResetAllBlocks && type != kSoftpotRestoreFactory &&
        type != kSoftpotBackupFactory) {
        return refuse(request, SimRefusal::UnknownRequest);
    }
    if (!data.empty()) {
        return refuse(request, SimRefusal::BadRequest);
    }
    if (!radio_.inTestMode()) {
        return refuse(request, SimRefusal::WrongMode);
    }
    if (type == kSoftpotResetAllBlocks) {
        radio_.resetAllBlocks();
    } else if (type == kSoftpotRestoreFactory) {
        radio_.restoreFactoryBlock();
    } else {
        radio_.backupFactoryBlock();
    }
    return accept(kReplyAccepted, {type});
}

// 31 00 00
SimReply SimResponder::softpotRead(const SimRequest& request) {
    const auto& body = request.body;
    if (body.size() != 3 || body[0] != kSoftpotUserId) {
        return refuse(request, SimRefusal::BadRequest);
    }
    std::vector<uint8_t> data{kSoftpotUserId, 0};
    append(data, radio_.userPrivateId());
    return accept(kReplySoftpotRead, std::move(data));
}

// item; the value follows two bytes that echo the item.
SimReply SimResponder::radioItem(const SimRequest& request) {
    const auto& body = request.body;
    if (body.size() != 1) {
        return refuse(request, SimRefusal::BadRequest);
    }
    std::vector<uint8_t> data{body[0], 0};
    switch (body[0]) {
        case 0:
            append(data, radio_.model());
            break;
        case 1:
            append(data, radio_.serial());
            break;
        case 3:
            append(data, radio_.firmwareVersion().bytes);
            break;
        case 4:
            append(data, radio_.codeplugVersion().bytes);
            break;
        case 8:
            append(data, radio_.keypadVersion().bytes);
            break;
        default:
            return refuse(request, SimRefusal::UnknownRequest);
    }
    return accept(kReplyRadioItem, std::move(data));
}

// 01 01 serial
SimReply SimResponder::updateSerial(const SimRequest& request) {
    const auto& body = request.body;
    if (body.size() < 3 || body[0] != kSerialHeader || body[1] != kSerialHeader) {
        return refuse(request, SimRefusal::BadRequest);
    }
    if (!radio_.inTestMode()) {
        return refuse(request, SimRefusal::WrongMode);
    }
    if (!radio_.setSerial(std::span(body).subspan(2))) {
        return refuse(request, SimRefusal::BadRequest);
    }
    return accept(kReplyAccepted, {kSerialHeader});
}

// 08 00 MH ML | 04 A2 A1 A0 | 06 A2 A1 A0 | 01 A2 A1 A0 data; only in the FLASH test mode.
SimReply SimResponder::flash(const SimRequest& request, std::chrono::nanoseconds& deviceTime) {
    const auto& body = request.body;
    if (body.size() < 4) {
        return refuse(request, SimRefusal::BadRequest);
    }
    const uint8_t sub = body[0];
    const uint32_t address = bigEndian(std::span(body).subspan(1, 3));
    const bool fixedLength = body.size() == 4;
    if (sub == kFlashEraseSector) {
        ++activity_.sectorErases[address];
    } else if (sub == kFlashEraseDynamic) {
        ++activity_.dynamicErases[address];
    }
    if (radio_.mode() != SimRadio::Mode::FlashTest) {
        return refuse(request, SimRefusal::WrongMode);
    }
    SimFlash& flash = radio_.flash();
    switch (sub) {
        case kFlashProtection:
            if (!fixedLength || body[1] != 0 ||
                !radio_.setProtectionMode(
                    static_cast<uint16_t>(bigEndian(std::span(body).subspan(2))))) {
                return refuse(request, SimRefusal::BadRequest);
            }
            break;
        case kFlashEraseSector:
            if (!fixedLength) {
                return refuse(request, SimRefusal::BadRequest);
            }
            if (!radio_.defaultBlockUnlocked()) {
                return refuse(request, SimRefusal::Protected);
            }
            if (faults_.failsErase(address)) {
                return refuse(request, SimRefusal::EraseFailed);
            }
            if (!flash.eraseSector(address)) {
                return refuse(request, SimRefusal::BadAddress);
            }
            deviceTime = timing_.eraseTime;
            break;
        case kFlashEraseDynamic:
            if (!fixedLength) {
                return refuse(request, SimRefusal::BadRequest);
            }
            if (!flash.eraseDynamicBlock(address)) {
                return refuse(request, SimRefusal::BadAddress);
            }
            deviceTime = timing_.eraseTime;
            break;
        case kFlashProgram:
            if (fixedLength || body.size() > 4u + kMaxProgram) {
                return refuse(request, SimRefusal::BadRequest);
            }
            if (!radio_.defaultBlockUnlocked()) {
                return refuse(request, SimRefusal::Protected);
            }
            if (!flash.program(address, std::span(body).subspan(4))) {
                return refuse(request, SimRefusal::BadAddress);
            }
            ++activity_.programs;
            deviceTime = timing_.programTime;
            break;
        default:
            return refuse(request, SimRefusal::UnknownRequest);
    }
    return accept(kReplyFlash, {sub});
}

// 30 00 k c | 31 00 number total contact | 36
SimReply SimResponder::contact(const SimRequest& request) {
    const auto& body = request.body;
    if (body.empty()) {
        return refuse(request, SimRefusal::BadRequest);
    }
    if (!radio_.inTestMode()) {
        return refuse(request, SimRefusal::WrongMode);
    }
    const auto data = std::span(body).subspan(1);
    switch (body[0]) {
        case kContactRead: {
            if (data.size() != 3) {
                return refuse(request, SimRefusal::BadRequest);
            }
            std::vector<uint8_t> reply{kContactReadDone, 0, data[1],
                                       static_cast<uint8_t>(radio_.contactCount())};
            append(reply, radio_.contact(data[1]));
            return accept(kReplyContact, std::move(reply));
        }
        case kContactWrite:
            if (data.size() < 3 || !radio_.stageContact(data[1], data[2], data.subspan(3))) {
                return refuse(request, SimRefusal::BadRequest);
            }
            return accept(kReplyContact, {kContactWriteDone, data[1]});
        case kContactMasterReset:
            if (!data.empty()) {
                return refuse(request, SimRefusal::BadRequest);
            }
            return accept(kReplyContact,
                          {kContactWriteDone, static_cast<uint8_t>(radio_.commitContacts())});
        default:
            return refuse(request, SimRefusal::UnknownRequest);
    }
}

// 02 00
SimReply SimResponder::queryFlashMode(const SimRequest& request) {
    const auto& body = request.body;
    if (body.size() != 2) {
        return refuse(request, SimRefusal::BadRequest);
    }
    return accept(kReplyQueryFlashMode,
                  {body[0], body[1], static_cast<uint8_t>(radio_.flashType())});
}

}  // namespace plugshift
