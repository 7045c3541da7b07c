// A test station: drives the running tool through its console messages as a factory's station
// does. Finds the tool's window by its caption, ticks the keep-personality box, asks for test
// mode (answering the tool's question with Yes), starts a conversion, waits for its result and
// leaves test mode. Prints each step; exits 0 only when the conversion succeeded.
//
//   plugshift-test-station [--title CAPTION] [--timeout SECONDS] [--keep-personality=no]
#include <windows.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

constexpr const wchar_t* kDefaultTitle = L"KMV410 Plugshift 916-928MHz";
constexpr const wchar_t* kTestModeSuffix = L" [Test mode]";
// A station's requests carry this value; the tool's acknowledgements and result carry 8.
constexpr LPARAM kRequestValue = 2056;
constexpr WPARAM kToolValue = 8;
constexpr int kKeepPersonalityBox = 1036;
constexpr auto kFindTime = seconds(30);
constexpr auto kAnswerTime = seconds(20);
constexpr auto kDefaultConversionTime = seconds(900);
constexpr UINT kSendTimeoutMs = 20000;

struct ConsoleMessages {
    UINT start = ::RegisterWindowMessageW(L"WM_TOOL_UPDATE_START");
    UINT end = ::RegisterWindowMessageW(L"WM_TOOL_UPDATE_END");
    UINT enterTestMode = ::RegisterWindowMessageW(L"WM_TOOL_UPDATE_ENTER_TEST_MODE");
    UINT exitTestMode = ::RegisterWindowMessageW(L"WM_TOOL_UPDATE_EXIT_TEST_MODE");
};

// What the tool sent us: the last message of each kind, with its parameters.
struct Received {
    bool seen = false;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

struct Inbox {
    Received end;
    Received enterTestMode;
    Received exitTestMode;
};

const ConsoleMessages* gMessages = nullptr;
Inbox gInbox;

LRESULT CALLBACK stationProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Received* slot = message == gMessages->end             ? &gInbox.end
                     : message == gMessages->enterTestMode ? &gInbox.enterTestMode
                     : message == gMessages->exitTestMode  ? &gInbox.exitTestMode
                                                           : nullptr;
    if (slot == nullptr) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    *slot = Received{true, wParam, lParam};
    return 1;
}

void say(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::printf("\n");
    std::fflush(stdout);
}

std::string narrow(const std::wstring& text) {
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(length > 0 ? static_cast<size_t>(length) : 1, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), length, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

// Handles our window's messages until done() holds or the time is up; false then.
bool pumpUntil(const std::function<bool()>& done, Clock::duration limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return true;
}

HWND createStationWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = stationProcedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PlugshiftTestStation";
    ::RegisterClassW(&windowClass);
    // A message-only window: the tool only needs a window to answer to.
    return ::CreateWindowExW(0, windowClass.lpszClassName, L"Test station", 0, 0, 0, 0, 0,
                             HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
}

HWND findTool(const std::wstring& title) {
    HWND tool = nullptr;
    pumpUntil(
        [&] {
            tool = ::FindWindowW(nullptr, title.c_str());
            if (tool == nullptr) {
                tool = ::FindWindowW(nullptr, (title + kTestModeSuffix).c_str());
            }
            return tool != nullptr;
        },
        kFindTime);
    return tool;
}

struct QuestionSearch {
    HWND tool;
    HWND box;
};

BOOL CALLBACK findQuestion(HWND window, LPARAM state) {
    auto* search = reinterpret_cast<QuestionSearch*>(state);
    if (window != search->tool && ::IsWindowVisible(window) &&
        ::GetWindow(window, GW_OWNER) == search->tool && ::GetDlgItem(window, IDYES) != nullptr &&
        ::GetDlgItem(window, IDNO) != nullptr) {
        search->box = window;
        return FALSE;
    }
    return TRUE;
}

// The tool's Yes/No box, owned by its window; none while there is no question.
HWND questionBox(HWND tool) {
    QuestionSearch search{tool, nullptr};
    ::EnumThreadWindows(::GetWindowThreadProcessId(tool, nullptr), findQuestion,
                        reinterpret_cast<LPARAM>(&search));
    return search.box;
}

bool tickKeepPersonality(HWND tool, bool keep) {
    // A window just found may still be making its controls.
    HWND box = nullptr;
    pumpUntil([&] { return (box = ::GetDlgItem(tool, kKeepPersonalityBox)) != nullptr; },
              kAnswerTime);
    if (box == nullptr) {
        say("the tool's window has no keep-personality box (%d)", kKeepPersonalityBox);
        return false;
    }
    const bool checked = ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (checked != keep) {
        // As a click, so the tool hears of it as of a user's.
        ::SendMessageW(box, BM_CLICK, 0, 0);
    }
    const bool now = ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    say("keep-personality box %s", now ? "ticked" : "cleared");
    return now == keep;
}

bool enterTestMode(const ConsoleMessages& messages, HWND tool, HWND station) {
    say("sending WM_TOOL_UPDATE_ENTER_TEST_MODE");
    // The tool asks its user before it answers, so the request waits on a thread of its own
    // while this one answers the question.
    LRESULT answer = 0;
    std::thread request([&] {
        answer = ::SendMessageW(tool, messages.enterTestMode, reinterpret_cast<WPARAM>(station),
                                kRequestValue);
    });
    bool answered = false;
    const bool acknowledged = pumpUntil(
        [&] {
            if (!answered) {
                if (HWND box = questionBox(tool)) {
                    say("the tool asks whether to enter test mode: pressing Yes");
                    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED),
                                   reinterpret_cast<LPARAM>(::GetDlgItem(box, IDYES)));
                    answered = true;
                }
            }
            return gInbox.enterTestMode.seen;
        },
        kAnswerTime);
    request.join();
    if (!acknowledged) {
        say("no acknowledgement of test mode (the tool answered %ld)", static_cast<long>(answer));
        return false;
    }
    const Received& ack = gInbox.enterTestMode;
    say("test mode acknowledged: answer %ld, wParam %s the tool's window, lParam %ld",
        static_cast<long>(answer), ack.wParam == reinterpret_cast<WPARAM>(tool) ? "is" : "is not",
        static_cast<long>(ack.lParam));
    return answer == 1 && ack.wParam == reinterpret_cast<WPARAM>(tool) &&
           ack.lParam == static_cast<LPARAM>(kToolValue);
}

bool convert(const ConsoleMessages& messages, HWND tool, HWND station, Clock::duration limit) {
    say("sending WM_TOOL_UPDATE_START");
    // Posted: the tool converts inside its handler, which returns only at the end.
    if (!::PostMessageW(tool, messages.start, reinterpret_cast<WPARAM>(station), kRequestValue)) {
        say("cannot post to the tool's window");
        return false;
    }
    const Clock::time_point started = Clock::now();
    if (!pumpUntil([] { return gInbox.end.seen; }, limit)) {
        say("no WM_TOOL_UPDATE_END in time");
        return false;
    }
    const Received& end = gInbox.end;
    const double took = std::chrono::duration<double>(Clock::now() - started).count();
    say("WM_TOOL_UPDATE_END after %.1f s: wParam %lu, lParam %ld (%s)", took,
        static_cast<unsigned long>(end.wParam), static_cast<long>(end.lParam),
        end.lParam == 1 ? "success" : "failure");
    return end.wParam == kToolValue && end.lParam == 1;
}

bool exitTestMode(const ConsoleMessages& messages, HWND tool, HWND station) {
    say("sending WM_TOOL_UPDATE_EXIT_TEST_MODE");
    DWORD_PTR answer = 0;
    if (!::SendMessageTimeoutW(tool, messages.exitTestMode, reinterpret_cast<WPARAM>(station),
                               kRequestValue, SMTO_NORMAL, kSendTimeoutMs, &answer)) {
        say("the tool did not answer");
        return false;
    }
    if (!pumpUntil([] { return gInbox.exitTestMode.seen; }, kAnswerTime)) {
        say("no acknowledgement of leaving test mode");
        return false;
    }
    const Received& ack = gInbox.exitTestMode;
    say("left test mode: answer %lu, lParam %ld", static_cast<unsigned long>(answer),
        static_cast<long>(ack.lParam));
    return answer == 1 && ack.wParam == reinterpret_cast<WPARAM>(tool) &&
           ack.lParam == static_cast<LPARAM>(kToolValue);
}

struct Options {
    std::wstring title = kDefaultTitle;
    Clock::duration conversionTime = kDefaultConversionTime;
    bool keepPersonality = true;
};

bool parse(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--title" && i + 1 < argc) {
            options.title = argv[++i];
        } else if (argument == L"--timeout" && i + 1 < argc) {
            options.conversionTime = seconds(std::wcstol(argv[++i], nullptr, 10));
        } else if (argument == L"--keep-personality=no") {
            options.keepPersonality = false;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: plugshift-test-station [--title CAPTION] [--timeout SECONDS] "
                     "[--keep-personality=no]\n");
        return 2;
    }
    const ConsoleMessages messages;
    gMessages = &messages;
    HWND station = createStationWindow();
    if (station == nullptr) {
        say("cannot create the station's window");
        return 1;
    }
    HWND tool = findTool(options.title);
    if (tool == nullptr) {
        say("no window titled \"%s\"", narrow(options.title).c_str());
        return 1;
    }
    say("found the tool's window \"%s\"", narrow(options.title).c_str());
    const bool passed = tickKeepPersonality(tool, options.keepPersonality) &&
                        enterTestMode(messages, tool, station) &&
                        convert(messages, tool, station, options.conversionTime);
    // Test mode is left whatever happened, so the tool is fit for a person again.
    const bool left = gInbox.enterTestMode.seen && exitTestMode(messages, tool, station);
    say(passed && left ? "station: PASSED" : "station: FAILED");
    return passed && left ? 0 : 1;
}
