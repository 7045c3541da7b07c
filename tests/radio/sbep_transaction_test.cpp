#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>

#include "sbep_rig.h"
#include "sim/sim_d2xx.h"

namespace plugshift {
namespace {

using test::Bytes;
using test::Record;
using test::SbepRig;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// memRead of 16 bytes at 0x010203
const Bytes kMemRead16 = {0xFF, 0x11, 0x00, 0x05, 0x10, 0x01, 0x02, 0x03, 0xD4};
// reply 0x80 echoing 0x010203 and carrying 11 22 33 44
const Bytes kFourBytes = {0x50, 0xF9, 0x80, 0x00, 0x01, 0x02, 0x03, 0x11, 0x22, 0x33, 0x44, 0xD6};

TEST(SbepChecksumTest, IsFFMinusTheByteSum) {
    const Bytes memRead = {0xFF, 0x11, 0x00, 0x05, 0x10, 0x01, 0x02, 0x03};
    EXPECT_EQ(SBEP::sbepChecksum(memRead), 0xD4);
    const Bytes probe = {0xF1, 0x40};
    EXPECT_EQ(SBEP::sbepChecksum(probe), 0xCE);
    EXPECT_EQ(SBEP::sbepChecksum({}), 0xFF);
}

TEST(SbepTransactTest, RunsOneExchangeAndReadsTheAcknowledge) {
    SbepRig rig;
    rig.answer({{0x50, 0xFF, 0x84, 0x00, 0x05, 0x00, 0x01, 0x02, 0x03, 0x71}});
    const Bytes frame = {0xFF, 0x17, 0x00, 0x06, 0x01, 0x01, 0x02, 0x03, 0x99, 0x43};
    uint32_t replyAddress = 0xFFFFFFFF;
    EXPECT_EQ(rig.engine.transact(frame, replyAddress, rig.lastOpc, rig.reply), 0);
    EXPECT_EQ(rig.lastOpc, 0x84);
    EXPECT_EQ(replyAddress, 0x00010203u);
    EXPECT_THAT(rig.writes, ElementsAre(frame));
    // Byte by byte up to the length, then the rest of the frame in one read, never past it.
    std::vector<std::string> expected = {"FT_Purge(3)", "FT_SetTimeouts(250,300)", "FT_Purge(4)",
                                         "FT_Write(10)"};
    expected.insert(expected.end(), 5, "FT_Read(1)");
    expected.emplace_back("FT_Read(5)");
    EXPECT_EQ(rig.d2xx.calls, expected);
    EXPECT_THAT(SbepRig::chain(), IsEmpty());
}

TEST(SbepTransactTest, WrongLeadInReportsOpcode0x60) {
    SbepRig rig;
    rig.answer({{0x60, 0xF2, 0x8C, 0x07, 0x7A}});
    uint32_t replyAddress = 0;
    EXPECT_EQ(rig.engine.transact(kMemRead16, replyAddress, rig.lastOpc, rig.reply), -1);
    EXPECT_EQ(rig.lastOpc, 0x60);
}

// On a silent line the reply wait is waitTrials reads long, and the record names that count.
TEST(SbepTransactTest, AppliesPerOpcodeSettingsForOneTransaction) {
    struct Case {
        const char* name;
        Bytes frame;
        const char* timeouts;  // nullptr: the time-outs are left alone
        int waitReads;
    };
    const Case cases[] = {
        {"reset", {0xFF, 0x10, 0x00, 0x02, 0x01, 0xED}, "FT_SetTimeouts(600,200)", 4},
        {"item", {0xF2, 0x23, 0x03, 0xE7}, "FT_SetTimeouts(100,300)", 1},
        {"reset all blocks", {0xFF, 0x38, 0x00, 0x05, 0x2E, 0x00, 0x00, 0x00, 0x95}, nullptr, 100},
        {"baud rate",
         {0xFF, 0x38, 0x00, 0x09, 0x2A, 0x00, 0x00, 0x01, 0x00, 0x00, 0xE1, 0x00, 0xB3},
         nullptr,
         100},
        {"other softpot",
         {0xFF, 0x38, 0x00, 0x05, 0x27, 0x00, 0x00, 0x00, 0x9C},
         "FT_SetTimeouts(250,300)",
         2},
        {"flash",
         {0xFF, 0x72, 0x00, 0x05, 0x04, 0x0A, 0x10, 0x00, 0x6B},
         "FT_SetTimeouts(300,3000)",
         2},
        {"memory read", kMemRead16, "FT_SetTimeouts(250,300)", 2},
    };
    for (const Case& c : cases) {
        SbepRig rig;
        uint32_t replyAddress = 0;
        EXPECT_EQ(rig.engine.transact(c.frame, replyAddress, rig.lastOpc, rig.reply), -1);
        EXPECT_EQ(rig.lastOpc, 0) << c.name;
        const auto timeouts = rig.d2xx.callsTo("FT_SetTimeouts");
        if (c.timeouts == nullptr) {
            EXPECT_THAT(timeouts, IsEmpty()) << c.name;
        } else {
            EXPECT_THAT(timeouts, ElementsAre(c.timeouts)) << c.name;
        }
        EXPECT_EQ(rig.d2xx.callsTo("FT_Read").size(), static_cast<size_t>(c.waitReads)) << c.name;
        const std::wstring message = L"Error:failed to read port for 1 bytes after " +
                                     std::to_wstring(c.waitReads) + L" trials.";
        EXPECT_THAT(SbepRig::chain(), ElementsAre(Record(3, message))) << c.name;
        EXPECT_EQ(rig.engine.trials(), 2) << c.name;
        EXPECT_EQ(rig.engine.waitTrials(), 2) << c.name;
    }
}

// The long count of a reset covers only the wait for its reply to begin: a lead-in alone is
// waited on with the reset's waits, but a reply that stops after its opcode fails after the
// normal two reads, not 500 read time-outs per missing byte.
TEST(SbepTransactTest, OnlyTheBeginningOfAReplyGetsTheLongWaits) {
    SbepRig rig;
    const Bytes reset = {0xFF, 0x10, 0x00, 0x02, 0x01, 0xED};
    uint32_t replyAddress = 0;
    rig.answer({{0x50}});
    EXPECT_EQ(rig.engine.transact(reset, replyAddress, rig.lastOpc, rig.reply), -1);
    // The lead-in, four waits for the start byte, and one read that finds the line quiet.
    EXPECT_EQ(rig.d2xx.callsTo("FT_Read").size(), 1u + 4u + 1u);
    EXPECT_THAT(SbepRig::chain(),
                ElementsAre(Record(3, L"Error:failed to read port for 1 bytes after 4 trials.")));

    struct Case {
        const char* name;
        Bytes reply;
        size_t reads;
    };
    const Case cases[] = {
        // lead-in, start, opcode, then the length bytes
        {"cut after the opcode", {0x50, 0xFF, 0x8C}, 3u + 2u},
        // lead-in, start, opcode, length, then what the length announces (one byte comes, the
        // port's read asks once more for the rest), then two reads of what is missing
        {"cut in its data", {0x50, 0xFF, 0x8C, 0x00, 0x05, 0x01}, 5u + 2u + 2u},
    };
    for (const Case& c : cases) {
        SbepRig cut;
        cut.answer({c.reply});
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(cut.engine.transact(reset, replyAddress, cut.lastOpc, cut.reply), -1) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << c.name;
        EXPECT_EQ(cut.lastOpc, 0x8C) << c.name;
        EXPECT_EQ(cut.d2xx.callsTo("FT_Read").size() - cut.d2xx.callsTo("FT_Read(64)").size(),
                  c.reads)
            << c.name;
        EXPECT_EQ(cut.engine.trials(), 2) << c.name;
        EXPECT_EQ(cut.engine.waitTrials(), 2) << c.name;
    }

    // A reply whose start byte was damaged never begins a frame: after its lead-in the rest is
    // skipped as chatter and the line is given the same four waits, not the reset's long count.
    SbepRig damaged;
    damaged.answer({{0x50, 0x08, 0x8C, 0x00, 0x05}});
    EXPECT_EQ(damaged.engine.transact(reset, replyAddress, damaged.lastOpc, damaged.reply), -1);
    EXPECT_EQ(damaged.d2xx.callsTo("FT_Read").size() - damaged.d2xx.callsTo("FT_Read(64)").size(),
              5u + 4u);
}

TEST(SbepTransactTest, ShortWriteIsRetriedThenRecorded) {
    SbepRig rig;
    rig.d2xx.failNext("FT_Write", FT_IO_ERROR, 2);
    uint32_t replyAddress = 0;
    EXPECT_EQ(rig.engine.transact(kMemRead16, replyAddress, rig.lastOpc, rig.reply), -1);
    EXPECT_EQ(rig.d2xx.callsTo("FT_Write").size(), 2u);
    EXPECT_THAT(rig.d2xx.callsTo("FT_Read"), IsEmpty());
    EXPECT_THAT(SbepRig::chain(),
                ElementsAre(Record(3, L"Error:failed to write port with 9 bytes after 2 trials.")));
}

TEST(SbepTransactTest, UnusablePortSendsNothing) {
    SbepRig rig;
    rig.port.close();
    rig.d2xx.calls.clear();
    uint32_t replyAddress = 0;
    EXPECT_EQ(rig.engine.transact(kMemRead16, replyAddress, rig.lastOpc, rig.reply), -1);
    EXPECT_EQ(rig.engine.writePort(kMemRead16), -1);
    EXPECT_THAT(rig.d2xx.calls, IsEmpty());
    EXPECT_THAT(SbepRig::chain(), IsEmpty());
}

TEST(SbepTransactTest, EchoOfAnEchoingCableIsSwallowed) {
    SbepRig rig;
    rig.d2xx.echo = true;
    ASSERT_EQ(rig.engine.probeCableMode(), SBEP::kCableEcho);
    ASSERT_TRUE(rig.engine.echoCable());
    rig.writes.clear();
    rig.d2xx.calls.clear();
    rig.answer({kFourBytes});
    uint32_t address = 0x010203;
    EXPECT_EQ(rig.engine.memRead(16, address, rig.lastOpc, rig.reply), 4);
    EXPECT_THAT(Bytes(rig.reply.begin(), rig.reply.begin() + 4),
                ElementsAre(0x11, 0x22, 0x33, 0x44));
    // The echo is read back right after the request, before the reply.
    const auto written = std::find(rig.d2xx.calls.begin(), rig.d2xx.calls.end(), "FT_Write(9)");
    ASSERT_NE(written, rig.d2xx.calls.end());
    EXPECT_EQ(*std::next(written), "FT_Read(9)");
}

TEST(SbepRetryTest, SuccessOnTheSecondAttemptLeavesNoRecord) {
    SbepRig rig;
    rig.answer({{}, kFourBytes});
    uint32_t address = 0x010203;
    EXPECT_EQ(rig.engine.memRead(16, address, rig.lastOpc, rig.reply), 4);
    EXPECT_THAT(rig.writes, ElementsAre(kMemRead16, kMemRead16));
    EXPECT_THAT(SbepRig::chain(), IsEmpty());
}

TEST(SbepRetryTest, FailureLeavesOneRecordNamingTrialsStatusAndOpcode) {
    SbepRig rig;
    uint32_t address = 0x010203;
    EXPECT_EQ(rig.engine.memRead(16, address, rig.lastOpc, rig.reply), -1);
    EXPECT_EQ(rig.writes.size(), 2u);
    // The address variable takes what the radio echoed at each attempt: nothing, so 0.
    EXPECT_THAT(SbepRig::chain(),
                ElementsAre(Record(2,
                                   L"Error:failed to do memRead after 2 trials. Address is 0, "
                                   L"length is 16, the status is -1, the last OPC is 0.")));
}

// The user's stop: nothing new goes on the line, the request already sent completes, and the
// operation fails with the stop as its root cause.
TEST(SbepStopTest, NoRequestIsSentWhileStoppedAndTheOneOnTheLineCompletes) {
    const Record stoppedRecord(2, L"Error:stopped at the user's request.");
    struct Case {
        const char* name;
        std::function<int(SbepRig&)> call;
    };
    const Case cases[] = {
        {"memRead",
         [](SbepRig& r) {
             uint32_t address = 0x010203;
             return r.engine.memRead(16, address, r.lastOpc, r.reply);
         }},
        {"readRadioItem", [](SbepRig& r) { return r.engine.readRadioItem(1, r.lastOpc, r.reply); }},
        {"performMasterReset",
         [](SbepRig& r) { return r.engine.performMasterReset(r.lastOpc, r.reply); }},
        {"setRadioBaudRate",
         [](SbepRig& r) {
             r.port.setBaudRate(16406);
             return r.engine.setRadioBaudRate(1, r.lastOpc, r.reply);
         }},
    };
    for (const Case& c : cases) {
        SbepRig rig;
        std::atomic<bool> stop{true};
        rig.engine.setStopSignal(&stop);
        EXPECT_LT(c.call(rig), 0) << c.name;
        EXPECT_THAT(rig.writes, IsEmpty()) << c.name;
        const auto records = SbepRig::chain();
        ASSERT_FALSE(records.empty()) << c.name;
        EXPECT_EQ(records.front(), stoppedRecord) << c.name;
        EXPECT_EQ(std::count(records.begin(), records.end(), stoppedRecord), 1) << c.name;
    }

    // Stopped while the first attempt is on the line: its reply is taken; nothing follows it.
    SbepRig rig;
    std::atomic<bool> stop{false};
    rig.engine.setStopSignal(&stop);
    rig.answer({kFourBytes});
    const auto radio = rig.d2xx.onWrite;
    rig.d2xx.onWrite = [&](test::FakeD2xx& fake, std::span<const uint8_t> bytes) {
        stop = true;
        radio(fake, bytes);
    };
    uint32_t address = 0x010203;
    EXPECT_EQ(rig.engine.memRead(16, address, rig.lastOpc, rig.reply), 4);
    EXPECT_TRUE(rig.engine.stopped());
    EXPECT_EQ(rig.engine.memRead(16, address, rig.lastOpc, rig.reply), -1);
    EXPECT_EQ(rig.writes.size(), 1u);

    // A silent first attempt is not followed by a second once the user has stopped.
    SbepRig silent;
    silent.d2xx.onWrite = [&](test::FakeD2xx&, std::span<const uint8_t> bytes) {
        silent.writes.emplace_back(bytes.begin(), bytes.end());
        stop = true;
    };
    stop = false;
    silent.engine.setStopSignal(&stop);
    EXPECT_EQ(silent.engine.eraseFlash(4, 0x1000, silent.lastOpc, silent.reply), -1);
    EXPECT_EQ(silent.writes.size(), 1u);
    EXPECT_EQ(SbepRig::chain().front(), stoppedRecord);
}

// A complete reply that is not this request's is dropped, and the same attempt takes its own.
TEST(SbepMatchTest, AReplyThatDoesNotMatchIsDroppedAndTheAttemptListensOn) {
    const Bytes flashDone = {0x50, 0xF2, 0x95, 0x00, 0x78};
    const Bytes accepted = {0x50, 0xF2, 0x8C, 0x07, 0x7A};
    const Bytes writeDoneAt010203 = {0x50, 0xFF, 0x84, 0x00, 0x05, 0x00, 0x01, 0x02, 0x03, 0x71};
    const Bytes writeDoneAt0A0B0C = {0x50, 0xFF, 0x84, 0x00, 0x05, 0x00, 0x0A, 0x0B, 0x0C, 0x56};
    const Bytes readAt0A0B0C = {0x50, 0xF6, 0x80, 0x00, 0x0A, 0x0B, 0x0C, 0x99, 0xCF};
    const Bytes contactWritten = {0x50, 0xF2, 0x41, 0x50, 0x7C};
    const Bytes contactRead = {0x50, 0xF2, 0x41, 0x8C, 0x40};
    const auto joined = [](Bytes first, const Bytes& second) {
        first.insert(first.end(), second.begin(), second.end());
        return first;
    };
    struct Case {
        const char* name;
        std::function<int(SbepRig&)> call;
        Bytes replies;  // all on the line after the one request
        int result;
        uint8_t lastOpc;
    };
    const Case cases[] = {
        {"flash write after another opcode",
         [](SbepRig& r) {
             return r.engine.writeFlash(Bytes{1, 2}, 0x1000, r.lastOpc, r.reply);
         },
         joined(accepted, flashDone), 1, 0x95},
        {"test mode after a flash reply",
         [](SbepRig& r) {
             return r.engine.requestTestMode(8, {0, 0}, r.lastOpc, r.reply);
         },
         joined(flashDone, accepted), 1, 0x8C},
        {"memory write after another address's",
         [](SbepRig& r) {
             uint32_t address = 0x0A0B0C;
             return r.engine.memWrite(Bytes{1}, address, r.lastOpc, r.reply);
         },
         joined(writeDoneAt010203, writeDoneAt0A0B0C), 0, 0x84},
        {"memory read after another address's",
         [](SbepRig& r) {
             uint32_t address = 0x0A0B0C;
             return r.engine.memRead(1, address, r.lastOpc, r.reply) == 1 && r.reply[0] == 0x99
                        ? 1
                        : -1;
         },
         joined({0x50, 0xF6, 0x80, 0x00, 0x01, 0x02, 0x03, 0x77, 0x0C}, readAt0A0B0C), 1, 0x80},
        {"contact read after a write's reply",
         [](SbepRig& r) {
             return r.engine.contactCommand(0x30, Bytes{0, 1, 0}, r.lastOpc, r.reply);
         },
         joined(contactWritten, contactRead), 1, 0x41},
    };
    for (const Case& c : cases) {
        SbepRig rig;
        rig.answer({c.replies});
        EXPECT_EQ(c.call(rig), c.result) << c.name;
        EXPECT_EQ(rig.lastOpc, c.lastOpc) << c.name;
        EXPECT_EQ(rig.writes.size(), 1u) << c.name;
        EXPECT_THAT(SbepRig::chain(), IsEmpty()) << c.name;
    }
}

// Late replies against the simulated radio on its line clock, at the line's rate with the
// adapter's latency: a reply later than its wait lands while the line must stay quiet before
// the resend, or later still answers the resend, whose own reply the radio sends after it; it is
// never taken for a later request's.
class SbepLateReplyTest : public ::testing::Test {
protected:
    SbepLateReplyTest() : port(d2xx, [](std::chrono::milliseconds) {}), engine(&port) {
        ErrorChain::remove(0);
        int first = -1;
        EXPECT_EQ(port.countCables(first), 1);
        EXPECT_TRUE(port.open(first) && port.setBaudRate(sbep::kRadioBaudRate) &&
                    port.setDataCharacteristics() && port.setFlowControl() &&
                    port.setTimeouts(250, 300));
    }
    ~SbepLateReplyTest() override { ErrorChain::remove(0); }

    // The fault strikes the n-th reply from now on, that many milliseconds late.
    void delayReply(uint32_t n, uint32_t ms) {
        d2xx.faults() = SimFaults();
        d2xx.faults().add({SimFaultKind::DelayReply, n, ms});
    }
    Bytes item(uint8_t number) {
        const int n = engine.readRadioItem(number, lastOpc, reply);
        return n < 0 ? Bytes{} : Bytes(reply.begin(), reply.begin() + n);
    }

    SimD2xx d2xx;
    USBSerial port;
    SBEP engine;
    std::array<uint8_t, sbep::kMaxReplyData> reply{};
    uint8_t lastOpc = 0;
};

TEST_F(SbepLateReplyTest, ALateIdentityItemShiftsNoField) {
    const uint8_t items[] = {sbep::kItemModel, sbep::kItemFirmwareVersion, sbep::kItemSerialNumber,
                             sbep::kItemCodeplugVersion, sbep::kItemKeypadVersion};
    std::vector<Bytes> clean;
    for (uint8_t number : items) {
        clean.push_back(item(number));
        ASSERT_FALSE(clean.back().empty());
    }
    for (uint32_t lateMs : {150u, 600u, 1500u, 3500u}) {
        delayReply(2, lateMs);
        for (size_t i = 0; i < std::size(items); ++i) {
            EXPECT_EQ(item(items[i]), clean[i]) << lateMs << " ms late, item " << int{items[i]};
        }
    }
}

TEST_F(SbepLateReplyTest, ALateFlashReplyNeverAnswersALaterRequest) {
    constexpr uint32_t kSector = 0x84000;
    constexpr uint32_t kStubborn = kSector + 0x1000;
    ASSERT_GE(engine.requestTestMode(sbep::kTestModeFlash, {0, 0}, lastOpc, reply), 0);
    ASSERT_GE(engine.requestProtectionMode(0x3000, lastOpc, reply), 0);
    d2xx.faults() = SimFaults();
    for (uint32_t lateMs : {700u, 1500u, 3500u}) {
        delayReply(1, lateMs);
        d2xx.faults().add({SimFaultKind::FailErase, kStubborn, 0});
        // The late reply to the first erase lands before the resend; the second sector is
        // refused every time and must fail, never take a 0x95 owed to the first.
        EXPECT_GE(engine.eraseFlash(sbep::kEraseSector, kSector, lastOpc, reply), 0) << lateMs;
        EXPECT_LT(engine.eraseFlash(sbep::kEraseSector, kStubborn, lastOpc, reply), 0) << lateMs;
        // A late reply to a 4 KiB write, then a write the radio refuses (it is outside the
        // default block, which protection mode does not open).
        delayReply(1, lateMs);
        const Bytes chunk(sbep::kFlashChunk, 0x5A);
        EXPECT_GE(engine.writeFlash(chunk, kSector, lastOpc, reply), 0) << lateMs;
        EXPECT_LT(engine.writeFlash(chunk, 0x0, lastOpc, reply), 0) << lateMs;
        ErrorChain::remove(0);
    }
}

TEST(SbepRefusalTest, OverrunIsRefusedKeptAsRootCauseAndNothingIsWrittenPastTheBuffer) {
    SbepRig rig;
    const Bytes eightBytes = {0x50, 0xF9, 0x8C, 1, 2, 3, 4, 5, 6, 7, 8, 0x56};
    rig.answer({eightBytes, eightBytes});
    std::array<uint8_t, 8> destination;
    destination.fill(0xEE);
    uint32_t address = 0x010203;
    const Bytes frame8 = {0xFF, 0x11, 0x00, 0x05, 0x08, 0x01, 0x02, 0x03, 0xDC};
    EXPECT_EQ(rig.engine.memRead(8, address, rig.lastOpc, std::span(destination).first(4)), -1);
    EXPECT_THAT(rig.writes, ElementsAre(frame8, frame8));
    EXPECT_THAT(destination, ::testing::Each(0xEE));
    EXPECT_THAT(
        SbepRig::chain(),
        ElementsAre(
            Record(3,
                   L"Error:reply refused: 8 data bytes of OPC 140 overrun the buffer of 4 bytes."),
            Record(2,
                   L"Error:failed to do memRead after 2 trials. Address is 0, length is 8, the "
                   L"status is -1, the last OPC is 140.")));
}

TEST(SbepRefusalTest, ReplyWithoutRoomBeforeItsChecksumIsRefused) {
    SbepRig rig;
    const Bytes countOne = {0x50, 0xF1, 0x8C, 0x82};
    const Bytes lengthOne = {0x50, 0xFF, 0x8C, 0x00, 0x01, 0x73};
    rig.answer({countOne, lengthOne});
    EXPECT_EQ(rig.engine.readRadioItem(3, rig.lastOpc, rig.reply), -1);
    EXPECT_EQ(rig.lastOpc, 0x8C);
    // Only the last attempt's refusal stays; item reads add no record of their own.
    EXPECT_THAT(SbepRig::chain(),
                ElementsAre(Record(3,
                                   L"Error:reply refused: length 1 of OPC 140 leaves no room "
                                   L"before the checksum.")));
}

TEST(SbepRefusalTest, RefusalFollowedBySuccessLeavesNothing) {
    SbepRig rig;
    rig.answer({{0x50, 0xF0, 0x8C}, {0x50, 0xF4, 0x8C, 0x01, 0x02, 0x03, 0x79}});
    EXPECT_EQ(rig.engine.readRadioItem(3, rig.lastOpc, rig.reply), 3);
    EXPECT_THAT(SbepRig::chain(), IsEmpty());
}

TEST(SbepObserverTest, SeesEveryFrameSentAndEveryReply) {
    SbepRig rig;
    struct Seen {
        FrameDirection direction;
        Bytes bytes;
        std::chrono::system_clock::time_point time;
    };
    std::vector<Seen> seen;
    rig.engine.setFrameObserver([&seen](const FrameEvent& e) {
        seen.push_back({e.direction, Bytes(e.bytes.begin(), e.bytes.end()), e.time});
    });
    rig.answer({{}, kFourBytes});
    uint32_t address = 0x010203;
    ASSERT_EQ(rig.engine.memRead(16, address, rig.lastOpc, rig.reply), 4);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].direction, FrameDirection::kSent);
    EXPECT_EQ(seen[0].bytes, kMemRead16);
    EXPECT_EQ(seen[1].direction, FrameDirection::kReceived);
    EXPECT_THAT(seen[1].bytes, IsEmpty());
    EXPECT_EQ(seen[2].bytes, kMemRead16);
    EXPECT_EQ(seen[3].direction, FrameDirection::kReceived);
    EXPECT_EQ(seen[3].bytes, kFourBytes);
    for (size_t i = 1; i < seen.size(); ++i) {
        EXPECT_LE(seen[i - 1].time, seen[i].time);
    }

    seen.clear();
    rig.engine.setFrameObserver({});
    rig.answer({kFourBytes});
    EXPECT_EQ(rig.engine.memRead(16, address, rig.lastOpc, rig.reply), 4);
    EXPECT_THAT(seen, IsEmpty());
}

TEST(FrameEventTest, FormatsOneHexLineInLocalTime) {
    std::tm local{};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 4;
    local.tm_mday = 17;
    local.tm_hour = 12;
    local.tm_min = 34;
    local.tm_sec = 56;
    local.tm_isdst = -1;
    const auto time = std::chrono::system_clock::from_time_t(std::mktime(&local)) +
                      std::chrono::milliseconds(789);
    const Bytes bytes = {0xFF, 0x11, 0x0A};
    EXPECT_EQ(formatFrameLine({FrameDirection::kSent, time, bytes}), "12:34:56.789 TX FF 11 0A");
    EXPECT_EQ(formatFrameLine({FrameDirection::kReceived, time, {}}), "12:34:56.789 RX (nothing)");
}

}  // namespace
}  // namespace plugshift
