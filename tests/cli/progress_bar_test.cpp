#include "cli/progress_bar.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

namespace plugshift {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

class ProgressBarTest : public ::testing::Test {
protected:
    ProgressBar bar(bool redraw) {
        return ProgressBar(out, redraw, [this] { return now; });
    }
    std::ostringstream out;
    std::chrono::steady_clock::time_point now{};
};

TEST_F(ProgressBarTest, PlainLinesAtEachTenthAndStepWithTimes) {
    ProgressBar plain = bar(false);
    plain.start();
    now += 10s;
    plain.update(5, L"Keep user-infor");
    plain.update(8, L"Keep user-infor");  // same tenth, same step: no line
    plain.update(25, L"Update default block.");
    plain.update(150, L"Update default block.");  // above the end: ignored
    plain.update(0, L"Update default block.");    // the command's reset at its end: ignored
    now += 30s;
    plain.update(100, L"Finalize flashing data.");
    plain.finish();
    EXPECT_EQ(out.str(),
              "  5%  Keep user-infor  00:10 elapsed, 03:10 left\n"
              " 25%  Update default block.  00:10 elapsed, 00:30 left\n"
              "100%  Finalize flashing data.  00:40 elapsed, 00:00 left\n");
    EXPECT_EQ(plain.percent(), 100);
}

TEST_F(ProgressBarTest, TerminalLineIsRedrawnInPlaceAndClosedAtTheEnd) {
    ProgressBar terminal = bar(true);
    terminal.start();
    now += 3s;
    terminal.update(50, L"Update default block.");
    terminal.finish();
    EXPECT_THAT(out.str(), HasSubstr("\r 50% [############............]  Update default block.  "
                                     "00:03 elapsed, 00:03 left\x1b[K"));
    EXPECT_EQ(out.str().back(), '\n');
    EXPECT_EQ(out.str().find('\n'), out.str().size() - 1);
}

TEST(ProgressBarDurationTest, MinutesAndSecondsThenHours) {
    EXPECT_EQ(ProgressBar::formatDuration(0s), "00:00");
    EXPECT_EQ(ProgressBar::formatDuration(61s), "01:01");
    EXPECT_EQ(ProgressBar::formatDuration(3725s), "1:02:05");
    EXPECT_EQ(ProgressBar::formatDuration(-5s), "00:00");
}

}  // namespace
}  // namespace plugshift
