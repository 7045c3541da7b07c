#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/sim_d2xx.h"
#include "sim/sim_protocol.h"
#include "sim/sim_responder.h"
#include "wire.h"

// The radio's answer to every request, driven through the simulated cable with frames written
// out by hand.
namespace plugshift {
namespace {

using test::longFrame;
using test::shortFrame;
using test::WireReply;
using ::testing::Each;
using ::testing::ElementsAre;
using Bytes = std::vector<uint8_t>;

Bytes address3(uint32_t a) {
    return {static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)};
}

Bytes join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A reply and, when the radio refused the request, why.
struct Answered : WireReply {
    std::optional<SimRefusal> refusal;
};

class SimResponderTest : public ::testing::Test {
protected:
    explicit SimResponderTest(SimRadioConfig config = {})
        : d2xx([&] {
              SimD2xx::Options o;
              o.radio = config;
              o.timing = SimTiming::instant();  // the radio's answers, not its times
              return o;
          }()) {}

    std::optional<Answered> send(const Bytes& frame) {
        const std::optional<WireReply> reply = host.request(frame);
        if (!reply) {
            return std::nullopt;
        }
        return Answered{*reply, d2xx.cable().responder().lastRefusal()};
    }
    std::optional<Answered> item(uint8_t i) { return send(shortFrame(0x23, {i})); }
    std::optional<Answered> testMode(uint8_t type) { return send(shortFrame(0x22, {type, 0, 0})); }
    std::optional<Answered> protection(uint16_t mode) {
        return send(shortFrame(
            0x72, {0x08, 0x00, static_cast<uint8_t>(mode >> 8), static_cast<uint8_t>(mode)}));
    }
    std::optional<Answered> erase(uint8_t type, uint32_t a) {
        return send(longFrame(0x72, join({type}, address3(a))));
    }
    std::optional<Answered> program(uint32_t a, const Bytes& data) {
        return send(longFrame(0x72, join(join({0x01}, address3(a)), data)));
    }
    std::optional<Answered> memRead(uint32_t a, uint8_t n) {
        return send(longFrame(0x11, join({n}, address3(a))));
    }
    std::optional<Answered> memWrite(uint32_t a, const Bytes& data) {
        return send(longFrame(0x17, join(join({0x01}, address3(a)), data)));
    }
    std::optional<Answered> reset(uint8_t type) { return send(longFrame(0x10, {type})); }
    std::optional<Answered> softpot(uint8_t type, uint8_t sub = 0, const Bytes& data = {}) {
        return send(longFrame(0x38, join({type, 0, 0, sub}, data)));
    }
    std::optional<Answered> updateSerial(const Bytes& digits) {
        return send(shortFrame(0x18, join({0x01, 0x01}, digits)));
    }
    std::optional<Answered> contact(uint8_t sub, const Bytes& data) {
        const Bytes body = join({sub}, data);
        return send(body.size() + 1 < 15 ? shortFrame(0x9B, body) : longFrame(0x9B, body));
    }
    uint16_t hardReset() {
        const auto r = reset(1);
        EXPECT_TRUE(r && r->data.size() == 2);
        return r && r->data.size() == 2 ? static_cast<uint16_t>(r->data[0] << 8 | r->data[1])
                                        : 0xFFFF;
    }
    // Erases and programs the whole default block with `image` (64 KiB).
    void writeDefaultBlock(const Bytes& image) {
        const uint32_t start = SimFlash::defaultBlockAddress(d2xx.radio().flashType());
        ASSERT_TRUE(testMode(8));
        ASSERT_EQ(protection(SimRadio::unlockMode(d2xx.radio().flashType()))->opcode, 0x95);
        for (uint32_t offset = 0; offset < image.size(); offset += 0x1000) {
            ASSERT_EQ(erase(0x04, start + offset)->opcode, 0x95);
            const Bytes chunk(image.begin() + offset, image.begin() + offset + 0x1000);
            ASSERT_EQ(program(start + offset, chunk)->opcode, 0x95);
        }
    }

    SimD2xx d2xx;
    test::WireHost host{d2xx};
};

MATCHER_P(Refused, why, "") {
    return arg && arg->opcode == 0x85 && arg->address && arg->data.empty() && arg->refusal == why;
}

MATCHER_P2(Answer, opcode, data, "") {
    return arg && arg->opcode == opcode && arg->data == Bytes(data);
}

TEST_F(SimResponderTest, IdentityItemsAndUserPrivateId) {
    EXPECT_THAT(item(0),
                Answer(0xA3, Bytes({0, 0, 'R', 'Q', 'X', 7, 7, 0, 'H', 'J', 'N', 'W', 'A'})));
    EXPECT_THAT(item(1),
                Answer(0xA3, Bytes({1, 0, '7', '5', '2', 'T', 'R', 'X', '4', 'F', '2', '1'})));
    EXPECT_THAT(item(3), Answer(0xA3, Bytes({3, 0, 'R', 2, 10, 5})));
    EXPECT_THAT(item(4), Answer(0xA3, Bytes({4, 0, 'R', 1, 3, 0})));
    EXPECT_THAT(item(8), Answer(0xA3, Bytes({8, 0, 'R', 1, 0, 2})));
    // 1234567 = 0x12D687, big-endian in the first 8 of 12 bytes
    EXPECT_THAT(send(longFrame(0x20, {0x31, 0x00, 0x00})),
                Answer(0x8A, Bytes({0x31, 0, 0, 0, 0, 0, 0, 0x12, 0xD6, 0x87, 0, 0, 0, 0})));
    EXPECT_THAT(item(2), Refused(SimRefusal::UnknownRequest));
}

TEST_F(SimResponderTest, TestModeReplyCarriesTheFlashType) {
    for (int type = 0; type < 3; ++type) {
        d2xx.radio().flash().setFlashType(type);
        const auto t = static_cast<uint8_t>(type);
        EXPECT_THAT(testMode(8), Answer(0x8C, Bytes({8, t})));
        EXPECT_EQ(d2xx.radio().mode(), SimRadio::Mode::FlashTest);
        EXPECT_THAT(testMode(1), Answer(0x8C, Bytes({1, t})));
        EXPECT_EQ(d2xx.radio().mode(), SimRadio::Mode::SbepTest);
    }
    EXPECT_THAT(testMode(5), Refused(SimRefusal::BadRequest));
}

TEST_F(SimResponderTest, FlashRequestsNeedTheFlashTestModeAndAnUnlockedBlock) {
    const uint32_t sector = 0x84000;  // flash type 1
    EXPECT_THAT(erase(0x04, sector), Refused(SimRefusal::WrongMode));
    ASSERT_TRUE(testMode(1));
    EXPECT_THAT(erase(0x04, sector), Refused(SimRefusal::WrongMode));
    ASSERT_TRUE(testMode(8));
    EXPECT_THAT(erase(0x04, sector), Refused(SimRefusal::Protected));
    EXPECT_THAT(program(sector, {0}), Refused(SimRefusal::Protected));
    // The dynamic block needs no unlocking.
    EXPECT_THAT(erase(0x06, 0xE0000), Answer(0x95, Bytes({0x06})));
    EXPECT_THAT(erase(0x06, 0x70000), Refused(SimRefusal::BadAddress));
    // Only the two modes of flash type 1 are known.
    EXPECT_THAT(protection(0x1040), Refused(SimRefusal::BadRequest));
    EXPECT_THAT(protection(0x3000), Answer(0x95, Bytes({0x08})));
    EXPECT_THAT(erase(0x04, sector), Answer(0x95, Bytes({0x04})));
    EXPECT_THAT(erase(0x04, sector + 0x10), Refused(SimRefusal::BadAddress));
    EXPECT_THAT(program(sector, {0x12, 0x34}), Answer(0x95, Bytes({0x01})));
    EXPECT_THAT(program(sector + 0xFFFF, {1, 2}), Refused(SimRefusal::BadAddress));
    EXPECT_THAT(protection(0x840), Answer(0x95, Bytes({0x08})));
    EXPECT_THAT(erase(0x04, sector), Refused(SimRefusal::Protected));
    EXPECT_THAT(d2xx.radio().flash().block(SimBlock::Def).first(2), ElementsAre(0x12, 0x34));
}

TEST_F(SimResponderTest, ANewCodeplugChangesTheReportedIdentity) {
    Bytes image(0x10000, 0x00);
    const Bytes header{'R', 'Q', 'X', 7, 7, 0, 'H', 'J', 'N', 'W', 'E', 'R', 1, 4, 0};
    std::ranges::copy(header, image.begin());
    writeDefaultBlock(image);
    EXPECT_EQ(hardReset() & 0x0280, 0);
    EXPECT_THAT(item(0), Answer(0xA3, join({0, 0}, Bytes(header.begin(), header.begin() + 11))));
    EXPECT_THAT(item(4), Answer(0xA3, Bytes({4, 0, 'R', 1, 4, 0})));
    // Memory requests see the same block at its address-map address.
    EXPECT_THAT(memRead(0x84400, 15), Answer(0x80, header));
}

TEST_F(SimResponderTest, HardResetStatusWordReportsTheBlocks) {
    EXPECT_EQ(hardReset(), 0x0040);  // factory block equals its backup

    ASSERT_TRUE(testMode(1));
    ASSERT_TRUE(updateSerial({'1', '2', '3'}));
    EXPECT_EQ(hardReset(), 0x0000);

    ASSERT_TRUE(testMode(8));
    ASSERT_TRUE(protection(0x3000));
    ASSERT_TRUE(erase(0x04, 0x84000));  // header erased, nothing programmed
    EXPECT_EQ(hardReset(), 0x0080);

    ASSERT_TRUE(testMode(8));
    ASSERT_TRUE(protection(0x3000));
    ASSERT_TRUE(program(0x84000, Bytes(15, 0x11)));
    ASSERT_TRUE(program(0x84000, Bytes(15, 0x22)));  // over programmed bytes: 0x11 & 0x22 = 0
    EXPECT_EQ(hardReset(), 0x0200);

    // A reset leaves the test mode and locks the block again.
    EXPECT_EQ(d2xx.radio().mode(), SimRadio::Mode::Normal);
    EXPECT_THAT(memWrite(0x820000, {1}), Refused(SimRefusal::WrongMode));
    ASSERT_TRUE(testMode(8));
    EXPECT_THAT(erase(0x04, 0x84000), Refused(SimRefusal::Protected));
    EXPECT_THAT(reset(0), Answer(0x8C, Bytes({0x02, 0x00})));
    EXPECT_THAT(reset(2), Refused(SimRefusal::BadRequest));
}

TEST_F(SimResponderTest, SerialUpdateBackupAndRestoreOfTheFactoryBlock) {
    const Bytes oldSerial{'7', '5', '2', 'T', 'R', 'X', '4', 'F', '2', '1'};
    const Bytes newSerial{'1', '2', '3', 'A', 'B', '4', '5', 'C', '6', '7', 'Z'};
    EXPECT_THAT(updateSerial(newSerial), Refused(SimRefusal::WrongMode));
    ASSERT_TRUE(testMode(1));
    EXPECT_THAT(updateSerial(newSerial), Answer(0x8C, Bytes({0x01})));
    EXPECT_THAT(item(1), Answer(0xA3, join({1, 0}, newSerial)));
    // Restoring without a backup brings the old serial back...
    EXPECT_THAT(softpot(0x27), Answer(0x8C, Bytes({0x27})));
    EXPECT_THAT(item(1), Answer(0xA3, join({1, 0}, oldSerial)));
    // ...after a backup the new one stays.
    ASSERT_TRUE(updateSerial(newSerial));
    EXPECT_THAT(send(shortFrame(0x38, {0x26, 0, 0, 0})), Answer(0x8C, Bytes({0x26})));
    ASSERT_TRUE(softpot(0x27));
    EXPECT_THAT(item(1), Answer(0xA3, join({1, 0}, newSerial)));
    // Twelve digits do not fit the field (and no longer fit a short frame).
    EXPECT_THAT(send(longFrame(0x18, join({1, 1}, Bytes(12, '9')))),
                Refused(SimRefusal::BadRequest));
}

TEST_F(SimResponderTest, ResetAllBlocksBlanksThePersonality) {
    EXPECT_THAT(softpot(0x2E), Refused(SimRefusal::WrongMode));
    ASSERT_TRUE(testMode(1));
    EXPECT_THAT(softpot(0x2E), Answer(0x8C, Bytes({0x2E})));
    EXPECT_THAT(d2xx.radio().flash().block(SimBlock::Dyn), Each(0));
    EXPECT_EQ(d2xx.radio().contactCount(), 0);
    EXPECT_THAT(send(longFrame(0x20, {0x31, 0x00, 0x00})),
                Answer(0x8A, join({0x31, 0}, Bytes(12, 0))));
    EXPECT_THAT(softpot(0x2B), Refused(SimRefusal::UnknownRequest));
    EXPECT_THAT(softpot(0x2E, 0, {1}), Refused(SimRefusal::BadRequest));
}

TEST_F(SimResponderTest, ContactsAreReadStagedAndCommittedByMasterReset) {
    EXPECT_THAT(contact(0x30, {0, 0, 0}), Refused(SimRefusal::WrongMode));
    ASSERT_TRUE(testMode(8));
    const auto first = contact(0x30, {0, 0, 0});
    ASSERT_TRUE(first);
    EXPECT_EQ(first->opcode, 0x41);
    ASSERT_EQ(first->data.size(), 4u + SimRadio::kContactSize);
    EXPECT_THAT(Bytes(first->data.begin(), first->data.begin() + 4), ElementsAre(0x8C, 0, 0, 12));
    EXPECT_EQ(first->data[4 + 7], 1);  // group of contact 0
    EXPECT_EQ(contact(0x30, {0, 5, 12})->data[4 + 7], 2);
    EXPECT_THAT(contact(0x30, {0, 12, 12}), Answer(0x41, Bytes({0x8C, 0, 12, 12})));

    Bytes mine = SimRadio::sampleContact(40);
    mine[7] = 4;
    ASSERT_TRUE(testMode(1));
    // Number 1 starts a new list, so a stale one from an interrupted restore is dropped.
    ASSERT_TRUE(contact(0x31, join({0, 1, 2}, SimRadio::sampleContact(3))));
    EXPECT_THAT(contact(0x31, join({0, 1, 2}, SimRadio::sampleContact(7))),
                Answer(0x41, Bytes({0x50, 1})));
    EXPECT_THAT(contact(0x31, join({0, 2, 2}, mine)), Answer(0x41, Bytes({0x50, 2})));
    EXPECT_EQ(d2xx.radio().contactCount(), 12);  // nothing changes before the master reset
    EXPECT_THAT(send(shortFrame(0x9B, {0x36})), Answer(0x41, Bytes({0x50, 2})));
    EXPECT_EQ(d2xx.radio().contact(0), SimRadio::sampleContact(7));
    EXPECT_EQ(d2xx.radio().contact(1), mine);

    mine.resize(SimRadio::kContactGroupByte);  // too short to name a group
    EXPECT_THAT(contact(0x31, join({0, 1, 1}, mine)), Refused(SimRefusal::BadRequest));
    EXPECT_THAT(contact(0x31, {0, 2, 1, 1, 2, 3, 4, 5, 6, 7, 1}),
                Refused(SimRefusal::BadRequest));  // number beyond the total
    EXPECT_THAT(contact(0x33, {}), Refused(SimRefusal::UnknownRequest));
}

TEST_F(SimResponderTest, MemoryRequests) {
    EXPECT_THAT(memRead(0x820000, 4), Answer(0x80, Bytes({0, 0, 0, 0})));  // works in normal mode
    EXPECT_EQ(memRead(0x820010, 2)->address, 0x820010u);
    EXPECT_THAT(memRead(0x820000, 221), Refused(SimRefusal::BadRequest));
    EXPECT_EQ(memRead(0x820000, 220)->data.size(), 220u);
    EXPECT_THAT(memRead(0x820FFF, 2), Refused(SimRefusal::BadAddress));
    // A refusal echoes the address asked for, so the host's messages name it.
    EXPECT_EQ(memRead(0x820FFF, 2)->address, 0x820FFFu);
    EXPECT_EQ(item(2)->address, 0u);

    ASSERT_TRUE(testMode(1));
    const auto ack = memWrite(0x820010, {9, 8, 7});
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->opcode, 0x84);
    EXPECT_EQ(ack->address, 0x820010u);
    EXPECT_TRUE(ack->data.empty());
    EXPECT_THAT(memRead(0x820010, 3), Answer(0x80, Bytes({9, 8, 7})));
    EXPECT_THAT(memWrite(0x841000, {1}), Refused(SimRefusal::BadAddress));
    EXPECT_THAT(memWrite(0x820000, Bytes(221, 0)), Refused(SimRefusal::BadRequest));
}

TEST_F(SimResponderTest, QueryUnknownRequestsAndBadChecksums) {
    EXPECT_THAT(send(shortFrame(0x24, {0x02, 0x00})), Answer(0xA4, Bytes({0x02, 0x00, 1})));
    // The cable probe, should it reach the radio at its own rate, is no request of the radio's.
    EXPECT_THAT(send({0xF1, 0x40, 0xCE}), Refused(SimRefusal::UnknownRequest));
    Bytes bad = shortFrame(0x23, {0});
    bad.back() ^= 1;
    EXPECT_TRUE(host.exchange(bad).empty());
}

TEST_F(SimResponderTest, BaudSwitchIsAnsweredAtTheOldRateThenTheRadioListensAtTheNew) {
    ASSERT_TRUE(testMode(8));
    // 19200 = 0x4B00
    EXPECT_THAT(softpot(0x2A, 0, {0x00, 0x00, 0x4B, 0x00}), Answer(0x8C, Bytes({0x2A})));
    EXPECT_EQ(d2xx.radio().baud(), 19200u);
    EXPECT_FALSE(item(0));  // 57600 is garbage to the radio now
    host.setBaud(19200);
    EXPECT_TRUE(item(0));
    EXPECT_THAT(softpot(0x2A, 1, {0x00, 0x00, 0x00, 0x64}), Refused(SimRefusal::BadRequest));
    EXPECT_THAT(softpot(0x2A, 1, {0x00, 0xE1, 0x00}), Refused(SimRefusal::BadRequest));
}

}  // namespace
}  // namespace plugshift
