#include "desktop/progress_percent.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace plugshift {
namespace {

struct PercentCase {
    uintptr_t done;
    intptr_t total;
    std::optional<int> percent;
};

TEST(ProgressPercentTest, ProgressMessagesBecomePercentsOnTheScale) {
    const PercentCase cases[] = {
        {40, 0, 40},  // no total: the value is the percent
        {1, 3, 33},   // truncated, not rounded
        {2, 3, 66},
        {4096, 4096, 100},
        {201, 200, 100},  // 100.5 truncates to 100
        {0, 100, 0},
        {150, 100, std::nullopt},  // beyond the scale
        {101, 0, std::nullopt},
        {UINTPTR_MAX, 0, std::nullopt},  // wParam is unsigned: no wrap to a small value
        {5, -10, std::nullopt},
    };
    for (const PercentCase& c : cases) {
        EXPECT_EQ(progressPercent(c.done, c.total), c.percent) << c.done << " of " << c.total;
    }
}

}  // namespace
}  // namespace plugshift
