#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "radio/frame_event.h"
#include "radio/sbep_protocol.h"

namespace plugshift {

class FrameRing;
class ReplyParser;
class USBSerial;

// The radio's request/reply engine. A transaction writes one request frame and parses one reply;
// every radio operation runs its frame under the same retry pattern and judges the reply by its
// own test. Results are the count of reply data bytes (>= 0) or negative; lastOpc is the reply
// opcode of the last attempt (0 when no frame arrived, 0x60 after a wrong lead-in).
//
// Every replyData span bounds what a reply may write: a reply announcing more data than the span
// holds is refused without writing (see ReplyParser), and so is one that would overrun the
// receive buffer or leaves no room before its checksum. A refusal fails the transaction with a
// category-3 record saying why; the retry pattern drops it between attempts like every port
// record, but keeps the last attempt's refusal as the root cause under the operation's own
// category-2 record. A span of sbep::kMaxReplyData bytes takes any reply.
// Nothing is sent or recorded when the port is not usable.
//
// Each request waits for its reply as long as the radio may take for it (at least the per-opcode
// time-outs), and takes only a reply that matches it; a complete reply that does not is dropped
// and the attempt listens on. Before a request goes out after an attempt that went without its
// reply, the line must have been quiet for that request's longest time, so a late reply lands
// and is dropped instead of being taken for the next request's. Once a reply has begun, the rest
// must come at the line's rate: the long waits cover only its beginning.
//
// A resend leaves two answers on their way, and nothing in a reply says which attempt it
// answers: the one taken may be the first attempt's, very late, with the resend's own still to
// come. The radio answers in order, so a reply later than the quiet before the resend holds back
// the resend's own: a resend's wait is longer by that quiet again, to take the late one. So after a
// resend the line is trusted again only once it has been quiet for the whole wait of the resend; a
// further reply in that time answers this request too, and when it disagrees with the one taken
// (accepted against refused, or other data for a read) the request's outcome is unknown: it counts
// as failed and is sent again after a quiet line. Without a resend this costs nothing.
class SBEP {
public:
    // probeCableMode results.
    static constexpr int kCableUnsupported = 0;
    static constexpr int kCableEcho = 1;
    static constexpr int kCableDigital = 2;
    // What an operation returns when a reply came but failed the operation's test (a declined
    // request, a wrong opcode): callers judge by the sign alone.
    static constexpr int kReplyRefused = -1;
    // performMasterReset results besides the reply count.
    static constexpr int kMasterResetFailed = -1;
    static constexpr int kMasterResetNoData = -2;
    static constexpr int kMasterResetRefused = -3;

    explicit SBEP(USBSerial* port);
    virtual ~SBEP() = default;
    SBEP(const SBEP&) = delete;
    SBEP& operator=(const SBEP&) = delete;

    // 0xFF minus the sum of the bytes, modulo 256.
    static uint8_t sbepChecksum(std::span<const uint8_t> bytes);

    // All of destination, or -1 with a category-3 record.
    int readPort(std::span<uint8_t> destination);
    // All of source (swallowing a cable's echo), or -1; a record unless the port is unusable.
    int writePort(std::span<const uint8_t> source);
    // One request and its reply (any reply) under the per-opcode attempts and time-outs.
    int transact(std::span<const uint8_t> frame, uint32_t& replyAddress, uint8_t& lastOpc,
                 std::span<uint8_t> replyData);

    int memRead(int n, uint32_t& address, uint8_t& lastOpc, std::span<uint8_t> destination);
    int memWrite(std::span<const uint8_t> data, uint32_t& address, uint8_t& lastOpc,
                 std::span<uint8_t> replyData);
    int resetDevice(uint8_t type, uint8_t& lastOpc, std::span<uint8_t> replyData);
    int requestTestMode(uint8_t type, std::array<uint8_t, 2> p0p1, uint8_t& lastOpc,
                        std::span<uint8_t> replyData);
    int softpotWrite(uint8_t type, uint8_t sub, std::span<const uint8_t> data, uint8_t& lastOpc,
                     std::span<uint8_t> replyData);
    int softpotRead(uint8_t& lastOpc, std::span<uint8_t> replyData);
    int readRadioItem(uint8_t item, uint8_t& lastOpc, std::span<uint8_t> replyData);
    int updateSN(std::span<const uint8_t> data, uint8_t& lastOpc, std::span<uint8_t> replyData);
    int requestProtectionMode(uint16_t mode, uint8_t& lastOpc, std::span<uint8_t> replyData);
    int eraseFlash(uint8_t type, uint32_t address, uint8_t& lastOpc, std::span<uint8_t> replyData);
    // Sends at most sbep::kFlashChunk bytes of data.
    int writeFlash(std::span<const uint8_t> data, uint32_t address, uint8_t& lastOpc,
                   std::span<uint8_t> replyData);
    int factoryBlockBackup(uint8_t& lastOpc, std::span<uint8_t> replyData);
    // data with no storage or an empty replyData counts as missing: -1, nothing sent.
    int contactCommand(uint8_t sub, std::span<const uint8_t> data, uint8_t& lastOpc,
                       std::span<uint8_t> replyData);
    int performMasterReset(uint8_t& lastOpc, std::span<uint8_t> replyData);
    // Opcode 0x24, asked right after FLASH test mode is entered, as the radio expects; nothing
    // depends on its reply.
    int queryFlashMode(uint8_t& lastOpc, std::span<uint8_t> replyData);
    // Asks the radio to run at 57600 baud and follows it; sends nothing when the port already
    // runs at that rate.
    int setRadioBaudRate(uint8_t sub, uint8_t& lastOpc, std::span<uint8_t> replyData);
    // kCableUnsupported, kCableEcho or kCableDigital; sets echoCable.
    int probeCableMode();

    // Sees every request frame sent and every reply received (an empty one when nothing came);
    // unset, it costs one test per frame.
    void setFrameObserver(FrameObserver observer) { observer_ = std::move(observer); }
    // Keeps the same frames beside the observer (the radio record's always-on trace); not owned.
    void setFrameRing(FrameRing* ring) { ring_ = ring; }

    // While *stop is true no request frame is sent: a transaction returns -1 at once, the retry
    // pattern makes no further attempt and the operation records that the user stopped it. A
    // request already on the line completes. Not owned; null (the default) never stops.
    void setStopSignal(const std::atomic<bool>* stop) { stop_ = stop; }
    const std::atomic<bool>* stopSignal() const { return stop_; }
    bool stopped() const { return stop_ != nullptr && stop_->load(); }

    int trials() const { return trials_; }
    int waitTrials() const { return waitTrials_; }
    bool echoCable() const { return echoCable_; }
    int maxPayload() const { return maxPayload_; }

private:
    using Clock = std::chrono::steady_clock;
    enum class Verdict { kPass, kRetry, kStop };
    // One reply as an operation's success test sees it.
    struct Answer {
        int result;
        uint8_t opcode;
        uint32_t address;
        std::span<const uint8_t> data;
    };
    using Judge = std::function<Verdict(const Answer& answer)>;
    // What must agree between two replies to one request: their verdict always, and for a read
    // the data it returns.
    enum class Agreement { kVerdict, kVerdictAndData };
    // Whether a complete reply answers the request on the line, by what the protocol fixes (the
    // opcode the success test names, an echoed address, a contact reply's first byte). One that
    // does not is dropped and the attempt goes on listening.
    using Match =
        std::function<bool(uint8_t opcode, uint32_t address, std::span<const uint8_t> data)>;
    struct Attempts {
        int result;
        bool passed;
    };
    // How long the reply to the request on the line may take to begin: silent reads of the read
    // time-out, and the same on the steady clock (with the long count of a reset).
    struct ReplyWait {
        int reads = 0;
        Clock::duration begin{};
        // From the lead-in to the frame's start byte: a restarting radio may chatter, but only
        // for as long as it may take to answer.
        Clock::duration chatter{};
    };

    static int outcome(const Attempts& run);
    static Verdict passIf(bool passed);
    static Judge acceptedBy(uint8_t replyOpcode);
    static Match anyReply();
    static Match opcodeIs(uint8_t replyOpcode);
    static Match echoes(uint32_t address, bool refusalsToo);
    static std::chrono::milliseconds longestAnswer(std::span<const uint8_t> frame);

    bool usable() const;
    bool haltForStop();
    Clock::duration lineTime(size_t bytes) const;
    // transact taking only the replies that match; replyOwed: an earlier attempt of the same
    // request went without its reply.
    int transactMatching(std::span<const uint8_t> frame, uint32_t& replyAddress, uint8_t& lastOpc,
                         std::span<uint8_t> replyData, const Match& match, bool replyOwed = false);
    int exchange(std::span<const uint8_t> frame, uint32_t& replyAddress, uint8_t& lastOpc,
                 std::span<uint8_t> replyData, const Match& match, bool replyOwed);
    void applyOpcodeSettings(std::span<const uint8_t> frame);
    void sizeReplyWait(std::span<const uint8_t> frame);
    ReplyWait waitCoveringOwedReply() const;
    int receiveReply(uint32_t& replyAddress, uint8_t& lastOpc, std::span<uint8_t> replyData,
                     const Match& match, const ReplyWait& wait);
    // One frame within `wait` from `from`; silence is recorded unless quietIsFine.
    bool readFrame(ReplyParser& parser, const ReplyWait& wait, Clock::time_point from,
                   bool quietIsFine = false);
    bool resendConfirmed(std::span<const uint8_t> frame, const Judge& judge, const Match& match,
                         const Answer& taken, Agreement agreement);
    void discardRestOfReply();
    void letStragglersLand();
    void swallowEcho(size_t n);
    Attempts retry(std::span<const uint8_t> frame, uint32_t& replyAddress, uint8_t& lastOpc,
                   std::span<uint8_t> replyData, const Judge& judge,
                   const Match& match = anyReply(), Agreement agreement = Agreement::kVerdict);
    void notify(FrameDirection direction, std::span<const uint8_t> bytes);

    int trials_ = sbep::kDefaultTrials;
    int waitTrials_ = sbep::kDefaultWaitTrials;
    bool echoCable_ = false;
    int maxPayload_ = sbep::kMaxPayload;
    std::array<uint8_t, sbep::kReceiveBufferSize> receiveBuffer_{};
    std::array<uint8_t, sbep::kTransmitBufferSize> transmitBuffer_{};
    USBSerial* port_;
    // Why the parser refused the reply of the last transaction; empty when it did not.
    std::wstring lastRefusal_;
    FrameObserver observer_;
    FrameRing* ring_ = nullptr;
    const std::atomic<bool>* stop_ = nullptr;
    ReplyWait wait_;
    // The last attempt ended without its reply: one may still be on its way.
    bool unsettled_ = false;
    Clock::duration stragglerQuiet_{};
    // Raw bytes of the last reply taken: its line time is part of a resend's whole wait.
    size_t lastReplyBytes_ = 0;
};

}  // namespace plugshift
