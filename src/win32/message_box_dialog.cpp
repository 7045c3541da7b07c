#include "win32/message_box_dialog.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "desktop/string_table.h"
#include "win32/resource_ids.h"

namespace plugshift {

namespace {

// Pixels.
constexpr int kIconLeft = 20;
constexpr int kIconTop = 20;
constexpr int kTextGap = 30;  // from the icon's left edge to the text, beyond the icon's width
constexpr int kTextWidth = 400;
constexpr int kRightMargin = 20;
constexpr int kButtonBand = 50;
constexpr int kBelowText = kButtonBand + 40;  // text to the window's bottom: a gap and the band
constexpr int kButtonGap = 10;
constexpr COLORREF kBandColour = RGB(240, 240, 240);
constexpr UINT kTextFormat = DT_EXPANDTABS | DT_NOPREFIX;

SIZE sizeOf(HWND window) {
    RECT bounds{};
    GetWindowRect(window, &bounds);
    return {bounds.right - bounds.left, bounds.bottom - bounds.top};
}

}  // namespace

MessageBoxDialog::MessageBoxDialog(std::wstring caption, std::wstring text, unsigned style)
    : caption_(std::move(caption)), text_(std::move(text)), style_(style) {}

int MessageBoxDialog::run(HWND owner) {
    bandBrush_ = CreateSolidBrush(kBandColour);
    const INT_PTR result =
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MESSAGE_BOX), owner,
                        &MessageBoxDialog::procedure, reinterpret_cast<LPARAM>(this));
    DeleteObject(bandBrush_);
    return static_cast<int>(result);
}

LPCWSTR MessageBoxDialog::iconOf(unsigned style) {
    switch (MessageBoxStyle::icon(style)) {
        case MessageIcon::Warning:
            return IDI_EXCLAMATION;
        case MessageIcon::Error:
            return IDI_HAND;
        case MessageIcon::Information:
            return IDI_ASTERISK;
        case MessageIcon::Question:
            return IDI_QUESTION;
        default:
            return nullptr;
    }
}

INT_PTR CALLBACK MessageBoxDialog::procedure(HWND dialog, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<MessageBoxDialog*>(lParam)->initialise(dialog);
        return FALSE;  // the focus is set
    }
    auto* self = reinterpret_cast<MessageBoxDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    switch (message) {
        case WM_ERASEBKGND:
            return TRUE;  // painted whole in WM_PAINT
        case WM_PAINT:
            self->paint(dialog);
            return TRUE;
        case WM_CTLCOLORBTN:
            return reinterpret_cast<INT_PTR>(self->bandBrush_);
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) {
                return TRUE;
            }
            if (MessageBoxStyle::isButton(self->style_, LOWORD(wParam))) {
                EndDialog(dialog, LOWORD(wParam));
            } else if (LOWORD(wParam) == IDCANCEL) {  // Escape: as the close box
                SendMessageW(dialog, WM_CLOSE, 0, 0);
            }
            return TRUE;
        case WM_CLOSE:
            if (const std::optional<int> answer = MessageBoxStyle::closeAnswer(self->style_)) {
                EndDialog(dialog, *answer);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

int MessageBoxDialog::buttonCount() const {
    return MessageBoxStyle::buttons(style_).second != 0 ? 2 : 1;
}

void MessageBoxDialog::initialise(HWND dialog) {
    SetWindowTextW(dialog, caption_.c_str());
    if (const LPCWSTR icon = iconOf(style_)) {
        icon_ = LoadIconW(nullptr, icon);
    }
    HWND first = GetDlgItem(dialog, IDOK);
    HWND second = GetDlgItem(dialog, IDCANCEL);
    const MessageBoxStyle::Buttons buttons = MessageBoxStyle::buttons(style_);
    // A hidden second button keeps Cancel's id and text. Button ids are their texts' ids.
    const int secondId = buttons.second != 0 ? buttons.second : IDCANCEL;
    SetWindowLongPtrW(first, GWLP_ID, buttons.first);
    SetWindowLongPtrW(second, GWLP_ID, secondId);
    SetWindowTextW(first, StringTable::text(buttons.first).c_str());
    SetWindowTextW(second, StringTable::text(secondId).c_str());
    ShowWindow(second, buttonCount() == 2 ? SW_SHOW : SW_HIDE);
    SendMessageW(dialog, DM_SETDEFID, GetDlgCtrlID(first), 0);
    measureText(dialog);
    placeWindow(dialog);
    placeButtons(dialog);
    SetFocus(first);
}

void MessageBoxDialog::measureText(HWND dialog) {
    int iconWidth = 0;
    int iconHeight = 0;
    if (icon_ != nullptr) {
        iconWidth = GetSystemMetrics(SM_CXICON);
        iconHeight = GetSystemMetrics(SM_CYICON);
    }
    HDC dc = GetDC(dialog);
    const HGDIOBJ oldFont =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    RECT wrapped{0, 0, kTextWidth, 0};
    DrawTextW(dc, text_.c_str(), -1, &wrapped, kTextFormat | DT_WORDBREAK | DT_CALCRECT);
    RECT oneLine{0, 0, 0, 0};
    DrawTextW(dc, text_.c_str(), -1, &oneLine, kTextFormat | DT_SINGLELINE | DT_CALCRECT);
    SelectObject(dc, oldFont);
    ReleaseDC(dialog, dc);

    singleLine_ = oneLine.right <= kTextWidth && text_.find(L'\n') == std::wstring::npos;
    const int left = iconWidth + kTextGap;
    int width = kTextWidth;
    const MessageBoxStyle::Buttons buttons = MessageBoxStyle::buttons(style_);
    const SIZE firstButton = sizeOf(GetDlgItem(dialog, buttons.first));
    const SIZE secondButton = sizeOf(GetDlgItem(dialog, buttons.second));
    const int buttonsWidth =
        buttonCount() == 2 ? firstButton.cx + secondButton.cx + kButtonGap : firstButton.cx;
    width = std::max(width, buttonsWidth - (left - kIconLeft));
    textArea_ = {left, kIconTop, left + width,
                 kIconTop + std::max<int>(wrapped.bottom - wrapped.top, iconHeight)};
}

void MessageBoxDialog::placeWindow(HWND dialog) const {
    RECT frame{0, 0, textArea_.right + kRightMargin, textArea_.bottom + kBelowText};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT around{};
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner != nullptr && IsWindowVisible(owner)) {
        GetWindowRect(owner, &around);
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &around, 0);
    }
    const int left = around.left + (around.right - around.left - width) / 2;
    const int top = around.top + (around.bottom - around.top - height) / 2;
    SetWindowPos(dialog, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void MessageBoxDialog::placeButtons(HWND dialog) const {
    RECT client{};
    GetClientRect(dialog, &client);
    const int bandTop = client.bottom - kButtonBand;
    int right = client.right - kRightMargin;
    // Right to left: the second button, then the first beside it.
    const MessageBoxStyle::Buttons buttons = MessageBoxStyle::buttons(style_);
    HWND order[] = {GetDlgItem(dialog, buttons.second), GetDlgItem(dialog, buttons.first)};
    for (int i = buttonCount() == 2 ? 0 : 1; i < 2; ++i) {
        const SIZE size = sizeOf(order[i]);
        SetWindowPos(order[i], nullptr, right - size.cx, bandTop + (kButtonBand - size.cy) / 2, 0,
                     0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        right -= size.cx + kButtonGap;
    }
}

void MessageBoxDialog::paint(HWND dialog) const {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(dialog, &paint);
    RECT client{};
    GetClientRect(dialog, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    RECT band = client;
    band.top = client.bottom - kButtonBand;
    FillRect(dc, &band, bandBrush_);
    if (icon_ != nullptr) {
        DrawIcon(dc, kIconLeft, kIconTop, icon_);
    }
    const HGDIOBJ oldFont =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    RECT area = textArea_;
    DrawTextW(dc, text_.c_str(), -1, &area,
              kTextFormat | (singleLine_ ? DT_SINGLELINE | DT_VCENTER : DT_WORDBREAK));
    SelectObject(dc, oldFont);
    EndPaint(dialog, &paint);
}

}  // namespace plugshift
