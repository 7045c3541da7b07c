#include "radio/reply_parser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "radio/sbep_protocol.h"

namespace plugshift {
namespace {

using Bytes = std::vector<uint8_t>;
using Outcome = ReplyParser::Outcome;
using ::testing::Each;

constexpr uint8_t kUntouched = 0xEE;

struct Parsed {
    Outcome outcome;
    uint8_t opcode;
    uint32_t address;
    Bytes data;
    size_t consumed;
};

// Feeds the bytes until the parser finishes; the reply buffer is followed by guard bytes that
// must stay untouched.
Parsed parse(const Bytes& wire, size_t replyCapacity = 16) {
    Bytes buffer(replyCapacity + 8, kUntouched);
    ReplyParser parser{std::span(buffer).first(replyCapacity), sbep::kReceiveBufferSize};
    for (uint8_t byte : wire) {
        if (parser.feed(byte) != Outcome::kPending) {
            break;
        }
    }
    EXPECT_THAT(Bytes(buffer.begin() + static_cast<long>(replyCapacity), buffer.end()),
                Each(kUntouched));
    return {parser.outcome(), parser.opcode(), parser.address(),
            Bytes(buffer.begin(), buffer.begin() + parser.count()), parser.consumed()};
}

TEST(ReplyParserTest, ParsesWellFormedReplies) {
    struct Case {
        const char* name;
        Bytes wire;
        uint8_t opcode;
        uint32_t address;
        Bytes data;
    };
    const Case cases[] = {
        // memory-write acknowledge: address field, no data
        {"ack", {0x50, 0xFF, 0x84, 0x00, 0x05, 0x00, 0x01, 0x02, 0x03, 0x71}, 0x84, 0x00010203, {}},
        {"short data", {0x50, 0xF4, 0x8C, 0x01, 0x02, 0x03, 0x79}, 0x8C, 0, {1, 2, 3}},
        {"short address and data",
         {0x50, 0xF7, 0x80, 0x00, 0x01, 0x02, 0x03, 0xAA, 0xBB, 0x1D},
         0x80,
         0x00010203,
         {0xAA, 0xBB}},
        {"short address only",
         {0x50, 0xF5, 0x80, 0x00, 0x01, 0x02, 0x03, 0x84},
         0x80,
         0x00010203,
         {}},
        // length 0: the checksum follows at once
        {"long empty", {0x50, 0xFF, 0x8C, 0x00, 0x00, 0x74}, 0x8C, 0, {}},
        // 01 02 are skipped and stay out of the sum, which restarts at F3
        {"junk before start",
         {0x50, 0x01, 0x02, 0xF3, 0x8C, 0xAA, 0xBB, 0x1B},
         0x8C,
         0,
         {0xAA, 0xBB}},
        {"address 0x85",
         {0x50, 0xF6, 0x85, 0x12, 0x34, 0x56, 0x78, 0x09, 0x67},
         0x85,
         0x12345678,
         {9}},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.wire);
        EXPECT_EQ(p.outcome, Outcome::kComplete) << c.name;
        EXPECT_EQ(p.opcode, c.opcode) << c.name;
        EXPECT_EQ(p.address, c.address) << c.name;
        EXPECT_EQ(p.data, c.data) << c.name;
        EXPECT_EQ(p.consumed, c.wire.size()) << c.name;
    }
}

TEST(ReplyParserTest, RejectsWrongLeadInAndChecksum) {
    struct Case {
        Bytes wire;
        Outcome outcome;
        uint8_t opcode;
    };
    const Case cases[] = {
        {{0x60, 0xFF, 0x84}, Outcome::kBadLeadIn, 0x60},
        {{0x00}, Outcome::kBadLeadIn, 0x60},
        {{0x50, 0xFF, 0x84, 0x00, 0x05, 0x00, 0x01, 0x02, 0x03, 0x72}, Outcome::kBadChecksum, 0x84},
        // a junk byte counted into the sum would make 1B wrong; 1A is wrong either way
        {{0x50, 0x01, 0xF3, 0x8C, 0xAA, 0xBB, 0x1A}, Outcome::kBadChecksum, 0x8C},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.wire);
        EXPECT_EQ(p.outcome, c.outcome) << ::testing::PrintToString(c.wire);
        EXPECT_EQ(p.opcode, c.opcode);
    }
}

TEST(ReplyParserTest, RefusesAtTheHeaderWithoutWritingData) {
    struct Case {
        const char* name;
        Bytes wire;
        size_t replyCapacity;
        Outcome outcome;
        size_t consumed;  // where the parser stopped taking bytes
    };
    const Case cases[] = {
        {"short count 0", {0x50, 0xF0, 0x8C, 0x73, 0x00}, 16, Outcome::kNoRoom, 3},
        {"short count 1", {0x50, 0xF1, 0x8C, 0x82}, 16, Outcome::kNoRoom, 3},
        {"long length 1", {0x50, 0xFF, 0x8C, 0x00, 0x01, 0x73}, 16, Outcome::kNoRoom, 5},
        {"address field cut", {0x50, 0xF4, 0x84, 0x00, 0x01, 0x02, 0x84}, 16, Outcome::kNoRoom, 3},
        {"data overrun",
         {0x50, 0xF9, 0x8C, 1, 2, 3, 4, 5, 6, 7, 8, 0x56},
         4,
         Outcome::kDataOverrun,
         3},
        {"address reply overrun",
         {0x50, 0xF7, 0x80, 0x00, 0x01, 0x02, 0x03, 0xAA, 0xBB, 0x1D},
         1,
         Outcome::kDataOverrun,
         3},
        {"no reply buffer",
         {0x50, 0xF4, 0x8C, 0x01, 0x02, 0x03, 0x79},
         0,
         Outcome::kDataOverrun,
         3},
        {"receive overrun", {0x50, 0xFF, 0x8C, 0xFF, 0xFF, 0x76}, 16, Outcome::kReceiveOverrun, 5},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.wire, c.replyCapacity);
        EXPECT_EQ(p.outcome, c.outcome) << c.name;
        EXPECT_EQ(p.consumed, c.consumed) << c.name;
        EXPECT_TRUE(p.data.empty()) << c.name;
    }
    // An exact fit is not an overrun.
    EXPECT_EQ(parse({0x50, 0xF4, 0x8C, 0x01, 0x02, 0x03, 0x79}, 3).outcome, Outcome::kComplete);
}

// The largest reply fills the receive buffer exactly; one byte more, or junk that would push
// past it, is refused.
TEST(ReplyParserTest, ReceiveBufferBoundsTheWholeReply) {
    const size_t maxData = sbep::kMaxReplyData;
    const auto longReply = [](size_t dataBytes) {
        const size_t follow = dataBytes + 1;
        Bytes wire = {0x50, 0xFF, 0x8C, static_cast<uint8_t>(follow >> 8),
                      static_cast<uint8_t>(follow)};
        wire.resize(wire.size() + dataBytes, 0x00);
        const unsigned sum = 0xFF + 0x8C + (follow >> 8) + (follow & 0xFF);
        wire.push_back(static_cast<uint8_t>(0xFF - sum));
        return wire;
    };
    const Bytes fits = longReply(maxData);
    ASSERT_EQ(fits.size(), sbep::kReceiveBufferSize);
    EXPECT_EQ(parse(fits, maxData).outcome, Outcome::kComplete);
    EXPECT_EQ(parse(longReply(maxData + 1), maxData + 1).outcome, Outcome::kReceiveOverrun);

    Bytes babble(sbep::kReceiveBufferSize + 10, 0x00);
    babble[0] = 0x50;
    const Parsed p = parse(babble);
    EXPECT_EQ(p.outcome, Outcome::kReceiveOverrun);
    EXPECT_EQ(p.consumed, sbep::kReceiveBufferSize);
}

TEST(ReplyParserTest, WaitsUntilTheReplyBegins) {
    Bytes buffer(4);
    ReplyParser framed(buffer, sbep::kReceiveBufferSize);
    framed.feed(0x50);
    framed.feed(0xFF);
    EXPECT_TRUE(framed.waiting());
    framed.feed(0x8C);
    EXPECT_FALSE(framed.waiting());

    ReplyParser junk(buffer, sbep::kReceiveBufferSize);
    junk.feed(0x50);
    EXPECT_TRUE(junk.waiting());
    junk.feed(0x01);
    EXPECT_FALSE(junk.waiting());
}

TEST(ReplyParserTest, IgnoresBytesAfterFinishing) {
    Bytes buffer(4);
    ReplyParser parser(buffer, sbep::kReceiveBufferSize);
    for (uint8_t byte : {0x50, 0xF2, 0x8C, 0x07, 0x7A}) {
        parser.feed(byte);
    }
    ASSERT_EQ(parser.outcome(), Outcome::kComplete);
    EXPECT_EQ(parser.feed(0x99), Outcome::kComplete);
    EXPECT_EQ(parser.count(), 1);
    EXPECT_EQ(buffer[1], 0);
}

}  // namespace
}  // namespace plugshift
