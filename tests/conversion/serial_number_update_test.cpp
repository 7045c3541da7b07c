#include "conversion/serial_number_update.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>

#include "radio/frame_event.h"
#include "radio/sbep.h"
#include "recording_target.h"
#include "sim_rig.h"
#include "tasks/messages.h"

namespace plugshift::test {
namespace {

using ::testing::ElementsAre;

constexpr const char* kNewSerial = "123AB45C67";

std::vector<uint32_t> ids(const RecordingTarget& window) {
    std::vector<uint32_t> out;
    for (const Message& m : window.messages()) {
        out.push_back(m.id);
    }
    return out;
}

class SerialNumberUpdateTest : public ::testing::Test {
protected:
    void SetUp() override { ErrorChain::remove(0); }
    void TearDown() override { ErrorChain::remove(0); }

    void prepare(SerialNumberUpdate& command, SimRig& rig) {
        command.radio = &rig.radio;
        command.window = window;
        ASSERT_TRUE(command.setNewSerial(kNewSerial));
    }

    std::string serialOf(SimRig& rig) {
        const Bytes serial = rig.sim().serial();
        return std::string(serial.begin(), serial.end());
    }

    std::shared_ptr<RecordingTarget> window = std::make_shared<RecordingTarget>();
};

TEST_F(SerialNumberUpdateTest, WritesTheNumberAndBacksTheFactoryBlockUp) {
    SimRig rig;
    rig.sim().flash().block(SimBlock::Bac)[0] ^= 0xFF;
    SerialNumberUpdate command;
    prepare(command, rig);
    ASSERT_TRUE(command.run()) << toUtf8(ErrorChain::text());

    EXPECT_TRUE(command.ok);
    EXPECT_EQ(serialOf(rig), kNewSerial);
    const auto fac = rig.sim().flash().block(SimBlock::Fac);
    const auto bac = rig.sim().flash().block(SimBlock::Bac);
    EXPECT_TRUE(std::equal(fac.begin(), fac.end(), bac.begin(), bac.end()));
    EXPECT_THAT(ids(*window), ElementsAre(kMsgCommandStarted, kMsgCommandEnded));
    ASSERT_EQ(rig.requests.size(), 5u);
    EXPECT_EQ(rig.requests[2].opcode(), 0x18);
    EXPECT_EQ(command.reached, SerialNumberUpdate::Reached::Done);
    ASSERT_TRUE(rig.radio.readIdentity());
    EXPECT_EQ(RadioInfo::serialText(rig.radio.serialValue()), fromUtf8(kNewSerial));
}

TEST_F(SerialNumberUpdateTest, WithoutAConnectedPortNothingIsWritten) {
    SimRig rig(SimRig::defaultOptions(), false);
    SerialNumberUpdate command;
    prepare(command, rig);
    EXPECT_FALSE(command.run());
    EXPECT_FALSE(command.ok);
    EXPECT_EQ(rig.hostBytes(), 0u);
    EXPECT_THAT(ids(*window), ElementsAre(kMsgCommandStarted, kMsgCommandEnded));
}

TEST_F(SerialNumberUpdateTest, AResetReportingBit2StopsBeforeTheTestMode) {
    SimRig rig;
    rig.faults().add({SimFaultKind::ResetStatus, 0, 0x02});
    SerialNumberUpdate command;
    prepare(command, rig);
    EXPECT_FALSE(command.run());
    ASSERT_EQ(rig.requests.size(), 1u);
    EXPECT_EQ(rig.requests[0].opcode(), 0x10);
    EXPECT_EQ(serialOf(rig), "752TRX4F21");
    EXPECT_THAT(ids(*window), ElementsAre(kMsgCommandStarted, kMsgCommandEnded));
}

// The serial number is in, but without its factory-block backup the run counts as failed.
TEST_F(SerialNumberUpdateTest, AFailedFactoryBackupFailsTheRunAfterTheWrite) {
    SimRig rig;
    rig.faults().add({SimFaultKind::RefuseOpcode, 0x38, 0});
    SerialNumberUpdate command;
    prepare(command, rig);
    EXPECT_FALSE(command.run());
    EXPECT_EQ(serialOf(rig), kNewSerial);
    EXPECT_EQ(rig.count(0x10), 1u);
    EXPECT_EQ(command.reached, SerialNumberUpdate::Reached::SerialWritten);
    EXPECT_FALSE(command.stoppedBeforeWrite);
}

// A stop ends the run at its request's end until the number is sent, and never after.
TEST_F(SerialNumberUpdateTest, AStopCountsOnlyBeforeTheNumberIsSent) {
    struct Case {
        const char* name;
        uint8_t stopWhenSent;
        SerialNumberUpdate::Reached reached;
        bool stoppedBeforeWrite;
        const char* serial;
    };
    const Case cases[] = {
        {"during the first reset", 0x10, SerialNumberUpdate::Reached::Nothing, true, "752TRX4F21"},
        {"during the test mode", 0x22, SerialNumberUpdate::Reached::Nothing, true, "752TRX4F21"},
        {"during the update", 0x18, SerialNumberUpdate::Reached::Done, false, kNewSerial},
        {"during the backup", 0x38, SerialNumberUpdate::Reached::Done, false, kNewSerial},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimRig rig;
        std::atomic<bool> stop{false};
        rig.radio.sbep()->setStopSignal(&stop);
        rig.radio.sbep()->setFrameObserver([&](const FrameEvent& event) {
            if (event.direction == FrameDirection::kSent && event.bytes.size() > 1 &&
                event.bytes[1] == c.stopWhenSent) {
                stop = true;
            }
        });
        SerialNumberUpdate command;
        prepare(command, rig);
        EXPECT_EQ(command.run(), c.reached == SerialNumberUpdate::Reached::Done);
        EXPECT_EQ(command.reached, c.reached);
        EXPECT_EQ(command.stoppedBeforeWrite, c.stoppedBeforeWrite);
        EXPECT_EQ(serialOf(rig), c.serial);
        // The engine is handed back with the stop signal it came with.
        EXPECT_EQ(rig.radio.sbep()->stopSignal(), &stop);
    }
}

TEST_F(SerialNumberUpdateTest, WithoutARadioTheRunStopsAtOnce) {
    SerialNumberUpdate command;
    command.window = window;
    EXPECT_FALSE(command.setNewSerial(kNewSerial));
    EXPECT_FALSE(command.run());
    EXPECT_THAT(ids(*window), ElementsAre(kMsgCommandStarted, kMsgCommandEnded));
}

TEST_F(SerialNumberUpdateTest, NewSerialIsPaddedToTheRadiosLengthAndNeverLonger) {
    SimRig rig;
    ASSERT_EQ(rig.radio.serialLength(), 10);
    SerialNumberUpdate command;
    command.radio = &rig.radio;
    command.newSerial.fill(0xEE);
    EXPECT_FALSE(command.setNewSerial("123AB45C678"));
    EXPECT_EQ(command.newSerial[0], 0xEE);
    EXPECT_TRUE(command.setNewSerial("123AB"));
    EXPECT_THAT(command.newSerial, ElementsAre('1', '2', '3', 'A', 'B', 0, 0, 0, 0, 0, 0xEE));
}

TEST_F(SerialNumberUpdateTest, ProgressIsTheSpanShareAboveTheBase) {
    SerialNumberUpdate command;
    command.window = window;
    command.progressSpan = 100;
    command.progressBase = 10;
    command.progress(1, 3);
    command.progress(3, 3);
    const auto messages = window->messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].id, kMsgProgress);
    EXPECT_EQ(messages[0].wParam, 43u);
    EXPECT_EQ(messages[1].wParam, 110u);
}

}  // namespace
}  // namespace plugshift::test
