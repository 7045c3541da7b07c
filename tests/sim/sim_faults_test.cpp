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
            const auto fate = faults.nextReply(17);
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
