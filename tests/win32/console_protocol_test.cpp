#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "cableless_window_rig.h"
#include "desktop/string_table.h"
#include "win32/registered_console_messages.h"
#include "win32/win32_main_window.h"

namespace plugshift {
namespace {

using namespace std::chrono_literals;

constexpr LPARAM kRequest = 2056;
constexpr const wchar_t* kTestModeSuffix = L" [Test mode]";

// What a console window received from the tool.
struct Received {
    std::atomic<int> count{0};
    std::atomic<WPARAM> wParam{0};
    std::atomic<LPARAM> lParam{0};
};

struct ConsoleInbox {
    Received enter;
    Received exit;
    Received end;
};

const RegisteredConsoleMessages* gMessages = nullptr;
ConsoleInbox* gInbox = nullptr;

LRESULT CALLBACK consoleProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const std::optional<std::string> name = gMessages->nameOf(message);
    if (name) {
        Received& slot = *name == "WM_TOOL_UPDATE_ENTER_TEST_MODE"  ? gInbox->enter
                         : *name == "WM_TOOL_UPDATE_EXIT_TEST_MODE" ? gInbox->exit
                                                                    : gInbox->end;
        slot.wParam = wParam;
        slot.lParam = lParam;
        ++slot.count;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::wstring captionOf(HWND window) {
    wchar_t text[300] = {};
    GetWindowTextW(window, text, 300);
    return text;
}

// Pumps the console thread's messages (the tool's notifications arrive on it) for a while.
void pumpFor(std::chrono::milliseconds time) {
    const auto until = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < until) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
        std::this_thread::sleep_for(10ms);
    }
}

// The tool's question box, once it is up: a dialog owned by the tool's window.
HWND waitForQuestion(HWND tool) {
    for (int i = 0; i < 500; ++i) {
        HWND box = nullptr;
        while ((box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr) {
            if (box != tool && GetWindow(box, GW_OWNER) == tool && IsWindowVisible(box)) {
                return box;
            }
        }
        std::this_thread::sleep_for(10ms);
    }
    return nullptr;
}

// Answers the next question box of the tool with that button, from a thread of its own, since
// the console's thread waits in SendMessage meanwhile.
std::thread answerQuestion(HWND tool, int button) {
    return std::thread([tool, button] {
        if (HWND box = waitForQuestion(tool)) {
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
        }
    });
}

// What the console saw, checked on the test's thread once the window has closed.
struct Observations {
    bool toolFound = false;
    LRESULT badValueAnswer = -1;
    LRESULT notAWindowAnswer = -1;
    int acksAfterIgnored = -1;
    LRESULT declinedAnswer = -1;
    int acksAfterDeclined = -1;
    bool captionPlainAfterDecline = false;
    LRESULT acceptedAnswer = -1;
    int enterAcks = 0;
    WPARAM enterAckWParam = 0;
    LPARAM enterAckLParam = 0;
    bool captionMarked = false;
    LRESULT secondEnterAnswer = -1;
    int enterAcksAfterSecond = 0;
    LRESULT startAnswer = -1;
    int ends = 0;
    WPARAM endWParam = 0;
    LPARAM endLParam = -1;
    LRESULT exitAnswer = -1;
    int exitAcks = 0;
    bool captionBack = false;
};

void driveTool(const RegisteredConsoleMessages& messages, Observations& seen) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW consoleClass{};
    consoleClass.lpfnWndProc = &consoleProcedure;
    consoleClass.hInstance = instance;
    consoleClass.lpszClassName = L"PlugshiftTestConsole";
    RegisterClassW(&consoleClass);
    HWND console = CreateWindowExW(0, consoleClass.lpszClassName, L"console", WS_POPUP, 0, 0, 10,
                                   10, nullptr, nullptr, instance, nullptr);
    const std::wstring title = StringTable::title();
    HWND tool = nullptr;
    for (int i = 0; i < 1000 && tool == nullptr; ++i) {
        tool = FindWindowW(nullptr, title.c_str());
        std::this_thread::sleep_for(10ms);
    }
    seen.toolFound = tool != nullptr;
    if (tool == nullptr) {
        DestroyWindow(console);
        return;
    }
    const auto send = [&](const char* name, WPARAM wParam, LPARAM lParam) {
        return SendMessageW(tool, messages.idOf(name), wParam, lParam);
    };
    const auto consoleHandle = reinterpret_cast<WPARAM>(console);

    // Requests the tool must ignore: a wrong value, a handle that is no window.
    seen.badValueAnswer = send("WM_TOOL_UPDATE_EXIT_TEST_MODE", consoleHandle, kRequest + 1);
    seen.notAWindowAnswer = send("WM_TOOL_UPDATE_EXIT_TEST_MODE", 0x7fff0001, kRequest);
    pumpFor(200ms);
    seen.acksAfterIgnored = gInbox->exit.count;

    std::thread decline = answerQuestion(tool, IDNO);
    seen.declinedAnswer = send("WM_TOOL_UPDATE_ENTER_TEST_MODE", consoleHandle, kRequest);
    decline.join();
    pumpFor(200ms);
    seen.acksAfterDeclined = gInbox->enter.count;
    seen.captionPlainAfterDecline = captionOf(tool) == title;

    std::thread accept = answerQuestion(tool, IDYES);
    seen.acceptedAnswer = send("WM_TOOL_UPDATE_ENTER_TEST_MODE", consoleHandle, kRequest);
    accept.join();
    pumpFor(200ms);
    seen.enterAcks = gInbox->enter.count;
    seen.enterAckWParam = gInbox->enter.wParam;
    seen.enterAckLParam = gInbox->enter.lParam;
    seen.captionMarked = captionOf(tool) == title + kTestModeSuffix;

    // Already in test mode: no question, only the acknowledgement.
    seen.secondEnterAnswer = send("WM_TOOL_UPDATE_ENTER_TEST_MODE", consoleHandle, kRequest);
    pumpFor(200ms);
    seen.enterAcksAfterSecond = gInbox->enter.count;

    // In test mode a conversion asks nothing and reports to the console; with no radio it fails.
    seen.startAnswer = send("WM_TOOL_UPDATE_START", consoleHandle, kRequest);
    for (int i = 0; i < 3000 && gInbox->end.count == 0; ++i) {
        pumpFor(10ms);
    }
    seen.ends = gInbox->end.count;
    seen.endWParam = gInbox->end.wParam;
    seen.endLParam = gInbox->end.lParam;

    seen.exitAnswer = send("WM_TOOL_UPDATE_EXIT_TEST_MODE", consoleHandle, kRequest);
    pumpFor(200ms);
    seen.exitAcks = gInbox->exit.count;
    seen.captionBack = captionOf(tool) == title;

    PostMessageW(tool, WM_CLOSE, 0, 0);
    DestroyWindow(console);
}

TEST(ConsoleProtocolTest, RegisteredMessagesReachTheWindowAndItsAnswersComeBack) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "no X display for Wine's windows";
    }
    RegisteredConsoleMessages messages;
    ConsoleInbox inbox;
    gMessages = &messages;
    gInbox = &inbox;

    test::CablelessWindowRig rig;
    ASSERT_TRUE(rig.bind());
    Win32MainWindow window(rig.manager, rig.task, rig.configuration);

    Observations seen;
    std::thread console([&] { driveTool(messages, seen); });
    window.run();
    console.join();

    ASSERT_TRUE(seen.toolFound);
    EXPECT_EQ(seen.badValueAnswer, 1);
    EXPECT_EQ(seen.notAWindowAnswer, 1);
    EXPECT_EQ(seen.acksAfterIgnored, 0);
    EXPECT_EQ(seen.declinedAnswer, 0);
    EXPECT_EQ(seen.acksAfterDeclined, 0);
    EXPECT_TRUE(seen.captionPlainAfterDecline);
    EXPECT_EQ(seen.acceptedAnswer, 1);
    EXPECT_EQ(seen.enterAcks, 1);
    EXPECT_EQ(seen.enterAckWParam, reinterpret_cast<WPARAM>(window.handle()));
    EXPECT_EQ(seen.enterAckLParam, 8);
    EXPECT_TRUE(seen.captionMarked);
    EXPECT_EQ(seen.secondEnterAnswer, 1);
    EXPECT_EQ(seen.enterAcksAfterSecond, 2);
    EXPECT_EQ(seen.startAnswer, 0);
    EXPECT_EQ(seen.ends, 1);
    EXPECT_EQ(seen.endWParam, 8u);
    EXPECT_EQ(seen.endLParam, 0);
    EXPECT_EQ(seen.exitAnswer, 1);
    EXPECT_EQ(seen.exitAcks, 1);
    EXPECT_TRUE(seen.captionBack);
}

}  // namespace
}  // namespace plugshift
