// A stand-in for the tool's window on the console side only, for the test station's test: a
// window of the given caption with the keep-personality box, that asks before entering test mode,
// acknowledges, and reports a "conversion" whose result is the box's state (or failure with
// --fail), as the tool reports over the same registered messages.
//
//   console_tool_stand_in CAPTION [--fail]
#include <windows.h>

#include <string>

namespace {

constexpr int kKeepPersonalityBox = 1036;
constexpr LPARAM kRequestValue = 2056;
constexpr LPARAM kToolValue = 8;

struct Messages {
    UINT start = ::RegisterWindowMessageW(L"WM_TOOL_UPDATE_START");
    UINT end = ::RegisterWindowMessageW(L"WM_TOOL_UPDATE_END");
    UINT enterTestMode = ::RegisterWindowMessageW(L"WM_TOOL_UPDATE_ENTER_TEST_MODE");
    UINT exitTestMode = ::RegisterWindowMessageW(L"WM_TOOL_UPDATE_EXIT_TEST_MODE");
};

const Messages* gMessages = nullptr;
std::wstring gCaption;
bool gFail = false;
bool gTestMode = false;

LRESULT answerConsole(HWND window, UINT message, HWND console) {
    if (message == gMessages->enterTestMode && !gTestMode) {
        if (::MessageBoxW(
                window, L"Update flash tool is entering test mode, \t\r\ndo you want to continue?",
                gCaption.c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
            return 0;
        }
        gTestMode = true;
    } else if (message == gMessages->exitTestMode) {
        gTestMode = false;
    } else if (message == gMessages->start) {
        const bool kept = ::IsDlgButtonChecked(window, kKeepPersonalityBox) == BST_CHECKED;
        const bool success = gTestMode && kept && !gFail;
        ::PostMessageW(console, gMessages->end, kToolValue, success ? 1 : 0);
        return 1;
    }
    ::SendNotifyMessageW(console, message, reinterpret_cast<WPARAM>(window), kToolValue);
    return 1;
}

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == gMessages->start || message == gMessages->enterTestMode ||
        message == gMessages->exitTestMode) {
        const auto console = reinterpret_cast<HWND>(wParam);
        if (lParam != kRequestValue || !::IsWindow(console)) {
            return 1;
        }
        return answerConsole(window, message, console);
    }
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return 2;
    }
    gCaption = argv[1];
    gFail = argc > 2 && std::wstring(argv[2]) == L"--fail";
    const Messages messages;
    gMessages = &messages;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ConsoleToolStandIn";
    ::RegisterClassW(&windowClass);
    HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, gCaption.c_str(),
                                    WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 120, nullptr,
                                    nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    ::CreateWindowExW(0, L"BUTTON", L"Keep personality", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX,
                      10, 10, 200, 24, window,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kKeepPersonalityBox)),
                      windowClass.hInstance, nullptr);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
