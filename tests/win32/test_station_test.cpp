#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// A program of the build started with a command line; its exit code, or -1 when it did not
// end within the time.
class Program {
public:
    explicit Program(const std::wstring& commandLine) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring line = commandLine;
        started_ = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                    nullptr, &startup, &process_) != 0;
    }
    ~Program() {
        if (started_) {
            ::TerminateProcess(process_.hProcess, 1);
            ::CloseHandle(process_.hThread);
            ::CloseHandle(process_.hProcess);
        }
    }
    bool started() const { return started_; }
    int exitCode(DWORD milliseconds) {
        if (::WaitForSingleObject(process_.hProcess, milliseconds) != WAIT_OBJECT_0) {
            return -1;
        }
        DWORD code = 0;
        ::GetExitCodeProcess(process_.hProcess, &code);
        return static_cast<int>(code);
    }

private:
    PROCESS_INFORMATION process_{};
    bool started_ = false;
};

std::wstring besideThisProgram(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

// The station against a stand-in of the tool's console side: it passes only when the tool
// reports success, after it has ticked the box and answered the question.
TEST(TestStationTest, PassesOnlyOnTheToolsReportedSuccess) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "no X display for Wine's windows";
    }
    struct Case {
        const wchar_t* toolOption;
        int stationExit;
    };
    const Case cases[] = {{L"", 0}, {L" --fail", 1}};
    for (const Case& c : cases) {
        const std::wstring caption =
            L"station test tool " + std::to_wstring(::GetCurrentProcessId()) + c.toolOption;
        Program tool(L"\"" + besideThisProgram(L"console_tool_stand_in.exe") + L"\" \"" + caption +
                     L"\"" + c.toolOption);
        ASSERT_TRUE(tool.started());
        Program station(L"\"" + besideThisProgram(L"plugshift-test-station.exe") +
                        L"\" --timeout 30 --title \"" + caption + L"\"");
        ASSERT_TRUE(station.started());
        EXPECT_EQ(station.exitCode(60000), c.stationExit) << "tool option:" << c.toolOption;
    }
}

}  // namespace
