#include "win32/progress_status_bar.h"

#include <commctrl.h>

#include <array>

#include "win32/resource_ids.h"

namespace plugshift {

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

void ProgressStatusBar::setText(StatusBarParts::Part part, const std::wstring& text) {
    std::wstring* shown = part == StatusBarParts::Prompt  ? &prompt_
                          : part == StatusBarParts::Cable ? &cableText_
                                                          : nullptr;
    if (shown == nullptr || text == *shown) {
        return;
    }
    *shown = text;
    SendMessageW(bar_, SB_SETTEXTW, static_cast<WPARAM>(part),
                 reinterpret_cast<LPARAM>(text.c_str()));
}

void ProgressStatusBar::setPercent(int percent) {
    percent_ = percent;
    RECT part{};
    SendMessageW(bar_, SB_GETRECT, StatusBarParts::Progress, reinterpret_cast<LPARAM>(&part));
    InvalidateRect(bar_, &part, FALSE);
    UpdateWindow(bar_);
}

bool ProgressStatusBar::drawProgress(const DRAWITEMSTRUCT& item) const {
    if (item.hwndItem != bar_ || item.itemID != StatusBarParts::Progress) {
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

    const int barWidth = StatusBarParts::barWidth(percent_, width);
    const std::wstring text = StatusBarParts::progressLabel(percent_);
    const UINT centred = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    SetBkMode(memory, TRANSPARENT);
    SetTextColor(memory, GetTextColor(item.hDC));
    DrawTextW(memory, text.c_str(), -1, &whole, centred);
    if (barWidth > 0) {
        IntersectClipRect(memory, 0, 0, barWidth, height);
        FillRect(memory, &whole, GetSysColorBrush(COLOR_HOTLIGHT));
        SetTextColor(memory, GetSysColor(COLOR_HIGHLIGHTTEXT));
        DrawTextW(memory, text.c_str(), -1, &whole, centred);
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
    std::array<int, StatusBarParts::Count> edges = StatusBarParts::rightEdges(width);
    edges.back() = -1;  // to the bar's end, whatever its grip
    SendMessageW(bar_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    SendMessageW(bar_, SB_SETTEXTW, StatusBarParts::Progress | SBT_OWNERDRAW, 0);
    RedrawWindow(bar_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

int ProgressStatusBar::height() const {
    RECT bounds{};
    GetWindowRect(bar_, &bounds);
    return bounds.bottom - bounds.top;
}

}  // namespace plugshift
