#pragma once

#include <windows.h>

namespace plugshift {

// The radio picture beside the radio's values, with its background in the system's button face
// colour, so it blends into the window whatever the colour scheme.
class RadioPicture {
public:
    // The picture's own background, which takes the button face colour.
    static constexpr COLORREF kBackground = RGB(239, 239, 239);

    RadioPicture() = default;
    ~RadioPicture();
    RadioPicture(const RadioPicture&) = delete;
    RadioPicture& operator=(const RadioPicture&) = delete;

    // Makes the picture again for the present system colours; false when the bitmap is missing.
    bool rebuild();
    HBITMAP bitmap() const { return bitmap_; }

    // The picture with every pixel of kBackground replaced by background; null when the source
    // cannot be read.
    static HBITMAP recoloured(HBITMAP source, COLORREF background);

private:
    HBITMAP bitmap_ = nullptr;
};

}  // namespace plugshift
