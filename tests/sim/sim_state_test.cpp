#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/sim_radio.h"
#include "sim/sim_state.h"

namespace plugshift {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

bool sameFlash(const SimRadio& a, const SimRadio& b) {
    for (int k = 0; k < kSimBlockCount; ++k) {
        const auto kind = static_cast<SimBlock>(k);
        if (!std::ranges::equal(a.flash().block(kind), b.flash().block(kind))) {
            return false;
        }
    }
    for (size_t s = 0; s < SimFlash::kDefaultSectors; ++s) {
        if (a.flash().sectorVerifyFailed(s) != b.flash().sectorVerifyFailed(s)) {
            return false;
        }
    }
    return a.flashType() == b.flashType() && a.baud() == b.baud();
}

TEST(SimStateTest, SavedRadioReadsBackWhole) {
    SimRadioConfig config;
    config.flashType = 2;
    config.contacts = 201;
    SimRadio radio(config);
    radio.setBaud(115200);
    radio.setSerial(std::vector<uint8_t>{'A', '\n', '#', '|'});  // bytes a line must survive
    radio.flash().eraseSector(0x84000 + 0x3000);
    radio.flash().program(0x84000 + 0x3000, std::vector<uint8_t>{0x12, 0x00});
    radio.flash().setSectorVerifyFailed(3, true);

    const std::string text = SimState::text(radio);
    EXPECT_THAT(text, HasSubstr("flash-type 2\n"));
    EXPECT_THAT(text, HasSubstr("verify-failed 3\n"));
    EXPECT_THAT(text, HasSubstr("block DEF 0x84400 0x10000\n0000: 52 51 58 07 07 00 48 4a 4e 57 41 "
                                "52 01 03 00 00  |RQX...HJNWAR....|\n"));
    EXPECT_THAT(text, HasSubstr("\n3000: 12 00 ff ff"));
    EXPECT_THAT(text, Not(HasSubstr("\n3010:")));  // erased lines are left out

    SimRadio loaded;
    std::string error;
    ASSERT_TRUE(SimState::parse(loaded, text, error)) << error;
    EXPECT_TRUE(sameFlash(radio, loaded));
    EXPECT_EQ(loaded.contactCount(), 201);
    EXPECT_EQ(loaded.serial(), radio.serial());
}

TEST(SimStateTest, FaultsNameTheLineAndLeaveTheRadioAlone) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"flash-type 1\n", "not a kmv-sim state file"},
        {"kmv-sim-state 2\n", "line 1: unknown state format"},
        {"kmv-sim-state 1\nflash-type 3\n", "line 2: flash type must be 0, 1 or 2"},
        {"kmv-sim-state 1\nblock DYN 0x820000 0x800\nend\n", "line 2: unknown block or wrong size"},
        {"kmv-sim-state 1\nblock DYN 0x820000 0x1000\n0ffe: 01 02 03\nend\n",
         "line 3: bytes beyond the end of the block"},
        {"kmv-sim-state 1\nblock DYN 0x820000 0x1000\n0000: 1g\nend\n",
         "line 3: expected hex bytes"},
        {"kmv-sim-state 1\nblock HW 0x842000 0x1000\n0000: 01\n", "block without end"},
        {"kmv-sim-state 1\ncolour blue\n", "line 2: unknown setting"},
    };
    for (const Case& c : cases) {
        SimRadio radio;
        const SimRadio before;
        std::string error;
        EXPECT_FALSE(SimState::parse(radio, c.text, error)) << c.text;
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(sameFlash(radio, before));
    }
}

TEST(SimStateTest, SaveAndLoadThroughAFile) {
    const auto path = std::filesystem::path(::testing::TempDir()) / "kmv-sim-state-test.txt";
    SimRadio radio;
    radio.resetAllBlocks();
    std::string error;
    ASSERT_TRUE(SimState::save(radio, path.string(), error)) << error;
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp"));
    SimRadio loaded;
    ASSERT_TRUE(SimState::load(loaded, path.string(), error)) << error;
    EXPECT_TRUE(sameFlash(radio, loaded));
    EXPECT_EQ(loaded.contactCount(), 0);
    std::filesystem::remove(path);
    EXPECT_FALSE(SimState::load(loaded, path.string(), error));
    EXPECT_THAT(error, HasSubstr("cannot read"));
}

}  // namespace
}  // namespace plugshift
