#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/sim_flash.h"

namespace plugshift {
namespace {

bool all(std::span<const uint8_t> bytes, uint8_t value) {
    return std::ranges::count(bytes, value) == static_cast<std::ptrdiff_t>(bytes.size());
}

TEST(SimFlashTest, ProgrammingOverUnerasedBytesLeavesTheirAnd) {
    SimFlash flash(1);
    const uint32_t start = SimFlash::defaultBlockAddress(1);
    ASSERT_TRUE(flash.eraseSector(start));
    ASSERT_TRUE(flash.program(start, std::vector<uint8_t>{0xF0, 0x3C, 0xFF, 0x00}));
    EXPECT_FALSE(flash.defaultBlockVerifyFailed());

    // Second program without an erase: bits only clear.
    ASSERT_TRUE(flash.program(start, std::vector<uint8_t>{0x0F, 0x3C, 0xA5, 0xFF}));
    const auto def = flash.block(SimBlock::Def);
    EXPECT_EQ(def[0], 0x00);
    EXPECT_EQ(def[1], 0x3C);  // same bytes again come out right
    EXPECT_EQ(def[2], 0xA5);  // programming erased bytes is fine
    EXPECT_EQ(def[3], 0x00);
    EXPECT_TRUE(flash.defaultBlockVerifyFailed());

    // Erasing the sector clears the damage and its mark; programming then takes.
    ASSERT_TRUE(flash.eraseSector(start));
    EXPECT_FALSE(flash.defaultBlockVerifyFailed());
    ASSERT_TRUE(flash.program(start, std::vector<uint8_t>{0x0F}));
    EXPECT_EQ(def[0], 0x0F);
}

TEST(SimFlashTest, EraseAndProgramReachOnlyTheWindowsOfTheFlashType) {
    for (int type = 0; type < SimFlash::kFlashTypes; ++type) {
        SimFlash flash(type);
        const uint32_t def = SimFlash::defaultBlockAddress(type);
        const uint32_t dyn = SimFlash::dynamicBlockAddress(type);
        for (uint32_t sector = 0; sector < 16; ++sector) {
            EXPECT_TRUE(flash.eraseSector(def + sector * SimFlash::kSectorSize)) << type;
        }
        EXPECT_FALSE(flash.eraseSector(def + 16 * SimFlash::kSectorSize)) << type;
        EXPECT_FALSE(flash.eraseSector(def + 0x800)) << type;  // not a sector start
        EXPECT_FALSE(flash.eraseSector(def - SimFlash::kSectorSize)) << type;
        EXPECT_TRUE(flash.program(def + 0xF000, std::vector<uint8_t>(0x1000, 0)));
        EXPECT_FALSE(flash.program(def + 0xF001, std::vector<uint8_t>(0x1000, 0)));
        EXPECT_TRUE(flash.eraseDynamicBlock(dyn)) << type;
        EXPECT_FALSE(flash.eraseDynamicBlock(dyn + SimFlash::kSectorSize)) << type;
        EXPECT_FALSE(flash.eraseDynamicBlock(def)) << type;
    }
}

TEST(SimFlashTest, OverlappingWindowsOfFlashTypeZeroStayApart) {
    // Type 0 puts the dynamic block's erase address (0x70000) inside the default block's range
    // (0x64000 + 64 KiB); the request, not the address, says which block is meant.
    SimFlash flash(0);
    std::ranges::fill(flash.block(SimBlock::Def), 0x00);
    std::ranges::fill(flash.block(SimBlock::Dyn), 0x00);
    ASSERT_TRUE(flash.eraseDynamicBlock(0x70000));
    EXPECT_TRUE(all(flash.block(SimBlock::Dyn), 0xFF));
    EXPECT_TRUE(all(flash.block(SimBlock::Def), 0x00));
    ASSERT_TRUE(flash.eraseSector(0x70000));
    EXPECT_TRUE(all(flash.block(SimBlock::Def).subspan(0xC000, 0x1000), 0xFF));
    EXPECT_TRUE(all(flash.block(SimBlock::Def).first(0xC000), 0x00));
}

TEST(SimFlashTest, MemoryRequestsSeeBlocksAtTheAddressMapDefaults) {
    SimFlash flash(1);
    const std::vector<uint8_t> data{1, 2, 3};
    EXPECT_TRUE(flash.memoryWrite(0x820FFD, data));  // the last three bytes of DYN
    std::vector<uint8_t> out;
    ASSERT_TRUE(flash.memoryRead(0x820FFD, 3, out));
    EXPECT_EQ(out, data);
    EXPECT_FALSE(flash.memoryRead(0x820FFE, 3, out));  // runs past the block
    EXPECT_FALSE(flash.memoryWrite(0x820FFE, data));
    EXPECT_FALSE(flash.memoryWrite(0x841000, data));  // FAC is flash, not writable memory
    EXPECT_FALSE(flash.memoryRead(0x900000, 1, out));

    struct Case {
        uint32_t address;
        SimBlock block;
    };
    for (const Case c : {Case{0x820000, SimBlock::Dyn}, Case{0x842000, SimBlock::Hw},
                         Case{0x831FFF, SimBlock::Con}, Case{0x840000, SimBlock::Erg},
                         Case{0x841000, SimBlock::Fac}, Case{0x84400, SimBlock::Def},
                         Case{0x843000, SimBlock::Bac}, Case{0x854000, SimBlock::Voi},
                         // USERVOI's default range lies inside DEF's, which comes first
                         Case{0x86000, SimBlock::Def}}) {
        EXPECT_EQ(flash.memoryBlock(c.address, 1), c.block) << std::hex << c.address;
    }
}

}  // namespace
}  // namespace plugshift
