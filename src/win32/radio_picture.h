#pragma once

#include <windows.h>

namespace plugshift {

// The radio picture beside the radio's values, with its background in the system's button face
// colour, so it blends into the window whatever the colour scheme, and grown with the window as
// the screen's DPI grows it.
class RadioPicture {
public:
    // The picture's own background, which takes the button face colour.
    static constexpr COLORREF kBackground = RGB(239, 239, 239);
    // The DPI at which a bitmap is drawn pixel for pixel.
    static constexpr int kStandardDpi = 96;

    RadioPicture() = default;
    ~RadioPicture();
    RadioPicture(const RadioPicture&) = delete;
    RadioPicture& operator=(const RadioPicture&) = delete;

    // Makes the picture of the bitmap resource again for the present system colours, drawn for
    // the DPI inside a frame of that size; false when the bitmap is missing.
    bool rebuild(int bitmapId, int dpi, SIZE frame);
    HBITMAP bitmap() const { return bitmap_; }
    // The bitmap resource of the picture; 0 before the first.
    int bitmapId() const { return bitmapId_; }

    // The picture with every pixel of kBackground replaced by background; null when the source
    // cannot be read.
    static HBITMAP recoloured(HBITMAP source, COLORREF background);
    // The size a bitmap is drawn at: grown by the DPI as the dialog's frame is, and kept inside
    // the frame with its proportions.
    static SIZE drawnSize(SIZE bitmap, int dpi, SIZE frame);

private:
    HBITMAP bitmap_ = nullptr;
    int bitmapId_ = 0;
};

}  // namespace plugshift
