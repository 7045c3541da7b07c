#include "win32/radio_picture.h"

#include <algorithm>
#include <cstdint>

namespace plugshift {

namespace {

// A copy of the bitmap (of sourceSize) drawn at size; null when it cannot be made.
HBITMAP scaled(HBITMAP source, SIZE sourceSize, SIZE size) {
    HDC screen = GetDC(nullptr);
    HDC from = CreateCompatibleDC(screen);
    HDC to = CreateCompatibleDC(screen);
    HBITMAP made = CreateCompatibleBitmap(screen, size.cx, size.cy);
    ReleaseDC(nullptr, screen);
    if (made != nullptr) {
        const HGDIOBJ oldFrom = SelectObject(from, source);
        const HGDIOBJ oldTo = SelectObject(to, made);
        // Halftone averages the pixels a reduction or an enlargement merges, so edges stay smooth.
        SetStretchBltMode(to, HALFTONE);
        SetBrushOrgEx(to, 0, 0, nullptr);
        StretchBlt(to, 0, 0, size.cx, size.cy, from, 0, 0, sourceSize.cx, sourceSize.cy, SRCCOPY);
        SelectObject(to, oldTo);
        SelectObject(from, oldFrom);
    }
    DeleteDC(to);
    DeleteDC(from);
    return made;
}

// A 32-bit top-down pixel as GetDIBits gives it: blue, green, red, unused.
uint32_t pixelOf(COLORREF colour) {
    return (static_cast<uint32_t>(GetRValue(colour)) << 16) |
           (static_cast<uint32_t>(GetGValue(colour)) << 8) | GetBValue(colour);
}

}  // namespace

RadioPicture::~RadioPicture() {
    if (bitmap_ != nullptr) {
        DeleteObject(bitmap_);
    }
}

bool RadioPicture::rebuild(int bitmapId, int dpi, SIZE frame) {
    const auto source = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, 0));
    if (source == nullptr) {
        return false;
    }
    BITMAP info{};
    GetObjectW(source, sizeof(info), &info);
    HBITMAP made = recoloured(source, GetSysColor(COLOR_BTNFACE));
    DeleteObject(source);
    const SIZE original{info.bmWidth, info.bmHeight};
    const SIZE size = drawnSize(original, dpi, frame);
    if (made != nullptr && (size.cx != original.cx || size.cy != original.cy)) {
        HBITMAP grown = scaled(made, original, size);
        DeleteObject(made);
        made = grown;
    }
    if (made == nullptr) {
        return false;
    }
    if (bitmap_ != nullptr) {
        DeleteObject(bitmap_);
    }
    bitmap_ = made;
    bitmapId_ = bitmapId;
    return true;
}

SIZE RadioPicture::drawnSize(SIZE bitmap, int dpi, SIZE frame) {
    SIZE size{MulDiv(bitmap.cx, dpi, kStandardDpi), MulDiv(bitmap.cy, dpi, kStandardDpi)};
    if (size.cx > frame.cx || size.cy > frame.cy) {
        // The side that overflows most decides, so both fit.
        if (static_cast<long long>(frame.cx) * size.cy <
            static_cast<long long>(frame.cy) * size.cx) {
            size = {frame.cx, MulDiv(size.cy, frame.cx, size.cx)};
        } else {
            size = {MulDiv(size.cx, frame.cy, size.cy), frame.cy};
        }
    }
    return {std::max<LONG>(size.cx, 1), std::max<LONG>(size.cy, 1)};
}

HBITMAP RadioPicture::recoloured(HBITMAP source, COLORREF background) {
    BITMAP info{};
    if (GetObjectW(source, sizeof(info), &info) == 0) {
        return nullptr;
    }
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = info.bmWidth;
    format.bmiHeader.biHeight = -info.bmHeight;  // top-down
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP copy = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    const bool read = copy != nullptr && GetDIBits(screen, source, 0, info.bmHeight, bits, &format,
                                                   DIB_RGB_COLORS) == info.bmHeight;
    ReleaseDC(nullptr, screen);
    if (!read) {
        if (copy != nullptr) {
            DeleteObject(copy);
        }
        return nullptr;
    }
    auto* pixels = static_cast<uint32_t*>(bits);
    const uint32_t from = pixelOf(kBackground);
    const uint32_t to = pixelOf(background);
    for (LONG i = 0; i < info.bmWidth * info.bmHeight; ++i) {
        if ((pixels[i] & 0xFFFFFF) == from) {
            pixels[i] = to;
        }
    }
    return copy;
}

}  // namespace plugshift
