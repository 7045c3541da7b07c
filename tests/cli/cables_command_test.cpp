#include "cli/cables_command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "fake_sysfs.h"
#include "radio/tty_d2xx.h"

namespace plugshift {
namespace {

using test::FakeSysfs;

TEST(CablesCommand, ListsMatchingCablesWithIndexAndPathThenTheCount) {
    struct Case {
        std::vector<std::pair<unsigned, std::string>> adapters;  // ttyUSB number, product
        int exitCode;
        std::string listing;  // "@" stands for the fake /dev folder
    };
    const Case cases[] = {
        {{{0, "NV PGM Cable"}}, 0, "0: NV PGM Cable (@/ttyUSB0)\n1 programming cable found.\n"},
        {{{0, "FT232R USB UART"}, {1, "NV PGM Cable"}, {3, "nv pgm cable"}},
         0,
         "1: NV PGM Cable (@/ttyUSB1)\n2: nv pgm cable (@/ttyUSB3)\n"
         "2 programming cables found.\n"},
    };
    for (const Case& c : cases) {
        FakeSysfs sysfs;
        for (const auto& [number, product] : c.adapters) {
            sysfs.addSerial(number, product);
        }
        TtyD2xx driver(sysfs.sysRoot(), sysfs.devDir());
        std::ostringstream out;
        EXPECT_EQ(listCables(driver, out), c.exitCode);
        std::string expected = c.listing;
        for (size_t at; (at = expected.find('@')) != std::string::npos;) {
            expected.replace(at, 1, sysfs.devDir().string());
        }
        EXPECT_EQ(out.str(), expected);
    }
}

TEST(CablesCommand, NoCableExitsOneWithTheHint) {
    FakeSysfs sysfs;
    sysfs.addSerial(0, "FT232R USB UART");
    TtyD2xx driver(sysfs.sysRoot(), sysfs.devDir());
    std::ostringstream out;
    EXPECT_EQ(listCables(driver, out), 1);
    EXPECT_THAT(out.str(), ::testing::StartsWith("No programming cable found.\n"));
    EXPECT_THAT(out.str(), ::testing::HasSubstr("dialout"));
    EXPECT_THAT(out.str(), ::testing::Not(::testing::HasSubstr("ttyUSB0 ")));
}

}  // namespace
}  // namespace plugshift
