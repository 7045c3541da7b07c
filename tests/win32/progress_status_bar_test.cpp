#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "win32/progress_status_bar.h"

namespace plugshift {
namespace {

struct PercentCase {
    uintptr_t done;
    intptr_t total;
    std::optional<int> percent;
};

TEST(ProgressStatusBarTest, ProgressMessagesBecomePercentsOnTheScale) {
    const PercentCase cases[] = {
        {40, 0, 40},  // no total: the value is the percent
        {1, 3, 33},   // truncated, not rounded
        {2, 3, 66},
        {4096, 4096, 100},
        {150, 100, std::nullopt},  // beyond the scale
        {150, 0, std::nullopt},
        {UINTPTR_MAX, 0, std::nullopt},  // wParam is unsigned: no wrap to a small value
        {5, -10, std::nullopt},
    };
    for (const PercentCase& c : cases) {
        EXPECT_EQ(ProgressStatusBar::percentOf(c.done, c.total), c.percent)
            << c.done << " of " << c.total;
    }
}

// The three parts end at 30 %, 60 % and the right edge; the progress bar fills the third.
TEST(ProgressStatusBarTest, PartsAndProgressSitWhereTheyBelong) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "no X display for Wine's windows";
    }
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 600, 300, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    ProgressStatusBar bar;
    ASSERT_TRUE(bar.create(parent));
    RECT client{};
    GetClientRect(parent, &client);
    int edges[3] = {};
    ASSERT_EQ(SendMessageW(bar.handle(), SB_GETPARTS, 3, reinterpret_cast<LPARAM>(edges)), 3);
    EXPECT_EQ(edges[0], client.right * 30 / 100);
    EXPECT_EQ(edges[1], client.right * 60 / 100);
    RECT bounds{};
    GetWindowRect(bar.handle(), &bounds);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&bounds), 2);
    EXPECT_EQ(bounds.bottom, client.bottom);

    HWND progress = FindWindowExW(bar.handle(), nullptr, PROGRESS_CLASSW, nullptr);
    ASSERT_NE(progress, nullptr);
    RECT third{};
    SendMessageW(bar.handle(), SB_GETRECT, 2, reinterpret_cast<LPARAM>(&third));
    RECT shown{};
    GetWindowRect(progress, &shown);
    MapWindowPoints(nullptr, bar.handle(), reinterpret_cast<POINT*>(&shown), 2);
    EXPECT_GE(shown.left, third.left);
    EXPECT_LE(shown.right, third.right);

    bar.setPercent(40);
    EXPECT_EQ(SendMessageW(progress, PBM_GETPOS, 0, 0), 40);
    DestroyWindow(parent);
}

}  // namespace
}  // namespace plugshift
