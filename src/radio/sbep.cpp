#include "radio/sbep.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <initializer_list>
#include <optional>
#include <vector>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "radio/frame_ring.h"
#include "radio/reply_parser.h"
#include "radio/usb_serial.h"

namespace plugshift {

using namespace sbep;

namespace {

// Room for any short frame: start byte, opcode and up to 15 counted bytes.
using SmallFrame = std::array<uint8_t, 2 + kShortMaxCount>;

uint8_t byteOf(uint32_t value, int shift) {
    return static_cast<uint8_t>(value >> shift);
}

// The 24-bit radio address, high byte first.
std::array<uint8_t, 3> addressBytes(uint32_t address) {
    return {byteOf(address, 16), byteOf(address, 8), byteOf(address, 0)};
}

// Writes FF, opcode, the 16-bit count of what follows, head, data and checksum into out (which
// the caller sized); returns the frame.
std::span<const uint8_t> putLongFrame(std::span<uint8_t> out, uint8_t opcode,
                                      std::initializer_list<uint8_t> head,
                                      std::span<const uint8_t> data = {}) {
    const size_t follow = head.size() + data.size() + 1;
    out[0] = kLongStart;
    out[1] = opcode;
    out[2] = byteOf(static_cast<uint32_t>(follow), 8);
    out[3] = byteOf(static_cast<uint32_t>(follow), 0);
    auto end = std::copy(head.begin(), head.end(), out.begin() + 4);
    end = std::copy(data.begin(), data.end(), end);
    const auto length = static_cast<size_t>(end - out.begin());
    out[length] = SBEP::sbepChecksum(out.first(length));
    return out.first(length + 1);
}

// Writes Fk, opcode, head, data and checksum, k counting what follows the opcode (at most 15).
std::span<const uint8_t> putShortFrame(std::span<uint8_t> out, uint8_t opcode,
                                       std::initializer_list<uint8_t> head,
                                       std::span<const uint8_t> data = {}) {
    const size_t follow = head.size() + data.size() + 1;
    out[0] = static_cast<uint8_t>(kShortMark | follow);
    out[1] = opcode;
    auto end = std::copy(head.begin(), head.end(), out.begin() + 2);
    end = std::copy(data.begin(), data.end(), end);
    const auto length = static_cast<size_t>(end - out.begin());
    out[length] = SBEP::sbepChecksum(out.first(length));
    return out.first(length + 1);
}

constexpr const wchar_t* kRepliesDisagree =
    L"Error:two replies to one request disagree after its resend; its outcome is unknown.";

// The data a transaction's result says the reply carried.
std::span<const uint8_t> dataOf(std::span<const uint8_t> replyData, int result) {
    return replyData.first(result > 0 ? std::min(replyData.size(), static_cast<size_t>(result))
                                      : 0);
}

std::wstring refusalText(const ReplyParser& parser, size_t replyCapacity) {
    switch (parser.outcome()) {
        case ReplyParser::Outcome::kNoRoom:
            return formatWide(
                L"Error:reply refused: length %d of OPC %d leaves no room before the checksum.",
                parser.declaredLength(), static_cast<int>(parser.opcode()));
        case ReplyParser::Outcome::kDataOverrun:
            return formatWide(
                L"Error:reply refused: %d data bytes of OPC %d overrun the buffer of %d bytes.",
                parser.declaredData(), static_cast<int>(parser.opcode()),
                static_cast<int>(replyCapacity));
        default:
            return formatWide(L"Error:reply refused: it overruns the receive buffer of %d bytes.",
                              static_cast<int>(kReceiveBufferSize));
    }
}

}  // namespace

SBEP::SBEP(USBSerial* port) : port_(port) {}

uint8_t SBEP::sbepChecksum(std::span<const uint8_t> bytes) {
    uint8_t sum = 0;
    for (uint8_t byte : bytes) {
        sum = static_cast<uint8_t>(sum + byte);
    }
    return static_cast<uint8_t>(0xFF - sum);
}

bool SBEP::usable() const {
    return port_ != nullptr && port_->isUsable();
}

// True when the user asked to stop, after recording it: the operation's step fails with it.
bool SBEP::haltForStop() {
    if (!stopped()) {
        return false;
    }
    ErrorChain::add(kErrorSbep, L"Error:stopped at the user's request.");
    return true;
}

void SBEP::notify(FrameDirection direction, std::span<const uint8_t> bytes) {
    if (ring_ == nullptr && !observer_) {
        return;
    }
    const FrameEvent event{direction, std::chrono::system_clock::now(), bytes};
    if (ring_ != nullptr) {
        ring_->record(event);
    }
    if (observer_) {
        observer_(event);
    }
}

int SBEP::readPort(std::span<uint8_t> destination) {
    const int n = static_cast<int>(destination.size());
    if (usable()) {
        for (int attempt = 0; attempt < trials_; ++attempt) {
            if (port_->read(destination.data(), n) == n) {
                return n;
            }
        }
    }
    ErrorChain::add(kErrorProt, L"Error:failed to read port for %d bytes after %d trials.", n,
                    trials_);
    return -1;
}

int SBEP::writePort(std::span<const uint8_t> source) {
    if (!usable()) {
        return -1;
    }
    const int n = static_cast<int>(source.size());
    notify(FrameDirection::kSent, source);
    for (int attempt = 0; attempt < trials_; ++attempt) {
        if (port_->write(source.data(), n) == n) {
            if (echoCable_) {
                swallowEcho(source.size());
            }
            return n;
        }
    }
    ErrorChain::add(kErrorProt, L"Error:failed to write port with %d bytes after %d trials.", n,
                    trials_);
    return -1;
}

// An echoing cable returns every byte sent; read them back so the reply parser starts clean.
void SBEP::swallowEcho(size_t n) {
    for (size_t left = n; left > 0;) {
        const size_t chunk = std::min(left, receiveBuffer_.size());
        readPort(std::span(receiveBuffer_).first(chunk));
        left -= chunk;
    }
}

int SBEP::transact(std::span<const uint8_t> frame, uint32_t& replyAddress, uint8_t& lastOpc,
                   std::span<uint8_t> replyData) {
    return transactMatching(frame, replyAddress, lastOpc, replyData, anyReply());
}

int SBEP::transactMatching(std::span<const uint8_t> frame, uint32_t& replyAddress, uint8_t& lastOpc,
                           std::span<uint8_t> replyData, const Match& match, bool replyOwed) {
    // The per-opcode settings last one transaction only.
    const int savedTrials = trials_;
    const int savedWaitTrials = waitTrials_;
    const int result = exchange(frame, replyAddress, lastOpc, replyData, match, replyOwed);
    trials_ = savedTrials;
    waitTrials_ = savedWaitTrials;
    return result;
}

int SBEP::exchange(std::span<const uint8_t> frame, uint32_t& replyAddress, uint8_t& lastOpc,
                   std::span<uint8_t> replyData, const Match& match, bool replyOwed) {
    lastRefusal_.clear();
    if (!usable() || frame.size() < 2 || stopped()) {
        return -1;
    }
    letStragglersLand();
    port_->purge(USBSerial::kPurgeRxTx);
    applyOpcodeSettings(frame);
    sizeReplyWait(frame);
    if (writePort(frame) != static_cast<int>(frame.size())) {
        unsettled_ = true;
        return -1;
    }
    return receiveReply(replyAddress, lastOpc, replyData, match,
                        replyOwed ? waitCoveringOwedReply() : wait_);
}

void SBEP::applyOpcodeSettings(std::span<const uint8_t> frame) {
    const bool framed = (frame[0] & ~kNibbleMask) == kShortMark;
    const uint8_t opcode = framed ? frame[1] : static_cast<uint8_t>(frame[0] >> 4);
    switch (opcode) {
        case kOpReset:
            trials_ = kResetTrials;
            waitTrials_ = kResetWaitTrials;
            port_->setTimeouts(kResetReadTimeoutMs, kResetWriteTimeoutMs);
            return;
        case kOpRadioItem:
            waitTrials_ = kItemWaitTrials;
            port_->setTimeouts(kItemReadTimeoutMs, kItemWriteTimeoutMs);
            return;
        case kOpFlash:
            port_->setTimeouts(kFlashReadTimeoutMs, kFlashWriteTimeoutMs);
            return;
        case kOpSoftpot:
            if (frame.size() > 4 &&
                (frame[4] == kSoftpotResetAllBlocks || frame[4] == kSoftpotBaudRate)) {
                // The previous time-outs stay; only the wait for the answer grows.
                waitTrials_ = kSlowSoftpotWaitTrials;
                return;
            }
            break;
        default:
            break;
    }
    port_->setTimeouts(kDefaultReadTimeoutMs, kDefaultWriteTimeoutMs);
}

// The radio's longest time to begin answering the request; the time-outs stay the least.
std::chrono::milliseconds SBEP::longestAnswer(std::span<const uint8_t> frame) {
    const bool shortFrame = (frame[0] & ~kNibbleMask) == kShortMark;
    const size_t bodyAt = shortFrame ? 2 : 4;
    const uint8_t first = frame.size() > bodyAt ? frame[bodyAt] : 0;
    switch (frame[1]) {
        case kOpReset:
            return kResetLongest;
        case kOpFlash:
            if (shortFrame) {
                return kAnswerAtOnce;  // protection mode
            }
            if (first == kEraseDynamic) {
                return kBlockEraseLongest;
            }
            return first == kEraseSector ? kSectorEraseLongest : kProgramChunkLongest;
        case kOpContact:
            return first == kContactMasterReset ? kBlockEraseLongest : kAnswerAtOnce;
        default:
            return kAnswerAtOnce;
    }
}

SBEP::Clock::duration SBEP::lineTime(size_t bytes) const {
    const uint32_t baud = std::max<uint32_t>(port_->baudRate(), 1);
    return std::chrono::microseconds(static_cast<int64_t>(bytes) * kBitsPerByte * 1'000'000 / baud);
}

// The reply must begin within the per-opcode waits, stretched to the radio's longest time for
// the request and the adapter's latency; the steady clock bounds it too, with the long count of
// a reset (whose restart may chatter before the frame) as the outer limit.
void SBEP::sizeReplyWait(std::span<const uint8_t> frame) {
    const uint32_t readMs = port_->readTimeout();
    const auto longest = longestAnswer(frame) + kAdapterLatency + kHostMargin;
    wait_.reads = waitTrials_;
    if (readMs > 0) {
        const auto longestReads = (longest.count() + readMs - 1) / readMs;
        wait_.reads = std::max(waitTrials_, static_cast<int>(longestReads));
    }
    const auto read = std::chrono::milliseconds(readMs);
    wait_.begin = std::max(read * wait_.reads, read * trials_) + kHostMargin;
    wait_.chatter = longest;
    // Quiet for as long as the reply may take to begin, not the long count of a chattering reset.
    stragglerQuiet_ = std::max<Clock::duration>(read * wait_.reads, kStragglerQuiet);
}

// A resend after an attempt that went without its reply: that reply may still come, later than
// its wait and the quiet before the resend together, and a radio answers in order, so the
// resend's own reply comes only after it. The wait stretches by the quiet once more to take the
// earlier reply in its place; the resend's own must then agree with it (resendConfirmed).
SBEP::ReplyWait SBEP::waitCoveringOwedReply() const {
    ReplyWait wait = wait_;
    const auto owed = std::chrono::ceil<std::chrono::milliseconds>(stragglerQuiet_);
    const auto readMs = std::max<int64_t>(port_->readTimeout(), 1);
    wait.reads += static_cast<int>((owed.count() + readMs - 1) / readMs);
    wait.begin += owed;
    return wait;
}

int SBEP::receiveReply(uint32_t& replyAddress, uint8_t& lastOpc, std::span<uint8_t> replyData,
                       const Match& match, const ReplyWait& wait) {
    const Clock::time_point sentAt = Clock::now();
    replyAddress = 0;
    lastOpc = 0;
    bool dropped = false;
    for (;;) {
        std::ranges::fill(receiveBuffer_, 0);
        ReplyParser parser(replyData, receiveBuffer_.size());
        const bool complete = readFrame(parser, wait, sentAt);
        // After a dropped reply, silence leaves the dropped one's opcode for the record.
        if (parser.consumed() > 0 || !dropped) {
            replyAddress = parser.address();
            lastOpc = parser.opcode();
            notify(FrameDirection::kReceived, std::span(receiveBuffer_).first(parser.consumed()));
        }
        if (!complete) {
            if (parser.refused()) {
                lastRefusal_ = refusalText(parser, replyData.size());
                ErrorChain::add(kErrorProt, L"%ls", lastRefusal_.c_str());
            }
            if (parser.consumed() > 0) {
                discardRestOfReply();
            }
            unsettled_ = true;
            return -1;
        }
        const auto data = replyData.first(static_cast<size_t>(parser.count()));
        if (match(parser.opcode(), parser.address(), data)) {
            unsettled_ = false;
            lastReplyBytes_ = parser.consumed();
            return parser.count();
        }
        // Another request's reply (a late one) or one this request's test cannot take: the
        // answer to this request may still come within its wait.
        dropped = true;
    }
}

// One frame: silent reads end it by the wait for its beginning, then by the line time of what
// it still lacks. False when it did not complete.
bool SBEP::readFrame(ReplyParser& parser, const ReplyWait& wait, Clock::time_point from,
                     bool quietIsFine) {
    const Clock::time_point beginBy = from + wait.begin;
    Clock::time_point restBy = Clock::time_point::max();
    Clock::time_point startBy = Clock::time_point::max();
    bool sized = false;
    int silentReads = 0;
    while (!parser.finished()) {
        const size_t want = parser.sized() ? parser.wanted() : 1;
        const auto slot = std::span(receiveBuffer_).subspan(parser.consumed(), want);
        const int got = usable() ? port_->read(slot.data(), static_cast<int>(want)) : 0;
        for (int i = 0; i < got && !parser.finished(); ++i) {
            parser.feed(slot[static_cast<size_t>(i)]);
        }
        const Clock::time_point now = Clock::now();
        if (!parser.waiting() && startBy == Clock::time_point::max()) {
            startBy = now + wait.chatter;
        }
        if (parser.begun() && !sized) {
            // The length bytes, then all the frame announces, at the line's rate.
            sized = parser.sized();
            const size_t left = sized ? parser.wanted() : kLengthFieldSize;
            restBy = now + lineTime(left) + kAdapterLatency + kStalledReplyMargin;
        }
        const Clock::time_point deadline = parser.begun()     ? restBy
                                           : parser.waiting() ? beginBy
                                                              : std::min(beginBy, startBy);
        silentReads = got > 0 ? 0 : silentReads + 1;
        const int allowed = parser.begun() ? kDefaultTrials : wait.reads;
        if (parser.finished()) {
            break;
        }
        if (silentReads >= allowed || now >= deadline) {
            if (quietIsFine && parser.consumed() == 0) {
                return false;
            }
            ErrorChain::add(kErrorProt, L"Error:failed to read port for %d bytes after %d trials.",
                            static_cast<int>(want), silentReads);
            return false;
        }
    }
    return parser.outcome() == ReplyParser::Outcome::kComplete;
}

// A reply given up on part-way (refused, garbled, or cut short by a wrong length) goes on
// arriving at the line rate; a purge takes only what has arrived, so without this the next
// attempt would read the tail of this reply as the start of its own.
void SBEP::discardRestOfReply() {
    const uint32_t readMs = port_->readTimeout();
    const uint32_t writeMs = port_->writeTimeout();
    port_->setTimeouts(kQuietLineMs, writeMs);
    std::array<uint8_t, kDiscardChunk> scrap{};
    const auto deadline = Clock::now() + kLongestReplyTime;
    while (port_->read(scrap.data(), static_cast<int>(scrap.size())) == kDiscardChunk &&
           Clock::now() < deadline) {
    }
    port_->setTimeouts(readMs, writeMs);
}

// Before anything is sent after an attempt that went without its reply: what the radio still
// sends for it lands here and is dropped, and only a quiet line lets the next request out.
void SBEP::letStragglersLand() {
    if (!unsettled_) {
        return;
    }
    unsettled_ = false;
    const uint32_t readMs = port_->readTimeout();
    const uint32_t writeMs = port_->writeTimeout();
    const auto quiet = std::chrono::ceil<std::chrono::milliseconds>(stragglerQuiet_);
    if (!port_->setTimeouts(static_cast<uint32_t>(quiet.count()), writeMs)) {
        return;
    }
    std::array<uint8_t, kDiscardChunk> scrap{};
    // A line that never falls quiet is no straggler; it is left to the request's own checks.
    const auto giveUp = Clock::now() + stragglerQuiet_ + 2 * kLongestReplyTime;
    size_t heard = 0;
    for (int got = 0; (got = port_->read(scrap.data(), kDiscardChunk)) > 0;) {
        notify(FrameDirection::kReceived, std::span(scrap).first(static_cast<size_t>(got)));
        heard += static_cast<size_t>(got);
        if (heard > 2 * kReceiveBufferSize || Clock::now() >= giveUp) {
            break;
        }
    }
    port_->setTimeouts(readMs, writeMs);
}

// After a resend whose reply passed: every reply the line still brings within the resend's whole
// wait (the request on the line, the radio's longest time, the reply on the line, the adapter)
// answers this request as well, since nothing else has been sent; the line is trusted again once
// it has been quiet that long. False when a further reply disagrees, is damaged or never ends.
bool SBEP::resendConfirmed(std::span<const uint8_t> frame, const Judge& judge, const Match& match,
                           const Answer& taken, Agreement agreement) {
    const std::vector<uint8_t> takenData(taken.data.begin(), taken.data.end());
    // The wait one attempt gives its reply to begin: its silent reads, or the radio's longest
    // time; not the long count of a reset's many attempts.
    const uint32_t readMs = std::max<uint32_t>(port_->readTimeout(), 1);
    const Clock::duration replyWait =
        std::max<Clock::duration>(std::chrono::milliseconds(readMs) * wait_.reads, wait_.chatter);
    const Clock::duration whole = replyWait + lineTime(frame.size()) + lineTime(lastReplyBytes_) +
                                  kAdapterLatency + kHostMargin;
    ReplyWait quiet = wait_;
    quiet.begin = whole;
    quiet.reads =
        static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(whole).count() / readMs + 1);
    std::vector<uint8_t> further(kMaxReplyData);
    const Clock::time_point giveUp = Clock::now() + kResendSettleRounds * whole;
    for (;;) {
        std::ranges::fill(receiveBuffer_, 0);
        ReplyParser parser(further, receiveBuffer_.size());
        const bool complete = readFrame(parser, quiet, Clock::now(), true);
        if (parser.consumed() == 0) {
            return true;
        }
        notify(FrameDirection::kReceived, std::span(receiveBuffer_).first(parser.consumed()));
        if (!complete) {
            discardRestOfReply();
            return false;
        }
        const auto data =
            std::span<const uint8_t>(further).first(static_cast<size_t>(parser.count()));
        const Answer other{parser.count(), parser.opcode(), parser.address(), data};
        const bool agrees =
            match(other.opcode, other.address, data) && judge(other) == Verdict::kPass &&
            (agreement == Agreement::kVerdict || std::ranges::equal(data, takenData));
        if (!agrees || Clock::now() >= giveUp) {
            return false;
        }
    }
}

// The retry pattern: attempts until the judge passes or stops them, dropping the port-level
// records of each failed attempt. A refusal of the last reply is kept as the root cause under
// the record the operation adds, since nothing else would say why the reply was not taken.
SBEP::Attempts SBEP::retry(std::span<const uint8_t> frame, uint32_t& replyAddress, uint8_t& lastOpc,
                           std::span<uint8_t> replyData, const Judge& judge, const Match& match,
                           Agreement agreement) {
    int result = -1;
    for (int attempt = 0; attempt < trials_; ++attempt) {
        if (haltForStop()) {
            return {-1, false};
        }
        const bool replyOwed = attempt > 0 && unsettled_;
        result = transactMatching(frame, replyAddress, lastOpc, replyData, match, replyOwed);
        const Answer answer{result, lastOpc, replyAddress, dataOf(replyData, result)};
        Verdict verdict = judge(answer);
        if (verdict == Verdict::kPass && attempt > 0 &&
            !resendConfirmed(frame, judge, match, answer, agreement)) {
            // Which attempt the reply answered cannot be told: the request is sent again after
            // a quiet line, and fails when no attempt is left.
            unsettled_ = true;
            lastRefusal_ = kRepliesDisagree;
            result = kReplyRefused;
            verdict = Verdict::kRetry;
        }
        if (verdict == Verdict::kPass) {
            return {result, true};
        }
        ErrorChain::remove(kErrorProt);
        if (verdict == Verdict::kStop) {
            break;
        }
    }
    if (!lastRefusal_.empty()) {
        ErrorChain::add(kErrorProt, L"%ls", lastRefusal_.c_str());
    }
    return {result, false};
}

// A reply that arrived but failed its test is a failure too: callers test only the sign.
int SBEP::outcome(const Attempts& run) {
    return run.passed ? run.result : std::min(run.result, kReplyRefused);
}

SBEP::Verdict SBEP::passIf(bool passed) {
    return passed ? Verdict::kPass : Verdict::kRetry;
}

SBEP::Match SBEP::anyReply() {
    return [](uint8_t, uint32_t, std::span<const uint8_t>) { return true; };
}

// The requests whose success test names a reply opcode; a radio need not echo anything else.
SBEP::Match SBEP::opcodeIs(uint8_t replyOpcode) {
    return [replyOpcode](uint8_t opcode, uint32_t, std::span<const uint8_t>) {
        return opcode == replyOpcode;
    };
}

// Memory reads and writes: a reply with an address field answers the request for that address
// only. A reply without one cannot be told from any other; a write takes it as its refusal.
SBEP::Match SBEP::echoes(uint32_t address, bool refusalsToo) {
    return [address, refusalsToo](uint8_t opcode, uint32_t echoed, std::span<const uint8_t>) {
        return carriesAddress(opcode) ? echoed == address : refusalsToo;
    };
}

// The test of the requests that a radio accepts with one reply opcode.
SBEP::Judge SBEP::acceptedBy(uint8_t replyOpcode) {
    return [replyOpcode](const Answer& answer) {
        return passIf(answer.result >= 0 && answer.opcode == replyOpcode);
    };
}

int SBEP::memRead(int n, uint32_t& address, uint8_t& lastOpc, std::span<uint8_t> destination) {
    if (!usable() || n < 0 || n > maxPayload_) {
        return -1;
    }
    SmallFrame buffer;
    const auto [a2, a1, a0] = addressBytes(address);
    const auto frame = putLongFrame(buffer, kOpMemRead, {static_cast<uint8_t>(n), a2, a1, a0});
    // Only a reply that echoes the address asked for answers this read: a late reply to an
    // earlier request, arriving after the purge, would put its bytes in the wrong place.
    const uint32_t asked = address;
    const Attempts run = retry(
        frame, address, lastOpc, destination,
        [asked](const Answer& answer) {
            return passIf(answer.result > 0 && carriesAddress(answer.opcode) &&
                          answer.address == asked);
        },
        echoes(asked, false), Agreement::kVerdictAndData);
    if (!run.passed) {
        ErrorChain::add(kErrorSbep,
                        L"Error:failed to do memRead after %d trials. Address is %d, length is %d, "
                        L"the status is %d, the last OPC is %d.",
                        trials_, static_cast<int>(address), n, run.result,
                        static_cast<int>(lastOpc));
    }
    return outcome(run);
}

int SBEP::memWrite(std::span<const uint8_t> data, uint32_t& address, uint8_t& lastOpc,
                   std::span<uint8_t> replyData) {
    if (!usable() || data.size() > static_cast<size_t>(maxPayload_)) {
        return -1;
    }
    const int n = static_cast<int>(data.size());
    const auto [a2, a1, a0] = addressBytes(address);
    const auto frame =
        putLongFrame(transmitBuffer_, kOpMemWrite, {kWriteCommand, a2, a1, a0}, data);
    // An answer without an address field is the radio's refusal of this write: asking again is
    // futile. An acknowledgement of another address is a late one for an earlier write: it is
    // dropped and the attempt listens on for its own.
    const uint32_t asked = address;
    const Attempts run = retry(
        frame, address, lastOpc, replyData,
        [asked](const Answer& answer) {
            if (answer.result < 0) {
                return Verdict::kRetry;
            }
            if (answer.opcode != kReplyMemWriteDone) {
                return Verdict::kStop;
            }
            return answer.address == asked ? Verdict::kPass : Verdict::kRetry;
        },
        echoes(asked, true));
    if (!run.passed) {
        ErrorChain::add(kErrorSbep,
                        L"Error:failed to do memWrite after %d trials. Address is %d, length is "
                        L"%d, the status is %d, the last OPC is %d.",
                        trials_, static_cast<int>(address), n, run.result,
                        static_cast<int>(lastOpc));
    }
    return outcome(run);
}

int SBEP::resetDevice(uint8_t type, uint8_t& lastOpc, std::span<uint8_t> replyData) {
    if (!usable()) {
        return -1;
    }
    SmallFrame buffer;
    const auto frame = putLongFrame(buffer, kOpReset, {type});
    uint32_t replyAddress = 0;
    const Attempts run = retry(frame, replyAddress, lastOpc, replyData,
                               [](const Answer& answer) { return passIf(answer.result >= 0); });
    if (!run.passed) {
        ErrorChain::add(kErrorSbep,
                        L"Error:failed to reset device after %d trials. Reset type is %d, the "
                        L"status is %d, the last OPC is %d.",
                        trials_, static_cast<int>(type), run.result, static_cast<int>(lastOpc));
    }
    return outcome(run);
}

int SBEP::requestTestMode(uint8_t type, std::array<uint8_t, 2> p0p1, uint8_t& lastOpc,
                          std::span<uint8_t> replyData) {
    if (!usable()) {
        return -1;
    }
    SmallFrame buffer;
    const auto frame = putShortFrame(buffer, kOpTestMode, {type, p0p1[0], p0p1[1]});
    uint32_t replyAddress = 0;
    const Attempts run = retry(frame, replyAddress, lastOpc, replyData, acceptedBy(kReplyAccepted),
                               opcodeIs(kReplyAccepted));
    if (lastOpc != kReplyAccepted) {
        ErrorChain::add(kErrorSbep,
                        L"Error:failed to request for test mode after %d trials. Test mode type "
                        L"is %d, the status is %d, the last OPC is %d.",
                        trials_, static_cast<int>(type), run.result, static_cast<int>(lastOpc));
    }
    return outcome(run);
}

int SBEP::softpotWrite(uint8_t type, uint8_t sub, std::span<const uint8_t> data, uint8_t& lastOpc,
                       std::span<uint8_t> replyData) {
    // The length field (type, two zeros, sub, data and checksum) is 16 bits wide.
    constexpr size_t kHead = 4;
    if (!usable() || data.size() + kHead + 1 > 0xFFFF) {
        return -1;
    }
    std::vector<uint8_t> buffer(data.size() + 9);
    const auto frame = putLongFrame(buffer, kOpSoftpot, {type, 0x00, 0x00, sub}, data);
    uint32_t replyAddress = 0;
    const Attempts run = retry(frame, replyAddress, lastOpc, replyData, acceptedBy(kReplyAccepted),
                               opcodeIs(kReplyAccepted));
    if (lastOpc != kReplyAccepted) {
        ErrorChain::add(kErrorSbep,
                        L"Error:failed to do softport write after %d trials. Softpot type is %d, "
                        L"the status is %d, the last OPC is %d.",
                        trials_, static_cast<int>(type), run.result, static_cast<int>(lastOpc));
    }
    return outcome(run);
}

int SBEP::softpotRead(uint8_t& lastOpc, std::span<uint8_t> replyData) {
    if (!usable()) {
        return -1;
    }
    SmallFrame buffer;
    const auto frame = putLongFrame(buffer, kOpSoftpotRead, {kSoftpotReadItem, 0x00, 0x00});
    uint32_t replyAddress = 0;
    const Attempts run = retry(
        frame, replyAddress, lastOpc, replyData,
        [](const Answer& answer) {
            return passIf(answer.result > 0 && answer.opcode == kReplySoftpotReadDone);
        },
        opcodeIs(kReplySoftpotReadDone), Agreement::kVerdictAndData);
    if (lastOpc != kReplySoftpotReadDone) {
        ErrorChain::add(kErrorSbep, L"Error:failed to do softport read.");
    }
    return outcome(run);
}

int SBEP::readRadioItem(uint8_t item, uint8_t& lastOpc, std::span<uint8_t> replyData) {
    if (!usable()) {
        return -1;
    }
    SmallFrame buffer;
    const auto frame = putShortFrame(buffer, kOpRadioItem, {item});
    uint32_t replyAddress = 0;
    return outcome(retry(
        frame, replyAddress, lastOpc, replyData,
        [](const Answer& answer) { return passIf(answer.result > 0); }, anyReply(),
        Agreement::kVerdictAndData));
}

int SBEP::updateSN(std::span<const uint8_t> data, uint8_t& lastOpc, std::span<uint8_t> replyData) {
    if (!usable() || data.size() > static_cast<size_t>(kMaxSerialBytes)) {
        return -1;
    }
    SmallFrame buffer;
    const auto frame =
        putShortFrame(buffer, kOpUpdateSerial, {kUpdateSerialHead[0], kUpdateSerialHead[1]}, data);
    uint32_t replyAddress = 0;
    const Attempts run = retry(frame, replyAddress, lastOpc, replyData,
                               [](const Answer& answer) { return passIf(answer.result >= 0); });
    // Recorded even when a reply passed: only 0x8C says the radio took the number.
    if (lastOpc != kReplyAccepted) {
        ErrorChain::add(kErrorSbep, L"Error:failed to request to update SN.");
        return std::min(run.result, kReplyRefused);
    }
    return outcome(run);
}

int SBEP::requestProtectionMode(uint16_t mode, uint8_t& lastOpc, std::span<uint8_t> replyData) {
    if (!usable()) {
        return -1;
    }
    SmallFrame buffer;
    const auto frame =
        putShortFrame(buffer, kOpFlash,
                      {kProtectionHead[0], kProtectionHead[1], byteOf(mode, 8), byteOf(mode, 0)});
    uint32_t replyAddress = 0;
    const Attempts run = retry(frame, replyAddress, lastOpc, replyData,
                               acceptedBy(kReplyFlashAccepted), opcodeIs(kReplyFlashAccepted));
    if (lastOpc != kReplyFlashAccepted) {
        ErrorChain::add(kErrorSbep,
                        L"Error:failed to request for protection model after %d trials. Mode type "
                        L"is %d, the status is %d, the last OPC is %d.",
                        trials_, static_cast<int>(mode), run.result, static_cast<int>(lastOpc));
    }
    return outcome(run);
}

int SBEP::eraseFlash(uint8_t type, uint32_t address, uint8_t& lastOpc,
                     std::span<uint8_t> replyData) {
    if (!usable()) {
        return -1;
    }
    SmallFrame buffer;
    const auto [a2, a1, a0] = addressBytes(address);
    const auto frame = putLongFrame(buffer, kOpFlash, {type, a2, a1, a0});
    // The copy takes the address the radio echoes (or 0); the record shows it.
    const Attempts run = retry(frame, address, lastOpc, replyData, acceptedBy(kReplyFlashAccepted),
                               opcodeIs(kReplyFlashAccepted));
    if (lastOpc != kReplyFlashAccepted) {
        ErrorChain::add(kErrorSbep,
                        L"Error:failed to request for erase falsh after %d trials. Erase type is "
                        L"%d, the address is %d, the status is %d, the last OPC is %d.",
                        trials_, static_cast<int>(type), static_cast<int>(address), run.result,
                        static_cast<int>(lastOpc));
    }
    return outcome(run);
}

int SBEP::writeFlash(std::span<const uint8_t> data, uint32_t address, uint8_t& lastOpc,
                     std::span<uint8_t> replyData) {
    data = data.first(std::min(data.size(), static_cast<size_t>(kFlashChunk)));
    const int frameLength = static_cast<int>(data.size()) + 9;
    const auto record = [&](int result) {
        ErrorChain::add(kErrorSbep,
                        L"Error:failed to request to write flash with %d bytes after %d trials. "
                        L"The address is %d, the status is %d, the last OPC is %d.",
                        frameLength, trials_, static_cast<int>(address), result,
                        static_cast<int>(lastOpc));
    };
    if (!usable()) {
        lastOpc = 0;  // no reply arrived
        record(-1);
        return -1;
    }
    std::vector<uint8_t> buffer(kReceiveBufferSize);
    const auto [a2, a1, a0] = addressBytes(address);
    const auto frame = putLongFrame(buffer, kOpFlash, {kWriteCommand, a2, a1, a0}, data);
    uint32_t replyAddress = address;
    const Attempts run = retry(frame, replyAddress, lastOpc, replyData,
                               acceptedBy(kReplyFlashAccepted), opcodeIs(kReplyFlashAccepted));
    if (run.result < 0 || lastOpc != kReplyFlashAccepted) {
        record(run.result);
    }
    return outcome(run);
}

int SBEP::factoryBlockBackup(uint8_t& lastOpc, std::span<uint8_t> replyData) {
    lastOpc = kBadLeadIn;
    if (!usable()) {
        return -1;
    }
    SmallFrame buffer;
    const auto frame = putShortFrame(buffer, kOpSoftpot,
                                     {kFactoryBackupBody[0], kFactoryBackupBody[1],
                                      kFactoryBackupBody[2], kFactoryBackupBody[3]});
    uint32_t replyAddress = 0;
    const Attempts run = retry(frame, replyAddress, lastOpc, replyData, acceptedBy(kReplyAccepted),
                               opcodeIs(kReplyAccepted));
    if (lastOpc != kReplyAccepted) {
        ErrorChain::add(kErrorSbep, L"Error:failed to request to do factory block backup.");
    }
    return outcome(run);
}

int SBEP::contactCommand(uint8_t sub, std::span<const uint8_t> data, uint8_t& lastOpc,
                         std::span<uint8_t> replyData) {
    // Short while the count after the opcode (sub, data, checksum) stays below 15.
    const bool shortForm = data.size() + 2 < static_cast<size_t>(kShortMaxCount);
    const size_t frameLength = data.size() + (shortForm ? 4 : 6);
    const auto limit = static_cast<size_t>(std::min(maxPayload_, kContactFrameCapacity));
    // A reply that passes carries data, so a buffer without room could never pass.
    if (!usable() || data.data() == nullptr || replyData.empty() || frameLength > limit) {
        return -1;
    }
    std::array<uint8_t, kContactFrameCapacity> buffer;
    const auto frame = shortForm ? putShortFrame(buffer, kOpContact, {sub}, data)
                                 : putLongFrame(buffer, kOpContact, {sub}, data);
    uint32_t replyAddress = 0;
    // A contact reply answers the sub that its first data byte names; a real radio need not echo
    // the contact's index, so nothing else tells replies apart.
    const auto expected = [sub]() -> std::optional<uint8_t> {
        if (sub == kContactWrite) {
            return kContactWriteDone;
        }
        if (sub == kContactRead) {
            return kContactReadDone;
        }
        return std::nullopt;
    }();
    const Match match = [expected](uint8_t opcode, uint32_t, std::span<const uint8_t> data) {
        return !expected || (opcode == kReplyContactDone && !data.empty() && data[0] == *expected);
    };
    const auto judge = [sub](const Answer& answer) {
        if (answer.result <= 0 || answer.opcode != kReplyContactDone || answer.data.empty()) {
            return Verdict::kRetry;
        }
        const uint8_t first = answer.data[0];
        const bool done = (sub == kContactWrite && first == kContactWriteDone) ||
                          (sub == kContactRead && first == kContactReadDone);
        return passIf(done);
    };
    // Two replies to one contact read that carry different contacts answer different requests.
    const Agreement agreement =
        sub == kContactRead ? Agreement::kVerdictAndData : Agreement::kVerdict;
    return outcome(retry(frame, replyAddress, lastOpc, replyData, judge, match, agreement));
}

int SBEP::performMasterReset(uint8_t& lastOpc, std::span<uint8_t> replyData) {
    if (!usable()) {
        return -1;
    }
    SmallFrame buffer;
    const auto frame = putShortFrame(buffer, kOpContact, {kContactMasterReset});
    const Judge judge = [](const Answer& answer) { return passIf(answer.result > 0); };
    uint32_t replyAddress = 0;
    int result = -1;
    // Its own loop: the last attempt's port records stay as the cause.
    for (int attempt = 0; attempt < trials_; ++attempt) {
        if (attempt > 0) {
            ErrorChain::remove(kErrorProt);
        }
        if (haltForStop()) {
            return kMasterResetFailed;
        }
        const bool replyOwed = attempt > 0 && unsettled_;
        result = transactMatching(frame, replyAddress, lastOpc, replyData, anyReply(), replyOwed);
        const Answer answer{result, lastOpc, replyAddress, dataOf(replyData, result)};
        if (result > 0 && attempt > 0 &&
            !resendConfirmed(frame, judge, anyReply(), answer, Agreement::kVerdict)) {
            unsettled_ = true;
            result = -1;
            continue;
        }
        if (result > 0) {
            break;
        }
    }
    if (result < 0) {
        return kMasterResetFailed;
    }
    if (result == 0) {
        return kMasterResetNoData;
    }
    const bool done = lastOpc == kReplyContactDone && replyData[0] == kMasterResetDone;
    return done ? result : kMasterResetRefused;
}

int SBEP::queryFlashMode(uint8_t& lastOpc, std::span<uint8_t> replyData) {
    if (!usable()) {
        return -1;
    }
    SmallFrame buffer;
    const auto frame =
        putShortFrame(buffer, kOpQueryFlashMode, {kQueryFlashModeBody[0], kQueryFlashModeBody[1]});
    uint32_t replyAddress = 0;
    return outcome(retry(frame, replyAddress, lastOpc, replyData,
                         [](const Answer& answer) { return passIf(answer.result >= 0); }));
}

int SBEP::setRadioBaudRate(uint8_t sub, uint8_t& lastOpc, std::span<uint8_t> replyData) {
    if (!usable()) {
        return -1;
    }
    if (port_->baudRate() == kRadioBaudRate) {
        return 0;
    }
    const std::array<uint8_t, 4> rate = {byteOf(kRadioBaudRate, 24), byteOf(kRadioBaudRate, 16),
                                         byteOf(kRadioBaudRate, 8), byteOf(kRadioBaudRate, 0)};
    int result = -1;
    bool accepted = false;
    for (int attempt = 0; attempt < trials_ && !accepted; ++attempt) {
        if (attempt > 0) {
            ErrorChain::remove(kErrorProt);
        }
        result = softpotWrite(kSoftpotBaudRate, sub, rate, lastOpc, replyData);
        accepted = result >= 0 && lastOpc == kReplyAccepted;
        // softpotWrite has recorded the stop; asking again would record it twice.
        if (stopped()) {
            break;
        }
    }
    // A radio that answered without accepting stays at its rate, so the port must too, and the
    // caller must see a failure.
    if (!accepted) {
        return result < 0 ? result : -1;
    }
    if (!port_->setBaudRate(kRadioBaudRate)) {
        return -1;
    }
    return result;
}

int SBEP::probeCableMode() {
    if (!usable()) {
        return kCableUnsupported;
    }
    // A new connection: nothing is owed from the last one's requests.
    unsettled_ = false;
    port_->setTimeouts(kProbeReadTimeoutMs, kProbeWriteTimeoutMs);
    SmallFrame buffer;
    const auto frame = putShortFrame(buffer, kOpCableProbe, {});
    const auto answer = std::span(receiveBuffer_).first(frame.size());
    for (int attempt = 0; attempt < trials_; ++attempt) {
        port_->purge(USBSerial::kPurgeRxTx);
        notify(FrameDirection::kSent, frame);
        const int n = static_cast<int>(frame.size());
        if (port_->write(frame.data(), n) != n) {
            continue;
        }
        const bool answered = readPort(answer) == n;
        notify(FrameDirection::kReceived, answered ? answer : answer.first(0));
        if (!answered) {
            // Nothing (or too little) came back: the cable is in its digital mode.
            echoCable_ = false;
            return kCableDigital;
        }
        if (std::ranges::equal(answer, frame)) {
            port_->purge(USBSerial::kPurgeRxTx);
            echoCable_ = true;
            return kCableEcho;
        }
    }
    return kCableUnsupported;
}

}  // namespace plugshift
