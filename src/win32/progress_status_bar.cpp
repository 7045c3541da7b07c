#include "win32/progress_status_bar.h"

#include <commctrl.h>

#include <array>

#include "win32/resource_ids.h"

namespace plugshift {

namespace {

enum Part { kPromptPart = 0, kCablePart = 1, kProgressPart = 2 };

// Right edges of the prompt and cable parts, in percent of the parent's client width.
constexpr int kPromptEnd = 30;
constexpr int kCableEnd = 60;

}  // namespace

std::optional<int> ProgressStatusBar::percentOf(uintptr_t done, intptr_t total) {
    const double percent = total != 0
                               ? 100.0 * static_cast<double>(done) / static_cast<double>(total)
                               : static_cast<double>(done);
    if (percent < 0 || percent > kScale) {
        return std::nullopt;
    }
    return static_cast<int>(percent);  // truncated toward zero
}

bool ProgressStatusBar::create(HWND parent) {
    parent_ = parent;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    bar_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_BAR)), instance,
                           nullptr);
    if (bar_ == nullptr) {
        return false;
    }
    progress_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 0, 0,
                                0, 0, bar_, nullptr, instance, nullptr);
    if (progress_ == nullptr) {
        return false;
    }
    SendMessageW(progress_, PBM_SETRANGE32, 0, kScale);
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
    SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    UpdateWindow(progress_);
}

void ProgressStatusBar::placeAtBottom() {
    RECT client{};
    GetClientRect(parent_, &client);
    const int width = client.right - client.left;
    const int barHeight = height();
    SetWindowPos(bar_, HWND_TOP, 0, client.bottom - barHeight, width, barHeight, SWP_NOACTIVATE);
    const std::array<int, 3> edges = {width * kPromptEnd / 100, width * kCableEnd / 100, -1};
    SendMessageW(bar_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    RECT part{};
    SendMessageW(bar_, SB_GETRECT, kProgressPart, reinterpret_cast<LPARAM>(&part));
    MoveWindow(progress_, part.left + 1, part.top + 1, part.right - part.left - 2,
               part.bottom - part.top - 2, TRUE);
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
