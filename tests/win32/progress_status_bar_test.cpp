#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "win32/progress_status_bar.h"

namespace plugshift {
namespace {

// A status bar on a window of its own, on Wine's display.
class ProgressStatusBarWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "no X display for Wine's windows";
        }
        parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 600, 300, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(parent, nullptr);
        ASSERT_TRUE(bar.create(parent));
    }
    void TearDown() override {
        if (parent != nullptr) {
            DestroyWindow(parent);
        }
    }

    HWND parent = nullptr;
    ProgressStatusBar bar;
};

// The three parts end at 30 %, 60 % and the right edge; the third is the program's to draw.
TEST_F(ProgressStatusBarWindowTest, PartsSitWhereTheyBelong) {
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
    EXPECT_TRUE(HIWORD(SendMessageW(bar.handle(), SB_GETTEXTLENGTHW, 2, 0)) & SBT_OWNERDRAW);
}

// The bar covers percent / scale of the part in the hot-track colour; the rest takes the colour
// of the status bar just left of the part.
TEST_F(ProgressStatusBarWindowTest, ProgressPartDrawsTheBarOverItsShareOfTheWidth) {
    bar.setPercent(40);

    HDC screen = GetDC(nullptr);
    HDC canvas = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 220, 20);
    HGDIOBJ old = SelectObject(canvas, bitmap);
    const COLORREF beside = RGB(200, 210, 220);
    RECT all{0, 0, 220, 20};
    HBRUSH brush = CreateSolidBrush(beside);
    FillRect(canvas, &all, brush);
    DeleteObject(brush);

    DRAWITEMSTRUCT item{};
    item.hwndItem = bar.handle();
    item.itemID = 2;
    item.hDC = canvas;
    item.rcItem = {10, 0, 211, 20};  // 200 pixels once its left edge moves in by one
    ASSERT_TRUE(bar.drawProgress(item));
    const int left = 11;
    const int barEnd = left + 80;  // 40 % of 200; the text sits around the middle, 111
    EXPECT_EQ(GetPixel(canvas, left + 1, 1), GetSysColor(COLOR_HOTLIGHT));
    EXPECT_EQ(GetPixel(canvas, barEnd - 2, 1), GetSysColor(COLOR_HOTLIGHT));
    EXPECT_EQ(GetPixel(canvas, barEnd + 2, 1), beside);
    EXPECT_EQ(GetPixel(canvas, left + 195, 1), beside);

    item.itemID = 1;
    EXPECT_FALSE(bar.drawProgress(item));
    SelectObject(canvas, old);
    DeleteObject(bitmap);
    DeleteDC(canvas);
    ReleaseDC(nullptr, screen);
}

}  // namespace
}  // namespace plugshift
