#include "win32/progress_status_bar.h"

#include <commctrl.h>

#include <array>
#include <cwchar>

#include "win32/resource_ids.h"

namespace plugshift {

namespace {

enum Part { kPromptPart = 0, kCablePart = 1, kProgressPart = 2 };

// Right edges of the prompt and cable parts, in percent of the parent's client width.
constexpr int kPromptEnd = 30;
constexpr int kCableEnd = 60;

}  // namespace

COLORREF ProgressStatusBar::background_ = RGB(255, 255, 255);

bool ProgressStatusBar::create(HWND parent) {
    parent_ = parent;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    bar_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_BAR)), instance,
                           nullptr);
    if (bar_ == nullptr) {
        return false;
    }
    placeAtBottom();
    return true;
}

void ProgressStatusBar::setPrompt(const std::wstring& text) {
    setPartText(kPromptPart, prompt_, text);
}

void ProgressStatusBar::setCableText(const std::wstring& text) {
    setPartText(kCablePart, cableText_, text);
}

void ProgressStatusBar::setPercent(int percent) {
    percent_ = percent;
    RECT part{};
    SendMessageW(bar_, SB_GETRECT, kProgressPart, reinterpret_cast<LPARAM>(&part));
    InvalidateRect(bar_, &part, FALSE);
    UpdateWindow(bar_);
}

bool ProgressStatusBar::drawProgress(const DRAWITEMSTRUCT& item) const {
    if (item.hwndItem != bar_ || item.itemID != kProgressPart) {
        return false;
    }
    RECT part = item.rcItem;
    part.left += 1;
    const int width = part.right - part.left;
    const int height = part.bottom - part.top;
    if (width <= 0 || height <= 0) {
        return true;
    }
    // Drawn off screen and copied in one go, so a fast run of progress does not flicker.
    HDC memory = CreateCompatibleDC(item.hDC);
    HBITMAP bitmap = CreateCompatibleBitmap(item.hDC, width, height);
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    HGDIOBJ oldFont =
        SelectObject(memory, reinterpret_cast<HFONT>(SendMessageW(bar_, WM_GETFONT, 0, 0)));

    const COLORREF beside = GetPixel(item.hDC, item.rcItem.left - 1, item.rcItem.top);
    if (beside != CLR_INVALID && beside != RGB(0, 0, 0)) {
        background_ = beside;
    }
    RECT whole{0, 0, width, height};
    HBRUSH backgroundBrush = CreateSolidBrush(background_);
    FillRect(memory, &whole, backgroundBrush);
    DeleteObject(backgroundBrush);

    if (percent_ != 0) {
        wchar_t text[8];
        std::swprintf(text, std::size(text), L"%d%%", percent_);
        const UINT centred = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
        SetBkMode(memory, TRANSPARENT);
        SetTextColor(memory, GetTextColor(item.hDC));
        DrawTextW(memory, text, -1, &whole, centred);
        const int barWidth = static_cast<int>(static_cast<double>(percent_) / kScale * width);
        IntersectClipRect(memory, 0, 0, barWidth, height);
        FillRect(memory, &whole, GetSysColorBrush(COLOR_HOTLIGHT));
        SetTextColor(memory, GetSysColor(COLOR_HIGHLIGHTTEXT));
        DrawTextW(memory, text, -1, &whole, centred);
    }
    BitBlt(item.hDC, part.left, part.top, width, height, memory, 0, 0, SRCCOPY);

    SelectObject(memory, oldFont);
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return true;
}

void ProgressStatusBar::placeAtBottom() {
    RECT client{};
    GetClientRect(parent_, &client);
    const int width = client.right - client.left;
    const int barHeight = height();
    SetWindowPos(bar_, HWND_TOP, 0, client.bottom - barHeight, width, barHeight, SWP_NOACTIVATE);
    const std::array<int, 3> edges = {width * kPromptEnd / 100, width * kCableEnd / 100, -1};
    SendMessageW(bar_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    SendMessageW(bar_, SB_SETTEXTW, kProgressPart | SBT_OWNERDRAW, 0);
    RedrawWindow(bar_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

int ProgressStatusBar::height() const {
    RECT bounds{};
    GetWindowRect(bar_, &bounds);
    return bounds.bottom - bounds.top;
}

void ProgressStatusBar::setPartText(int part, std::wstring& shown, const std::wstring& text) {
    if (text == shown) {
        return;
    }
    shown = text;
    SendMessageW(bar_, SB_SETTEXTW, static_cast<WPARAM>(part),
                 reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace plugshift
