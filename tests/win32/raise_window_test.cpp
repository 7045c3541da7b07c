#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "win32/instance_mutex.h"

namespace plugshift {
namespace {

// The running instance's window, minimised.
TEST(InstanceMutexTest, RaisingBringsTheMinimisedWindowBackByItsExactCaption) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "no X display for Wine's windows";
    }
    const std::wstring title = L"plugshift-test-window-" + std::to_wstring(::GetCurrentProcessId());
    HWND window = ::CreateWindowExW(0, L"STATIC", title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                    100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ::ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(::IsIconic(window));

    EXPECT_FALSE(InstanceMutex::raiseWindowTitled(title + L" [Test mode]"));
    EXPECT_TRUE(::IsIconic(window));
    EXPECT_TRUE(InstanceMutex::raiseWindowTitled(title));
    EXPECT_FALSE(::IsIconic(window));
    EXPECT_TRUE(::IsWindowVisible(window));
    ::DestroyWindow(window);
}

}  // namespace
}  // namespace plugshift
