#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <functional>

#include "sbep_rig.h"

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

size_t count(const std::vector<std::string>& calls, const std::string& call) {
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
}

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
    std::vector<std::string> expected = {"FT_Purge(3)", "FT_SetTimeouts(250,300)", "FT_Purge(4)",
                                         "FT_Write(10)"};
    expected.insert(expected.end(), 10, "FT_Read(1)");
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

TEST(SbepTransactTest, ResetRaisesTrialsOnceTheReplyHasBegunThenRestoresThem) {
    SbepRig rig;
    const Bytes reset = {0xFF, 0x10, 0x00, 0x02, 0x01, 0xED};
    uint32_t replyAddress = 0;
    // The lead-in alone does not begin the reply: the start byte is still waited for.
    rig.answer({{0x50}});
    EXPECT_EQ(rig.engine.transact(reset, replyAddress, rig.lastOpc, rig.reply), -1);
    // The lead-in, four waits for the start byte, and one read that finds the line quiet.
    EXPECT_EQ(rig.d2xx.callsTo("FT_Read").size(), 1u + 4u + 1u);
    EXPECT_THAT(SbepRig::chain(),
                ElementsAre(Record(3, L"Error:failed to read port for 1 bytes after 4 trials.")));

    ErrorChain::remove(0);
    rig.d2xx.calls.clear();
    rig.answer({{0x50, 0xFF, 0x8C}});
    EXPECT_EQ(rig.engine.transact(reset, replyAddress, rig.lastOpc, rig.reply), -1);
    EXPECT_EQ(rig.lastOpc, 0x8C);
    EXPECT_EQ(rig.d2xx.callsTo("FT_Read").size(), 3u + 500u + 1u);
    EXPECT_THAT(SbepRig::chain(),
                ElementsAre(Record(3, L"Error:failed to read port for 1 bytes after 500 trials.")));
    EXPECT_EQ(rig.engine.trials(), 2);
    EXPECT_EQ(rig.engine.waitTrials(), 2);

    ErrorChain::remove(0);
    rig.d2xx.calls.clear();
    EXPECT_EQ(rig.engine.transact(kMemRead16, replyAddress, rig.lastOpc, rig.reply), -1);
    EXPECT_EQ(rig.d2xx.callsTo("FT_Read").size(), 2u);
    EXPECT_THAT(SbepRig::chain(),
                ElementsAre(Record(3, L"Error:failed to read port for 1 bytes after 2 trials.")));
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
    EXPECT_EQ(count(rig.d2xx.calls, "FT_Read(9)"), 1u);
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
