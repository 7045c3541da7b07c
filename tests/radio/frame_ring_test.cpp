#include "radio/frame_ring.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "sbep_rig.h"

namespace plugshift {
namespace {

using test::Bytes;
using test::SbepRig;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::IsEmpty;

const Bytes kMemRead16 = {0xFF, 0x11, 0x00, 0x05, 0x10, 0x01, 0x02, 0x03, 0xD4};
// reply 0x80 echoing 0x010203 and carrying 11 22 33 44
const Bytes kFourBytes = {0x50, 0xF9, 0x80, 0x00, 0x01, 0x02, 0x03, 0x11, 0x22, 0x33, 0x44, 0xD6};

// The hex part of a trace line, after its time stamp and direction.
std::string hexOf(const std::string& line) {
    return line.substr(line.find(' ', line.find(' ') + 1) + 1);
}

// Frame n of a run: its number in the first two bytes, so a line tells which frame it is.
Bytes numbered(size_t n, size_t length) {
    Bytes frame(length, 0xAB);
    frame[0] = static_cast<uint8_t>(n >> 8);
    frame[1] = static_cast<uint8_t>(n);
    return frame;
}

TEST(FrameRingTest, KeepsTheNewestFramesInOrderAndCutsLongOnes) {
    FrameRing ring;
    EXPECT_THAT(ring.lines(), IsEmpty());
    const size_t total = FrameRing::kCapacity + 88;
    for (size_t n = 0; n < total; ++n) {
        // Every tenth frame is a flash chunk far longer than a slot.
        const Bytes frame = numbered(n, n % 10 == 0 ? 4111 : 12);
        ring.record({n % 2 == 0 ? FrameDirection::kSent : FrameDirection::kReceived,
                     std::chrono::system_clock::now(), frame});
    }
    EXPECT_EQ(ring.size(), FrameRing::kCapacity);
    EXPECT_EQ(ring.recorded(), total);

    const std::vector<std::string> lines = ring.lines();
    ASSERT_EQ(lines.size(), FrameRing::kCapacity);
    // The oldest frames dropped off; the first held is frame 88 (a sent one), the last the newest.
    EXPECT_TRUE(
        std::regex_match(lines.front(), std::regex(R"(\d\d:\d\d:\d\d\.\d\d\d TX 00 58( AB){10})")))
        << lines.front();
    EXPECT_EQ(hexOf(lines.back()), "02 57 AB AB AB AB AB AB AB AB AB AB");
    // Frame 90 kept its first kBytesKept bytes and says how long it was.
    const std::string& cut = lines[2];
    EXPECT_THAT(cut, EndsWith(" ... (4111 bytes)"));
    EXPECT_EQ(hexOf(cut).size(),
              FrameRing::kBytesKept * 3 - 1 + std::string(" ... (4111 bytes)").size());

    ring.clear();
    EXPECT_EQ(ring.size(), 0u);
    EXPECT_THAT(ring.lines(), IsEmpty());
}

// The --trace writer and tests use the observer; the radio record's ring must see the same frames
// whether or not one is attached.
TEST(FrameRingTest, TheEngineFeedsTheRingBesideItsObserver) {
    SbepRig rig;
    FrameRing ring;
    rig.engine.setFrameRing(&ring);
    std::vector<Bytes> observed;
    rig.engine.setFrameObserver([&observed](const FrameEvent& e) {
        observed.emplace_back(e.bytes.begin(), e.bytes.end());
    });
    rig.answer({{}, kFourBytes});
    uint32_t address = 0x010203;
    ASSERT_EQ(rig.engine.memRead(16, address, rig.lastOpc, rig.reply), 4);

    EXPECT_THAT(observed, ElementsAre(kMemRead16, Bytes{}, kMemRead16, kFourBytes));
    std::vector<std::string> hex;
    for (const std::string& line : ring.lines()) {
        hex.push_back(line.substr(13));
    }
    EXPECT_THAT(hex, ElementsAre("TX FF 11 00 05 10 01 02 03 D4", "RX (nothing)",
                                 "TX FF 11 00 05 10 01 02 03 D4",
                                 "RX 50 F9 80 00 01 02 03 11 22 33 44 D6"));

    rig.engine.setFrameObserver({});
    rig.answer({kFourBytes});
    ASSERT_EQ(rig.engine.memRead(16, address, rig.lastOpc, rig.reply), 4);
    EXPECT_EQ(ring.recorded(), 6u);
    EXPECT_EQ(observed.size(), 4u);
}

}  // namespace
}  // namespace plugshift
