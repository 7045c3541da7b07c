#include "win32/dealer_login_dialog.h"

#include <string>
#include <vector>

#include "desktop/dealer_login.h"
#include "desktop/string_table.h"
#include "win32/resource_ids.h"

namespace plugshift {

namespace {

constexpr int kLineBelowEdit = 8;  // pixels from the edit's bottom to the line below it
constexpr COLORREF kWrongColour = RGB(255, 0, 0);

std::wstring textOf(HWND control) {
    std::vector<wchar_t> buffer(static_cast<size_t>(GetWindowTextLengthW(control)) + 1);
    GetWindowTextW(control, buffer.data(), static_cast<int>(buffer.size()));
    return buffer.data();
}

}  // namespace

std::optional<std::wstring> DealerLoginDialog::run(HWND owner) {
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_LOGIN), owner,
                        &DealerLoginDialog::procedure, reinterpret_cast<LPARAM>(this)) != IDOK) {
        return std::nullopt;
    }
    return entry_;
}

INT_PTR CALLBACK DealerLoginDialog::procedure(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<DealerLoginDialog*>(lParam)->initialise(dialog);
        return FALSE;  // the focus is set
    }
    auto* self = reinterpret_cast<DealerLoginDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    switch (message) {
        case WM_PAINT:
            self->paint(dialog);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_PASSWORD && HIWORD(wParam) == EN_UPDATE) {
                if (self->login_.isWrongShown()) {
                    self->login_.entryChanged(textOf(GetDlgItem(dialog, IDC_PASSWORD)));
                    InvalidateRect(dialog, nullptr, TRUE);
                }
            } else if (LOWORD(wParam) == IDOK) {
                self->entry_ = textOf(GetDlgItem(dialog, IDC_PASSWORD));
                EndDialog(dialog, IDOK);
            } else if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

void DealerLoginDialog::initialise(HWND dialog) {
    const std::wstring login = StringTable::text(str::kLogin);
    SetWindowTextW(dialog, login.c_str());
    SetDlgItemTextW(dialog, IDOK, login.c_str());
    HWND edit = GetDlgItem(dialog, IDC_PASSWORD);
    SendMessageW(edit, EM_LIMITTEXT, DealerLogin::kMaxDigits, 0);
    // The last entry, selected, so the first key replaces it.
    SetWindowTextW(edit, login_.lastEntry().c_str());
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SetFocus(edit);
}

void DealerLoginDialog::paint(HWND dialog) const {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(dialog, &paint);
    RECT edit{};
    GetWindowRect(GetDlgItem(dialog, IDC_PASSWORD), &edit);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&edit), 2);
    RECT client{};
    GetClientRect(dialog, &client);
    RECT line{edit.left, edit.bottom + kLineBelowEdit, client.right, client.bottom};
    const HGDIOBJ oldFont =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, login_.isWrongShown() ? kWrongColour : GetSysColor(COLOR_WINDOWTEXT));
    const std::wstring text = login_.lineText();
    DrawTextW(dc, text.c_str(), -1, &line, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    EndPaint(dialog, &paint);
}

}  // namespace plugshift
