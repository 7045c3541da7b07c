#include "win32/radio_picture.h"

#include <cstdint>

#include "win32/resource_ids.h"

namespace plugshift {

namespace {

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

bool RadioPicture::rebuild() {
    const auto source = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_RADIO), IMAGE_BITMAP, 0, 0, 0));
    if (source == nullptr) {
        return false;
    }
    HBITMAP made = recoloured(source, GetSysColor(COLOR_BTNFACE));
    DeleteObject(source);
    if (made == nullptr) {
        return false;
    }
    if (bitmap_ != nullptr) {
        DeleteObject(bitmap_);
    }
    bitmap_ = made;
    return true;
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
