#pragma once

#include <windows.h>

namespace plugshift {

// The picture shown while the program starts: a window of exactly its size in the middle of the
// screen, gone after the display time.
class SplashScreen {
public:
    explicit SplashScreen(UINT displayMilliseconds) : displayMilliseconds_(displayMilliseconds) {}

    // Returns when the display time has passed.
    void run();

private:
    static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void initialise(HWND dialog);
    void paint(HWND dialog) const;

    UINT displayMilliseconds_;
    HBITMAP picture_ = nullptr;
    SIZE size_{};
};

}  // namespace plugshift
