// Where the status bar's parts end and what the progress part says.

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "desktop/status_bar_parts.h"

namespace plugshift {
namespace {

TEST(StatusBarPartsTest, PartsEndAt30And60PercentAndTheEnd) {
    EXPECT_EQ(StatusBarParts::rightEdges(500), (std::array<int, 3>{150, 300, 500}));
    EXPECT_EQ(StatusBarParts::rightEdges(333), (std::array<int, 3>{99, 199, 333}));
}

TEST(StatusBarPartsTest, TheProgressPartShowsThePercentOverItsBar) {
    const struct {
        int percent;
        const wchar_t* label;
        int barOf200;
    } cases[] = {
        {0, L"", 0}, {1, L"1%", 2}, {40, L"40%", 80}, {99, L"99%", 198}, {100, L"100%", 200}};
    for (const auto& c : cases) {
        EXPECT_EQ(StatusBarParts::progressLabel(c.percent), c.label) << c.percent;
        EXPECT_EQ(StatusBarParts::barWidth(c.percent, 200), c.barOf200) << c.percent;
    }
}

}  // namespace
}  // namespace plugshift
