#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>

#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "radio/sbep.h"
#include "radio/usb_serial.h"
#include "sim/sim_d2xx.h"

// The host's port and SBEP engine against the in-process simulated radio: every operation, the
// retries, the cable modes, the baud switch and NOR programming, end to end.
namespace plugshift {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Bytes = std::vector<uint8_t>;

// Flash addresses a host uses for each flash type: dynamic-block erase, default block.
struct Layout {
    uint32_t dynamic;
    uint32_t defaultBlock;
};
constexpr std::array<Layout, 3> kLayouts = {
    {{0x70000, 0x64000}, {0xE0000, 0x84000}, {0x180000, 0x84000}}};
constexpr uint32_t kDynMemory = 0x820000;
constexpr uint32_t kDefMemory = 0x84400;  // the default block's address-map address

class SimEndToEndTest : public ::testing::Test {
protected:
    explicit SimEndToEndTest(SimD2xx::Options options = {})
        : d2xx(options), port(d2xx, [](std::chrono::milliseconds) {}), engine(&port) {
        ErrorChain::remove(0);
    }
    ~SimEndToEndTest() override { ErrorChain::remove(0); }

    // As the radio connection does it: the probe at 16406, then 57600. Returns the probe.
    int connect(uint32_t rate = 57600) {
        int first = -1;
        if (port.countCables(first) < 1 || !port.open(first) || !port.setBaudRate(16406) ||
            !port.setDataCharacteristics() || !port.setFlowControl() ||
            !port.setTimeouts(250, 300)) {
            return -1;
        }
        const int probe = engine.probeCableMode();
        port.setBaudRate(rate);
        ErrorChain::remove(0);  // a silent (digital) cable leaves a read record behind
        return probe;
    }
    Bytes data(int count) const { return Bytes(reply.begin(), reply.begin() + count); }
    std::vector<std::wstring> chain() const {
        std::vector<std::wstring> out;
        for (const auto& r : ErrorChain::records()) {
            out.push_back(r.message);
        }
        return out;
    }

    SimD2xx d2xx;
    USBSerial port;
    SBEP engine;
    std::array<uint8_t, sbep::kMaxReplyData> reply{};
    uint8_t lastOpc = 0;
};

SimD2xx::Options flashType(int type) {
    SimD2xx::Options o;
    o.radio.flashType = type;
    return o;
}

TEST_F(SimEndToEndTest, ConnectsAndReadsTheIdentity) {
    ASSERT_EQ(connect(), SBEP::kCableDigital);
    EXPECT_FALSE(engine.echoCable());
    struct Case {
        uint8_t item;
        Bytes value;
    };
    const Case cases[] = {
        {0, {'R', 'Q', 'X', 7, 7, 0, 'H', 'J', 'N', 'W', 'A'}},
        {1, {'7', '5', '2', 'T', 'R', 'X', '4', 'F', '2', '1'}},
        {3, {'R', 2, 10, 5}},
        {4, {'R', 1, 3, 0}},
        {8, {'R', 1, 0, 2}},
    };
    for (const Case& c : cases) {
        const int n = engine.readRadioItem(c.item, lastOpc, reply);
        ASSERT_EQ(n, static_cast<int>(c.value.size() + 2)) << int{c.item};
        EXPECT_EQ(Bytes(reply.begin() + 2, reply.begin() + n), c.value);
    }
    const int n = engine.softpotRead(lastOpc, reply);
    ASSERT_EQ(n, 14);
    EXPECT_EQ(lastOpc, 0x8A);
    EXPECT_THAT(Bytes(reply.begin() + 2, reply.begin() + 10),
                ElementsAre(0, 0, 0, 0, 0, 0x12, 0xD6, 0x87));
    EXPECT_TRUE(chain().empty());
}

class EveryOperationTest : public SimEndToEndTest, public ::testing::WithParamInterface<int> {
protected:
    EveryOperationTest() : SimEndToEndTest(flashType(GetParam())) {}
};

// A conversion's worth of requests, each passing the engine's own success test.
TEST_P(EveryOperationTest, SucceedsAgainstTheSimulator) {
    const Layout layout = kLayouts[static_cast<size_t>(GetParam())];
    const uint16_t unlock = GetParam() == 0 ? 0x840 : 0x3000;
    const uint16_t lock = std::array<uint16_t, 3>{0x440, 0x840, 0x1040}[GetParam()];
    ASSERT_EQ(connect(), SBEP::kCableDigital);

    ASSERT_GE(engine.requestTestMode(8, {0, 0}, lastOpc, reply), 0);
    EXPECT_EQ(reply[1], GetParam());  // the flash type
    EXPECT_GE(engine.queryFlashMode(lastOpc, reply), 0);
    EXPECT_EQ(engine.setRadioBaudRate(0, lastOpc, reply), 0);  // already at 57600

    uint32_t address = kDynMemory;
    ASSERT_EQ(engine.memRead(220, address, lastOpc, reply), 220);
    EXPECT_EQ(address, kDynMemory);
    const Bytes kept = data(220);
    ASSERT_GT(engine.contactCommand(0x30, Bytes{0, 0, 0}, lastOpc, reply), 4);
    EXPECT_EQ(reply[3], 12);  // contacts in the radio
    const Bytes contact(reply.begin() + 4, reply.begin() + 4 + 32);

    ASSERT_GE(engine.requestProtectionMode(unlock, lastOpc, reply), 0);
    EXPECT_EQ(lastOpc, 0x95);
    Bytes image(0x10000, 0);
    const Bytes header{'R', 'Q', 'X', 7, 7, 0, 'H', 'J', 'N', 'W', 'E', 'R', 1, 4, 0};
    std::ranges::copy(header, image.begin());
    for (uint32_t offset = 0; offset < image.size(); offset += 4096) {
        ASSERT_GE(engine.eraseFlash(4, layout.defaultBlock + offset, lastOpc, reply), 0) << offset;
    }
    for (uint32_t offset = 0; offset < image.size(); offset += 4096) {
        ASSERT_GE(engine.writeFlash(std::span(image).subspan(offset, 4096),
                                    layout.defaultBlock + offset, lastOpc, reply),
                  0)
            << offset;
    }
    ASSERT_GE(engine.eraseFlash(6, layout.dynamic, lastOpc, reply), 0);
    ASSERT_EQ(engine.resetDevice(1, lastOpc, reply), 2);
    const int status = reply[0] << 8 | reply[1];
    EXPECT_EQ(status & 0x280, 0);
    EXPECT_NE(status & 0x40, 0);

    ASSERT_GE(engine.requestTestMode(1, {0, 0}, lastOpc, reply), 0);
    ASSERT_GE(engine.softpotWrite(0x2E, 0, {}, lastOpc, reply), 0);
    ASSERT_GE(engine.softpotWrite(0x27, 0, {}, lastOpc, reply), 0);
    address = kDynMemory;
    ASSERT_GE(engine.memWrite(kept, address, lastOpc, reply), 0);
    EXPECT_EQ(lastOpc, 0x84);
    Bytes write{0, 1, 1};
    write.insert(write.end(), contact.begin(), contact.end());
    ASSERT_GT(engine.contactCommand(0x31, write, lastOpc, reply), 0);
    ASSERT_GT(engine.performMasterReset(lastOpc, reply), 0);
    const Bytes serial{'1', '2', '3', 'A', 'B', '4', '5', 'C', '6', '7'};
    ASSERT_GE(engine.updateSN(serial, lastOpc, reply), 0);
    EXPECT_EQ(lastOpc, 0x8C);
    ASSERT_GE(engine.factoryBlockBackup(lastOpc, reply), 0);
    EXPECT_EQ(lastOpc, 0x8C);

    ASSERT_GE(engine.requestTestMode(8, {0, 0}, lastOpc, reply), 0);
    ASSERT_GE(engine.requestProtectionMode(lock, lastOpc, reply), 0);
    ASSERT_GE(engine.setRadioBaudRate(0, lastOpc, reply), 0);
    ASSERT_GE(engine.resetDevice(0, lastOpc, reply), 0);
    EXPECT_TRUE(chain().empty()) << ErrorChain::text().size();

    // The radio now reports the new codeplug, keeps what was restored and the new serial.
    const int n = engine.readRadioItem(0, lastOpc, reply);
    EXPECT_EQ(Bytes(reply.begin() + 2, reply.begin() + n),
              Bytes(header.begin(), header.begin() + 11));
    engine.readRadioItem(4, lastOpc, reply);
    EXPECT_THAT(Bytes(reply.begin() + 2, reply.begin() + 6), ElementsAre('R', 1, 4, 0));
    const int s = engine.readRadioItem(1, lastOpc, reply);
    EXPECT_EQ(Bytes(reply.begin() + 2, reply.begin() + s), serial);
    address = kDynMemory;
    ASSERT_EQ(engine.memRead(220, address, lastOpc, reply), 220);
    EXPECT_EQ(data(220), kept);
    EXPECT_EQ(d2xx.radio().contactCount(), 1);
    EXPECT_EQ(d2xx.radio().contact(0), contact);
    EXPECT_EQ(d2xx.radio().mode(), SimRadio::Mode::Normal);
}

INSTANTIATE_TEST_SUITE_P(FlashTypes, EveryOperationTest, ::testing::Values(0, 1, 2));

class FaultTest : public SimEndToEndTest {
protected:
    explicit FaultTest(std::vector<SimFault> faults = {})
        : SimEndToEndTest([&] {
              SimD2xx::Options o;
              o.faults = std::move(faults);
              return o;
          }()) {}
};

class DroppedReplyTest : public FaultTest {
protected:
    // Replies 1 and 2 answer the test mode and the protection; 3 and 4 the first writeFlash.
    DroppedReplyTest()
        : FaultTest({{SimFaultKind::DropReply, 3, 0}, {SimFaultKind::CorruptReply, 6, 0}}) {}
};

TEST_F(DroppedReplyTest, RetrySucceedsAfterALostOrDamagedReply) {
    ASSERT_EQ(connect(), SBEP::kCableDigital);
    ASSERT_GE(engine.requestTestMode(8, {0, 0}, lastOpc, reply), 0);
    ASSERT_GE(engine.requestProtectionMode(0x3000, lastOpc, reply), 0);
    // The erase is answered (reply 3) but the answer is lost: the engine asks again.
    ASSERT_GE(engine.eraseFlash(4, 0x84000, lastOpc, reply), 0);
    const Bytes chunk(4096, 0x5A);
    ASSERT_GE(engine.writeFlash(chunk, 0x84000, lastOpc, reply), 0);  // reply 5
    // Reply 6 is damaged; the second program of the same bytes changes nothing (NOR).
    uint32_t address = kDefMemory;
    ASSERT_EQ(engine.memRead(16, address, lastOpc, reply), 16);
    EXPECT_EQ(data(16), Bytes(16, 0x5A));
    EXPECT_TRUE(chain().empty());
    EXPECT_FALSE(d2xx.radio().flash().defaultBlockVerifyFailed());
}

// At the line rate a refused reply is still arriving when the engine gives up on it; the retry
// must not read its tail as the start of its own reply.
class RefusedReplyTest : public FaultTest {
protected:
    // The first memory read is answered with opcode 0x81, which carries no address: its 225
    // data bytes overrun the caller's 220 and the reply is refused at its length field.
    RefusedReplyTest() : FaultTest({{SimFaultKind::WrongOpcode, 0x11, 1}}) {}
};

TEST_F(RefusedReplyTest, TheRetryReadsItsOwnReplyNotTheTailOfTheRefusedOne) {
    ASSERT_EQ(connect(), SBEP::kCableDigital);
    uint32_t address = kDynMemory;
    const auto destination = std::span(reply).first(220);  // as a block read gives it
    ASSERT_EQ(engine.memRead(220, address, lastOpc, destination), 220)
        << toUtf8(ErrorChain::text());
    EXPECT_EQ(address, kDynMemory);
    const auto dyn = d2xx.radio().flash().block(SimBlock::Dyn).first(220);
    EXPECT_EQ(data(220), Bytes(dyn.begin(), dyn.end()));
}

TEST_F(SimEndToEndTest, BaudSwitchIsFollowedOnBothSides) {
    d2xx.radio().setBaud(19200);  // a radio that powers on at another rate
    ASSERT_EQ(connect(19200), SBEP::kCableDigital);
    ASSERT_GT(engine.readRadioItem(0, lastOpc, reply), 0);
    ASSERT_GE(engine.requestTestMode(8, {0, 0}, lastOpc, reply), 0);
    ASSERT_GE(engine.setRadioBaudRate(0, lastOpc, reply), 0);
    EXPECT_EQ(lastOpc, 0x8C);
    EXPECT_EQ(port.baudRate(), 57600u);
    EXPECT_EQ(d2xx.hostBaud(), 57600u);
    EXPECT_EQ(d2xx.radio().baud(), 57600u);
    EXPECT_GT(engine.readRadioItem(0, lastOpc, reply), 0);
    // A host that stays behind is not understood.
    port.setBaudRate(19200);
    EXPECT_LT(engine.readRadioItem(0, lastOpc, reply), 0);
}

TEST_F(SimEndToEndTest, ProgrammingAnUnerasedSectorLeavesTheAndOfOldAndNew) {
    ASSERT_EQ(connect(), SBEP::kCableDigital);
    ASSERT_GE(engine.requestTestMode(8, {0, 0}, lastOpc, reply), 0);
    ASSERT_GE(engine.requestProtectionMode(0x3000, lastOpc, reply), 0);
    ASSERT_GE(engine.eraseFlash(4, 0x85000, lastOpc, reply), 0);
    ASSERT_GE(engine.writeFlash(Bytes{0xF0, 0x3C, 0xFF, 0x0F}, 0x85000, lastOpc, reply), 0);
    ASSERT_GE(engine.writeFlash(Bytes{0x0F, 0x3C, 0x81, 0xFF}, 0x85000, lastOpc, reply), 0);
    uint32_t address = kDefMemory + 0x1000;
    ASSERT_EQ(engine.memRead(4, address, lastOpc, reply), 4);
    EXPECT_THAT(data(4), ElementsAre(0x00, 0x3C, 0x81, 0x0F));
    ASSERT_EQ(engine.resetDevice(1, lastOpc, reply), 2);
    EXPECT_EQ((reply[0] << 8 | reply[1]) & 0x200, 0x200);  // the radio noticed
}

TEST_F(SimEndToEndTest, OneCableCheckSeesTwoCables) {
    SimD2xx::Options o;
    o.cables = 2;
    SimD2xx two(o);
    USBSerial twoPort(two);
    int first = -1;
    EXPECT_EQ(twoPort.countCables(first), 2);
    EXPECT_EQ(first, 0);
}

class CableModeTest : public SimEndToEndTest,
                      public ::testing::WithParamInterface<std::pair<SimCableMode, int>> {
protected:
    CableModeTest()
        : SimEndToEndTest([] {
              SimD2xx::Options o;
              o.mode = GetParam().first;
              return o;
          }()) {}
};

TEST_P(CableModeTest, ProbeTellsTheCableModes) {
    EXPECT_EQ(connect(), GetParam().second);
    // An echoing cable still carries the protocol: the engine swallows the echo.
    if (GetParam().first == SimCableMode::Echo) {
        EXPECT_TRUE(engine.echoCable());
        EXPECT_EQ(engine.readRadioItem(1, lastOpc, reply), 12);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, CableModeTest,
                         ::testing::Values(std::pair{SimCableMode::Digital, SBEP::kCableDigital},
                                           std::pair{SimCableMode::Echo, SBEP::kCableEcho},
                                           std::pair{SimCableMode::Unsupported,
                                                     SBEP::kCableUnsupported}));

class RadioFaultTest : public FaultTest {
protected:
    RadioFaultTest()
        : FaultTest({{SimFaultKind::FailErase, 0x86000, 0},
                     {SimFaultKind::CorruptDefaultBlock, 0, 0},
                     {SimFaultKind::WrongOpcode, 0x17, 0},
                     {SimFaultKind::PullCable, 60, 0}}) {}
};

TEST_F(RadioFaultTest, FailuresReachTheCallerWithTheirRecords) {
    ASSERT_EQ(connect(), SBEP::kCableDigital);
    ASSERT_GE(engine.requestTestMode(8, {0, 0}, lastOpc, reply), 0);
    ASSERT_GE(engine.requestProtectionMode(0x3000, lastOpc, reply), 0);
    engine.eraseFlash(4, 0x86000, lastOpc, reply);
    EXPECT_EQ(lastOpc, 0x85);  // refused, twice; a refusal is no 0x95, so no reply of its own
    ASSERT_EQ(chain().size(), 1u);
    EXPECT_EQ(chain()[0],
              L"Error:failed to request for erase falsh after 2 trials. Erase type is 4, the "
              L"address is 548864, the status is -1, the last OPC is 133.");
    ErrorChain::remove(0);

    ASSERT_EQ(engine.resetDevice(1, lastOpc, reply), 2);
    EXPECT_EQ(reply[1] & 0x80, 0x80);

    ASSERT_GE(engine.requestTestMode(1, {0, 0}, lastOpc, reply), 0);
    uint32_t address = kDynMemory;
    engine.memWrite(Bytes{1, 2}, address, lastOpc, reply);
    EXPECT_EQ(lastOpc, 0x85);  // 0x84 answered as 0x85: no retry, a failure
    EXPECT_EQ(chain().size(), 1u);
    ErrorChain::remove(0);

    // The cable comes out inside the next frame (host bytes 58 to 66).
    address = kDynMemory;
    EXPECT_LT(engine.memRead(220, address, lastOpc, reply), 0);
    int first = -1;
    EXPECT_EQ(port.countCables(first), 0);
}

}  // namespace
}  // namespace plugshift
