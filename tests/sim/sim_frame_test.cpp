#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/sim_reply.h"
#include "sim/sim_request_parser.h"
#include "wire.h"

namespace plugshift {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

std::vector<SimRequest> feedAll(SimRequestParser& parser, std::span<const uint8_t> bytes) {
    std::vector<SimRequest> found;
    for (uint8_t b : bytes) {
        if (auto request = parser.feed(b)) {
            found.push_back(*request);
        }
    }
    return found;
}

TEST(SimRequestParserTest, FindsLongAndShortFrames) {
    struct Case {
        std::vector<uint8_t> bytes;
        uint8_t opcode;
        std::vector<uint8_t> body;
        bool longFrame;
    };
    const Case cases[] = {
        // memRead of 16 bytes at 0x010203: the checksum is 0xD4
        {{0xFF, 0x11, 0x00, 0x05, 0x10, 0x01, 0x02, 0x03, 0xD4},
         0x11,
         {0x10, 0x01, 0x02, 0x03},
         true},
        {{0xF2, 0x23, 0x00, 0xEA}, 0x23, {0x00}, false},
        // the cable probe is a frame with no body at all
        {{0xF1, 0x40, 0xCE}, 0x40, {}, false},
        // noise before the start byte is skipped
        {{0x00, 0x12, 0x50, 0xF2, 0x23, 0x08, 0xE2}, 0x23, {0x08}, false},
    };
    for (const Case& c : cases) {
        SimRequestParser parser;
        const auto found = feedAll(parser, c.bytes);
        ASSERT_EQ(found.size(), 1u) << ::testing::PrintToString(c.bytes);
        EXPECT_EQ(found[0].opcode, c.opcode);
        EXPECT_EQ(found[0].body, c.body);
        EXPECT_EQ(found[0].longFrame, c.longFrame);
    }
}

TEST(SimRequestParserTest, DropsBadFramesAndFindsTheNextOne) {
    const std::vector<std::vector<uint8_t>> bad = {
        {0xF2, 0x23, 0x00, 0xEB},  // checksum off by one
        {0xFF, 0x11, 0x00, 0x00},  // a long frame with no room for its checksum
        {0xFF, 0x72, 0x10, 0x07},  // longer than any request (4103)
    };
    const auto good = test::shortFrame(0x23, {0x04});
    for (const auto& b : bad) {
        SimRequestParser parser;
        std::vector<uint8_t> bytes = b;
        bytes.insert(bytes.end(), good.begin(), good.end());
        const auto found = feedAll(parser, bytes);
        ASSERT_EQ(found.size(), 1u) << ::testing::PrintToString(b);
        EXPECT_THAT(found[0].body, ElementsAre(0x04));
        EXPECT_EQ(parser.droppedFrames(), 1);
    }
}

TEST(SimRequestParserTest, ResetAbandonsAPartialFrame) {
    SimRequestParser parser;
    const auto frame = test::shortFrame(0x23, {0x01});
    feedAll(parser, std::span(frame).first(2));
    EXPECT_TRUE(parser.inFrame());
    parser.reset();
    EXPECT_EQ(feedAll(parser, frame).size(), 1u);
}

TEST(SimReplyTest, WireForms) {
    // the memory-write acknowledge of address 0x00010203
    EXPECT_THAT((SimReply{0x84, 0x00010203, {}, true}.wire()),
                ElementsAre(0x50, 0xFF, 0x84, 0x00, 0x05, 0x00, 0x01, 0x02, 0x03, 0x71));
    EXPECT_THAT((SimReply{0x8C, std::nullopt, {0x08, 0x01}, false}.wire()),
                ElementsAre(0x50, 0xF3, 0x8C, 0x08, 0x01, 0x77));
    // The short form ends at 13 data bytes (0xFE): k = 15 would read as the long start 0xFF.
    struct Case {
        size_t dataBytes;
        uint8_t start;
    };
    for (const Case c : {Case{1, 0xF2}, Case{13, 0xFE}, Case{14, 0xFF}, Case{220, 0xFF}}) {
        const SimReply reply{0x41, std::nullopt, std::vector<uint8_t>(c.dataBytes, 0x5A), false};
        const auto wire = reply.wire();
        EXPECT_EQ(wire[1], c.start) << c.dataBytes;
        const auto parsed = test::parseReply(wire);
        ASSERT_TRUE(parsed) << c.dataBytes;
        EXPECT_EQ(parsed->opcode, 0x41);
        EXPECT_EQ(parsed->data, reply.data);
    }
}

}  // namespace
}  // namespace plugshift
