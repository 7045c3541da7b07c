#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "desktop/status_bar_parts.h"

namespace plugshift {

// The main window's status bar as StatusBarParts lays it out, the progress part drawn by the
// program: the percent centred over a bar, the text over the bar inverted.
class ProgressStatusBar {
public:
    // A child of parent along its bottom edge.
    bool create(HWND parent);

    // The status bar is redrawn only when a text changes.
    void setText(StatusBarParts::Part part, const std::wstring& text);
    void setPercent(int percent);
    int percent() const { return percent_; }
    // The progress part, from the parent's WM_DRAWITEM; false for any other item.
    bool drawProgress(const DRAWITEMSTRUCT& item) const;

    // After the parent changed its size: across the bottom of its client area, parts in place.
    void placeAtBottom();
    int height() const;
    HWND handle() const { return bar_; }

private:
    HWND parent_ = nullptr;
    HWND bar_ = nullptr;
    std::wstring prompt_;
    std::wstring cableText_;
    int percent_ = 0;
    // The part's background, taken from the bar beside it; shared, as every bar looks alike.
    static COLORREF background_;
};

}  // namespace plugshift
