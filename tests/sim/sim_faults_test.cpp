#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "sim/sim_faults.h"

namespace plugshift {
namespace {

TEST(SimFaultsTest, EveryKindOfTheCatalogueFormatsAndParsesBack) {
    std::mt19937_64 generator(7);
    for (const SimFaultInfo& entry : SimFaults::catalogue()) {
        EXPECT_EQ(&SimFaults::info(entry.kind), &entry);
        for (int i = 0; i < 20; ++i) {
            const SimFault fault = SimFaults::random(entry.kind, generator, 1);
            const std::string text = SimFaults::format(fault);
            EXPECT_EQ(SimFaults::parse(text), fault) << text;
        }
    }
}

TEST(SimFaultsTest, ParseRefusesWhatItCannotMean) {
    for (const char* text : {"", "drop", "drop:0", "drop:x", "drop:1:2", "delay:3", "refuse:0x100",
                             "reset-status:2:0x80", "reset-status:1:0x10000", "corrupt-default:1",
                             "pull:-1", "pull:99999999999", "explode:1"}) {
        EXPECT_FALSE(SimFaults::parse(text)) << text;
    }
    EXPECT_EQ(SimFaults::parse("fail-erase:0x85000"),
              (SimFault{SimFaultKind::FailErase, 0x85000, 0}));
    EXPECT_EQ(SimFaults::parse("delay:4:1200"), (SimFault{SimFaultKind::DelayReply, 4, 1200}));
}

TEST(SimFaultsTest, FaultsAimedAtRequestsParseAndFormatBack) {
    const SimRequestMatch firstFlashTestMode{0x22, 8, std::nullopt, 1};
    const SimRequestMatch writeAt{0x72, 1, 0x89000, 0};
    const SimRequestMatch secondItem{0x23, std::nullopt, std::nullopt, 2};
    struct Case {
        const char* text;
        SimFault fault;
    };
    const Case cases[] = {
        {"damage:0x22/0x8#1:4:0x7", {SimFaultKind::DamageReply, 0, 4, 7, firstFlashTestMode}},
        {"damage:9:0:0xFF", {SimFaultKind::DamageReply, 9, 0, 0xFF}},
        {"cut:0x22/0x8#1", {SimFaultKind::CutReply, 0, 0, 0, firstFlashTestMode}},
        {"delay:0x23#2:150", {SimFaultKind::DelayReply, 0, 150, 0, secondItem}},
        {"refuse:0x72/0x1@0x89000:1", {SimFaultKind::RefuseOpcode, 0x72, 1, 0, writeAt}},
        {"refuse:0x23:2", {SimFaultKind::RefuseOpcode, 0x23, 2}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SimFaults::parse(c.text), c.fault) << c.text;
        EXPECT_EQ(SimFaults::format(c.fault), c.text);
    }
    for (const char* text :
         {"damage:1:2:0x100", "damage:1:2", "cut:0x22#0", "refuse:0x100/1", "delay:0x72/0x100#1:5",
          "drop:0x72@0x1000000", "drop:0x72/x", "wrong-opcode:0x72/1"}) {
        EXPECT_FALSE(SimFaults::parse(text)) << text;
    }
}

SimRequest request(uint8_t opcode, std::vector<uint8_t> body) {
    return SimRequest{opcode, std::move(body), false};
}

TEST(SimFaultsTest, AimedFaultsStrikeOnlyTheRequestsTheyName) {
    SimFaults faults;
    faults.add(*SimFaults::parse("refuse:0x72/1@0x89000:2"));
    faults.add(*SimFaults::parse("delay:0x23/1#2:150"));
    faults.add(*SimFaults::parse("damage:0x22/8#1:4:0x07"));
    faults.add(*SimFaults::parse("cut:0x10#1"));
    const SimRequest writeAt89{request(0x72, {1, 0x08, 0x90, 0x00, 0xAA})};
    const SimRequest writeAt88{request(0x72, {1, 0x08, 0x80, 0x00, 0xAA})};
    // Refused twice at its address, never elsewhere.
    EXPECT_FALSE(faults.refuses(writeAt88));
    EXPECT_TRUE(faults.refuses(writeAt89));
    EXPECT_TRUE(faults.refuses(writeAt89));
    EXPECT_FALSE(faults.refuses(writeAt89));

    const SimRequest item0 = request(0x23, {0});
    const SimRequest item1 = request(0x23, {1});
    EXPECT_EQ(faults.nextReply(item0, 16).delay.count(), 0);
    EXPECT_EQ(faults.nextReply(item1, 16).delay.count(), 0);
    EXPECT_EQ(faults.nextReply(item1, 16).delay.count(), 150);
    EXPECT_EQ(faults.nextReply(item1, 16).delay.count(), 0);

    const auto damaged = faults.nextReply(request(0x22, {8, 0, 0}), 6);
    EXPECT_EQ(damaged.damage, (std::vector<std::pair<size_t, uint8_t>>{{4, 0x07}}));
    EXPECT_TRUE(faults.nextReply(request(0x22, {8, 0, 0}), 6).damage.empty());
    EXPECT_TRUE(faults.nextReply(request(0x10, {1}), 7).cutAfterOpcode);
    EXPECT_FALSE(faults.nextReply(request(0x10, {0}), 7).cutAfterOpcode);
}

TEST(SimFaultsTest, RandomPlansRepeatFromTheirSeedAndReachEveryKind) {
    EXPECT_EQ(SimFaults::randomPlan(42, 10, 2), SimFaults::randomPlan(42, 10, 2));
    EXPECT_NE(SimFaults::randomPlan(42, 10, 2), SimFaults::randomPlan(43, 10, 2));
    std::set<SimFaultKind> kinds;
    for (const SimFault& f : SimFaults::randomPlan(1, 200, 0)) {
        kinds.insert(f.kind);
        if (f.kind == SimFaultKind::FailErase) {
            // aimed at a sector of the flash type's default block
            EXPECT_GE(f.at, 0x64000u);
            EXPECT_LT(f.at, 0x74000u);
            EXPECT_EQ(f.at % 0x1000, 0u);
        }
    }
    EXPECT_EQ(kinds.size(), SimFaults::catalogue().size());
}

TEST(SimFaultsTest, CorruptionsAndGarbageRepeatFromTheSeed) {
    auto run = [](uint64_t seed) {
        SimFaults faults(seed);
        faults.add({SimFaultKind::CorruptReply, 2, 0});
        std::vector<int> seen;
        for (int i = 0; i < 3; ++i) {
            const auto fate = faults.nextReply(SimRequest{}, 17);
            seen.push_back(fate.corruptByte
                               ? static_cast<int>(*fate.corruptByte * 256 + fate.corruptMask)
                               : -1);
        }
        seen.push_back(faults.garbage(0x40));
        return seen;
    };
    const auto first = run(5);
    EXPECT_EQ(first, run(5));
    EXPECT_EQ(first[0], -1);
    EXPECT_NE(first[1], -1);
    EXPECT_EQ(first[2], -1);
    EXPECT_NE(first[3], 0x40);
}

TEST(SimFaultsTest, ResetStatusBitsByResetType) {
    SimFaults faults;
    faults.add({SimFaultKind::CorruptDefaultBlock, 0, 0});
    faults.add({SimFaultKind::ResetStatus, 0, 0x02});
    EXPECT_EQ(faults.resetStatusBits(1), 0x80);
    EXPECT_EQ(faults.resetStatusBits(0), 0x02);
}

}  // namespace
}  // namespace plugshift
