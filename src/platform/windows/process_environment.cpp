#include "platform/process_environment.h"

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace plugshift {

long processId() {
    return static_cast<long>(::GetCurrentProcessId());
}

namespace {

HANDLE standardHandle(StandardStream stream) {
    return ::GetStdHandle(stream == StandardStream::kInput    ? STD_INPUT_HANDLE
                          : stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE
                                                              : STD_ERROR_HANDLE);
}

}  // namespace

bool isTerminal(StandardStream stream) {
    // A console answers GetConsoleMode; a file, a pipe or the NUL device does not.
    DWORD mode = 0;
    return ::GetConsoleMode(standardHandle(stream), &mode) != 0;
}

bool prepareTerminalOutput(StandardStream stream) {
    HANDLE console = standardHandle(stream);
    DWORD mode = 0;
    if (!::GetConsoleMode(console, &mode)) {
        return false;
    }
    ::SetConsoleOutputCP(CP_UTF8);
    // Consoles before Windows 10 do not know the escapes; the caller then writes plain lines.
    return ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::filesystem::path executableFolder() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) {
            return {};
        }
        if (length < name.size()) {
            name.resize(length);
            return std::filesystem::path(name).parent_path();
        }
        name.resize(name.size() * 2);
    }
}

std::filesystem::path userDataRoot() {
    const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (length == 0) {
        return {};
    }
    std::wstring value(length, L'\0');
    const DWORD written = ::GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), length);
    value.resize(written);
    return value;
}

}  // namespace plugshift
