#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "win32/radio_picture.h"

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

}  // namespace
}  // namespace plugshift
