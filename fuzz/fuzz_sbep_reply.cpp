// Any bytes from the port as the radio's answer. The reply parser alone must agree with a plain
// reading of the frame it accepts and refuse before writing a data byte; the SBEP engine, running
// two of its operations over a port that serves the bytes, must keep every reply inside the
// caller's buffer, restore its attempts and stop once the bytes run out.
//
// Input: operation, second operation, reply-buffer size, flags (bit 0: probe the cable first, so
// the bytes may make it an echoing one; bit 1: the port starts at the probe's rate, so the baud
// switch is sent), then the bytes the port delivers in order.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "errors/error_chain.h"
#include "radio/d2xx.h"
#include "radio/reply_parser.h"
#include "radio/sbep.h"
#include "radio/sbep_protocol.h"
#include "radio/usb_serial.h"

namespace {

using namespace plugshift;

void check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

constexpr size_t kHeader = 4;
constexpr size_t kReplySizes[] = {sbep::kMaxReplyData, 0, 1, 2, 3, 4, 8, 16, 219, 220, 221, 512};

// One cable whose radio says exactly the input's bytes, whatever is written; a read past them
// comes back short, as a time-out does.
class PortBytes : public D2xx {
public:
    explicit PortBytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    size_t left() const { return bytes_.size() - at_; }

    FT_STATUS FT_ListDevices(void* arg1, void*, uint32_t flags) override {
        if (flags == FT_LIST_NUMBER_ONLY && arg1 != nullptr) {
            *static_cast<uint32_t*>(arg1) = 1;
            return FT_OK;
        }
        return FT_INVALID_PARAMETER;
    }
    FT_STATUS FT_Open(int index, FT_HANDLE* handle) override {
        *handle = index == 0 ? this : nullptr;
        return index == 0 ? FT_OK : FT_DEVICE_NOT_FOUND;
    }
    FT_STATUS FT_Close(FT_HANDLE) override { return FT_OK; }
    FT_STATUS FT_SetBaudRate(FT_HANDLE, uint32_t) override { return FT_OK; }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE, uint8_t, uint8_t, uint8_t) override {
        return FT_OK;
    }
    FT_STATUS FT_SetFlowControl(FT_HANDLE, uint16_t, uint8_t, uint8_t) override { return FT_OK; }
    FT_STATUS FT_SetTimeouts(FT_HANDLE, uint32_t, uint32_t) override { return FT_OK; }
    // Nothing is dropped: the bytes stand for what arrives after each request.
    FT_STATUS FT_Purge(FT_HANDLE, uint32_t) override { return FT_OK; }
    FT_STATUS FT_Read(FT_HANDLE, void* buffer, uint32_t count, uint32_t* received) override {
        const size_t n = std::min<size_t>(count, left());
        std::memcpy(buffer, bytes_.data() + at_, n);
        at_ += n;
        *received = static_cast<uint32_t>(n);
        return FT_OK;
    }
    FT_STATUS FT_Write(FT_HANDLE, const void*, uint32_t count, uint32_t* written) override {
        *written = count;
        return FT_OK;
    }
    uint32_t lastSystemError() const override { return 0; }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

// The frame a finished parse read, found plainly: after the lead-in, bytes up to the first start
// byte are skipped; the frame runs from there to the last byte consumed, and its own count says
// how long it must be (a long length of 0 still ends with its checksum).
std::span<const uint8_t> plainFrame(std::span<const uint8_t> consumed, size_t& counted) {
    check(consumed[0] == sbep::kLeadIn);
    const auto start = std::find_if(consumed.begin() + 1, consumed.end(),
                                    [](uint8_t b) { return b >= sbep::kShortMark; });
    check(start != consumed.end());
    const auto frame = consumed.subspan(static_cast<size_t>(start - consumed.begin()));
    const bool isLong = frame[0] == sbep::kLongStart;
    const size_t head = isLong ? 4 : 2;
    check(frame.size() >= head + 1);
    counted = isLong ? (size_t{frame[2]} << 8 | frame[3])
                     : static_cast<size_t>(frame[0] & sbep::kNibbleMask);
    check(frame.size() == head + std::max<size_t>(counted, 1));
    return frame;
}

bool checksumMatches(std::span<const uint8_t> frame) {
    return frame.back() == SBEP::sbepChecksum(frame.first(frame.size() - 1));
}

void checkComplete(std::span<const uint8_t> consumed, const ReplyParser& parser,
                   std::span<const uint8_t> data) {
    size_t counted = 0;
    const auto frame = plainFrame(consumed, counted);
    check(checksumMatches(frame));
    check(parser.opcode() == frame[1]);
    size_t first = frame[0] == sbep::kLongStart ? 4 : 2;
    uint32_t address = 0;
    if (counted != 0 && sbep::carriesAddress(frame[1])) {
        for (size_t i = 0; i < sbep::kAddressFieldSize; ++i) {
            address = address << 8 | frame[first + i];
        }
        first += sbep::kAddressFieldSize;
    }
    check(parser.address() == address);
    check(first <= frame.size() - 1);
    const auto expected = frame.subspan(first, frame.size() - 1 - first);
    check(static_cast<size_t>(parser.count()) == expected.size());
    check(std::equal(expected.begin(), expected.end(), data.begin()));
}

void parseAlone(std::span<const uint8_t> bytes, size_t replySize) {
    std::vector<uint8_t> data(replySize);
    ReplyParser parser(data, sbep::kReceiveBufferSize);
    for (uint8_t byte : bytes) {
        if (parser.feed(byte) != ReplyParser::Outcome::kPending) {
            break;
        }
    }
    const size_t consumed = parser.consumed();
    check(consumed <= bytes.size() && consumed <= sbep::kReceiveBufferSize);
    check(static_cast<size_t>(parser.count()) <= replySize);
    const auto outcome = parser.outcome();
    if (parser.finished()) {
        // A finished parser takes nothing more.
        parser.feed(sbep::kLeadIn);
        check(parser.outcome() == outcome && parser.consumed() == consumed);
    }
    switch (outcome) {
        case ReplyParser::Outcome::kComplete:
            checkComplete(bytes.first(consumed), parser, data);
            break;
        case ReplyParser::Outcome::kBadLeadIn:
            check(consumed == 1 && bytes[0] != sbep::kLeadIn &&
                  parser.opcode() == sbep::kBadLeadIn);
            break;
        case ReplyParser::Outcome::kNoRoom:
        case ReplyParser::Outcome::kDataOverrun:
        case ReplyParser::Outcome::kReceiveOverrun:
            check(parser.count() == 0);
            break;
        case ReplyParser::Outcome::kBadChecksum: {
            size_t counted = 0;
            check(!checksumMatches(plainFrame(bytes.first(consumed), counted)));
            break;
        }
        case ReplyParser::Outcome::kPending:
            check(consumed == bytes.size());
            break;
    }
}

// One operation of the engine; the result a reply passed with must fit the caller's buffer.
int operate(SBEP& engine, uint8_t which, std::span<uint8_t> reply) {
    uint8_t lastOpc = 0;
    uint32_t address = 0x820000;
    const std::array<uint8_t, 8> bytes = {1, 2, 3, 4, 5, 6, 7, 8};
    const std::array<uint8_t, 3> contactRead = {0x00, 0x01, 0x0C};
    std::array<uint8_t, 3 + 32> contactWrite{0x00, 0x01, 0x01};
    contactWrite[3 + 7] = 2;  // a group
    const std::array<uint8_t, 4> itemFrame = {0xF2, sbep::kOpRadioItem, 0x00, 0xE9};
    switch (which % 19) {
        case 0:
            return engine.transact(itemFrame, address, lastOpc, reply);
        case 1:
            return engine.memRead(static_cast<int>(std::min<size_t>(reply.size(), 220)), address,
                                  lastOpc, reply);
        case 2:
            return engine.memWrite(bytes, address, lastOpc, reply);
        case 3:
            return engine.resetDevice(sbep::kResetHard, lastOpc, reply);
        case 4:
            return engine.requestTestMode(sbep::kTestModeFlash, {0, 0}, lastOpc, reply);
        case 5:
            return engine.softpotWrite(sbep::kSoftpotResetAllBlocks, 0, {}, lastOpc, reply);
        case 6:
            return engine.softpotRead(lastOpc, reply);
        case 7:
            return engine.readRadioItem(sbep::kItemModel, lastOpc, reply);
        case 8:
            return engine.updateSN(bytes, lastOpc, reply);
        case 9:
            return engine.requestProtectionMode(0x3000, lastOpc, reply);
        case 10:
            return engine.eraseFlash(sbep::kEraseSector, 0x84000, lastOpc, reply);
        case 11:
            return engine.writeFlash(bytes, 0x84000, lastOpc, reply);
        case 12:
            return engine.factoryBlockBackup(lastOpc, reply);
        case 13:
            return engine.contactCommand(sbep::kContactRead, contactRead, lastOpc, reply);
        case 14:
            return engine.contactCommand(sbep::kContactWrite, contactWrite, lastOpc, reply);
        case 15:
            return engine.performMasterReset(lastOpc, reply);
        case 16:
            return engine.queryFlashMode(lastOpc, reply);
        case 17:
            return engine.setRadioBaudRate(0, lastOpc, reply);
        default:
            return engine.probeCableMode();
    }
}

void runEngine(uint8_t first, uint8_t second, size_t replySize, uint8_t flags,
               std::span<const uint8_t> bytes) {
    PortBytes cable(bytes);
    USBSerial port(cable);
    check(port.open(0));
    if ((flags & 2) != 0) {
        port.setBaudRate(sbep::kProbeBaudRate);
    }
    SBEP engine(&port);
    if ((flags & 1) != 0) {
        engine.probeCableMode();
    }
    std::vector<uint8_t> reply(replySize);
    for (uint8_t which : {first, second}) {
        const size_t before = cable.left();
        const int result = operate(engine, which, reply);
        check(result <= static_cast<int>(replySize) || which % 19 == 18);
        // The per-opcode attempts last one transaction.
        check(engine.trials() == sbep::kDefaultTrials &&
              engine.waitTrials() == sbep::kDefaultWaitTrials);
        check(cable.left() <= before);
    }
    for (const ErrorRecord& record : ErrorChain::records()) {
        check(record.message.size() <= 255);
    }
    ErrorChain::remove(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeader) {
        return 0;
    }
    const size_t replySize = kReplySizes[data[2] % std::size(kReplySizes)];
    const auto bytes = std::span(data + kHeader, size - kHeader);
    parseAlone(bytes, replySize);
    runEngine(data[0], data[1], replySize, data[3], bytes);
    return 0;
}
