#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "win32/radio_picture.h"
#include "win32/resource_ids.h"

namespace plugshift {
namespace {

// A 2x1 picture: the picture's background, then a colour of the radio itself.
HBITMAP twoPixels(COLORREF first, COLORREF second) {
    const uint32_t pixels[2] = {
        (uint32_t{GetRValue(first)} << 16) | (uint32_t{GetGValue(first)} << 8) | GetBValue(first),
        (uint32_t{GetRValue(second)} << 16) | (uint32_t{GetGValue(second)} << 8) |
            GetBValue(second)};
    return CreateBitmap(2, 1, 1, 32, pixels);
}

COLORREF pixelAt(HBITMAP bitmap, int x) {
    HDC dc = CreateCompatibleDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, bitmap);
    const COLORREF colour = GetPixel(dc, x, 0);
    SelectObject(dc, old);
    DeleteDC(dc);
    return colour;
}

TEST(RadioPictureTest, OnlyTheBackgroundTakesTheButtonColour) {
    // Red, green and blue differ, so a swapped byte order shows.
    const COLORREF buttonFace = RGB(10, 120, 230);
    const COLORREF radioBody = RGB(40, 41, 200);
    HBITMAP source = twoPixels(RadioPicture::kBackground, radioBody);
    ASSERT_NE(source, nullptr);
    HBITMAP made = RadioPicture::recoloured(source, buttonFace);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(pixelAt(made, 0), buttonFace);
    EXPECT_EQ(pixelAt(made, 1), radioBody);
    DeleteObject(made);
    DeleteObject(source);
}

// At 150 % the dialog's frame grows by half and the radio with it; a frame too small for the
// grown radio holds it whole, in proportion.
TEST(RadioPictureTest, TheRadioGrowsWithTheFrame) {
    const SIZE radio{112, 224};
    const struct {
        int dpi;
        SIZE frame;
        SIZE drawn;
    } cases[] = {
        {96, {120, 232}, {112, 224}},  {144, {180, 348}, {168, 336}}, {192, {240, 464}, {224, 448}},
        {144, {180, 300}, {150, 300}}, {144, {100, 348}, {100, 200}},
    };
    for (const auto& c : cases) {
        const SIZE drawn = RadioPicture::drawnSize(radio, c.dpi, c.frame);
        EXPECT_EQ(drawn.cx, c.drawn.cx) << c.dpi << " dpi in " << c.frame.cx << "x" << c.frame.cy;
        EXPECT_EQ(drawn.cy, c.drawn.cy) << c.dpi << " dpi in " << c.frame.cx << "x" << c.frame.cy;
    }

    RadioPicture picture;
    ASSERT_TRUE(picture.rebuild(IDB_RADIO, 144, {180, 348}));
    BITMAP made{};
    GetObjectW(picture.bitmap(), sizeof(made), &made);
    EXPECT_EQ(made.bmWidth, 168);
    EXPECT_EQ(made.bmHeight, 336);
    EXPECT_EQ(picture.bitmapId(), IDB_RADIO);
}

}  // namespace
}  // namespace plugshift
