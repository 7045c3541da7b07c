#include "win32/about_dialog.h"

#include <string>

#include "desktop/string_table.h"
#include "win32/resource_ids.h"

namespace plugshift {

AboutDialog::~AboutDialog() {
    if (boldFont_ != nullptr) {
        DeleteObject(boldFont_);
    }
}

void AboutDialog::run(HWND owner) {
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner,
                    &AboutDialog::procedure, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK AboutDialog::procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<AboutDialog*>(lParam)->initialise(dialog);
        return FALSE;  // the focus is on OK, not on the warning, which would show all selected
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    return FALSE;
}

void AboutDialog::initialise(HWND dialog) {
    const std::wstring title = StringTable::title();
    const std::wstring version(
        StringTable::kToolVersion,
        StringTable::kToolVersion + std::char_traits<char>::length(StringTable::kToolVersion));
    SetWindowTextW(dialog, StringTable::format(str::kAboutCaption, title).c_str());
    SetDlgItemTextW(dialog, IDC_PRODUCT_NAME, title.c_str());
    SetDlgItemTextW(dialog, IDC_VERSION, StringTable::format(str::kVersion, version).c_str());
    SetDlgItemTextW(dialog, IDC_COPYRIGHT, StringTable::text(str::kCopyright).c_str());
    SetDlgItemTextW(dialog, IDC_TRADEMARK, StringTable::text(str::kTrademark).c_str());
    SetDlgItemTextW(dialog, IDC_WARNING, StringTable::text(str::kLegalWarning).c_str());
    SetDlgItemTextW(dialog, IDOK, StringTable::text(str::kOk).c_str());
    // The product's name stands out.
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(font),
               &font);
    font.lfWeight = FW_BOLD;
    boldFont_ = CreateFontIndirectW(&font);
    SendDlgItemMessageW(dialog, IDC_PRODUCT_NAME, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_),
                        FALSE);
    SetFocus(GetDlgItem(dialog, IDOK));
}

}  // namespace plugshift
