#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "cableless_window_rig.h"
#include "desktop/main_window_view.h"
#include "desktop/string_table.h"
#include "win32/win32_main_window.h"

namespace plugshift {
namespace {

using namespace std::chrono_literals;

struct Seen {
    bool found = false;
    bool serialGroupHidden = false;
    bool aliveAfterEscape = false;
    bool aliveAfterEnter = false;
};

HWND findWindow(const std::wstring& title) {
    for (int i = 0; i < 1000; ++i) {
        if (HWND window = FindWindowW(nullptr, title.c_str()); window && IsWindowVisible(window)) {
            return window;
        }
        std::this_thread::sleep_for(10ms);
    }
    return nullptr;
}

// Keys as the dialog manager turns them into commands: Escape is IDCANCEL, Enter IDOK.
void pressKeys(Seen& seen) {
    HWND window = findWindow(StringTable::title());
    seen.found = window != nullptr;
    if (window == nullptr) {
        return;
    }
    seen.serialGroupHidden = !IsWindowVisible(GetDlgItem(window, MainWindowView::kIdSerialGroup));
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    seen.aliveAfterEscape = IsWindow(window) && IsWindowVisible(window);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    seen.aliveAfterEnter = IsWindow(window) && IsWindowVisible(window);
    // Alt+F4 and the close box.
    PostMessageW(window, WM_CLOSE, 0, 0);
}

TEST(MainWindowKeysTest, EscapeAndEnterKeepTheWindowAndClosingEndsIt) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "no X display for Wine's windows";
    }
    test::CablelessWindowRig rig;
    ASSERT_TRUE(rig.bind());
    Win32MainWindow window(rig.manager, rig.task, rig.configuration);

    Seen seen;
    std::thread keys([&] { pressKeys(seen); });
    const int result = window.run();
    keys.join();

    ASSERT_TRUE(seen.found);
    EXPECT_TRUE(seen.serialGroupHidden);
    EXPECT_TRUE(seen.aliveAfterEscape);
    EXPECT_TRUE(seen.aliveAfterEnter);
    EXPECT_EQ(result, MainWindowView::kCmdExit);
}

}  // namespace
}  // namespace plugshift
