#include "win32/splash_screen.h"

#include "win32/resource_ids.h"

namespace plugshift {

namespace {

constexpr UINT_PTR kTimerId = 100;

}  // namespace

void SplashScreen::run() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    picture_ = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDB_SPLASH), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SPLASH), nullptr, &SplashScreen::procedure,
                    reinterpret_cast<LPARAM>(this));
    DeleteObject(picture_);
}

INT_PTR CALLBACK SplashScreen::procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<SplashScreen*>(lParam)->initialise(dialog);
        return TRUE;
    }
    auto* self = reinterpret_cast<SplashScreen*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_TIMER:
            if (wParam == kTimerId) {
                KillTimer(dialog, kTimerId);
                EndDialog(dialog, 1);
            }
            return TRUE;
        case WM_PAINT:
            if (self != nullptr) {
                self->paint(dialog);
                return TRUE;
            }
            return FALSE;
        case WM_COMMAND:
            return TRUE;  // neither Enter nor Escape cuts the display short
        default:
            return FALSE;
    }
}

void SplashScreen::initialise(HWND dialog) {
    BITMAP info{};
    if (picture_ != nullptr && GetObjectW(picture_, sizeof(info), &info) != 0) {
        size_ = {info.bmWidth, info.bmHeight};
    }
    RECT desktop{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &desktop, 0);
    SetWindowPos(dialog, HWND_TOP, desktop.left + (desktop.right - desktop.left - size_.cx) / 2,
                 desktop.top + (desktop.bottom - desktop.top - size_.cy) / 2, size_.cx, size_.cy,
                 0);
    SetTimer(dialog, kTimerId, displayMilliseconds_, nullptr);
}

void SplashScreen::paint(HWND dialog) const {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(dialog, &paint);
    HDC source = CreateCompatibleDC(dc);
    const HGDIOBJ old = SelectObject(source, picture_);
    BitBlt(dc, 0, 0, size_.cx, size_.cy, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
    EndPaint(dialog, &paint);
}

}  // namespace plugshift
