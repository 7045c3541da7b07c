#include "platform/process_environment.h"

// windows.h's types first; initguid.h makes knownfolders.h define the folder ids.
// clang-format off
#include <windows.h>
#include <initguid.h>
#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on

#include <cstdio>
#include <string>

namespace plugshift {

long processId() {
    return static_cast<long>(::GetCurrentProcessId());
}

namespace {

std::string utf8(const wchar_t* text) {
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(length > 0 ? static_cast<size_t>(length) : 1, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), length, nullptr, nullptr);
    out.resize(out.size() - 1);  // the terminating NUL
    return out;
}

HANDLE standardHandle(StandardStream stream) {
    return ::GetStdHandle(stream == StandardStream::kInput    ? STD_INPUT_HANDLE
                          : stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE
                                                              : STD_ERROR_HANDLE);
}

}  // namespace

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        arguments.push_back(utf8(wide[i]));
    }
    ::LocalFree(wide);
    return arguments;
}

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

std::string shellQuoted(std::string_view word) {
    // A path cannot hold a double quote; cmd.exe and the program's own parsing take the rest.
    if (!word.empty() && word.find_first_of(" \t&|<>^()%!,;=") == std::string_view::npos) {
        return std::string(word);
    }
    // Backslashes right before the closing quote would escape it when the program splits its
    // command line ("D:\\Plug Data\\"), so they are doubled.
    const size_t trailing = word.size() - (word.find_last_not_of('\\') + 1);
    return "\"" + std::string(word) + std::string(trailing, '\\') + "\"";
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

std::filesystem::path dataFolderRoot() {
    // Flags 0: the folder is not created here; the installer made it.
    wchar_t* folder = nullptr;
    const HRESULT result = ::SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &folder);
    std::filesystem::path root;
    if (SUCCEEDED(result)) {
        root = folder;
    }
    ::CoTaskMemFree(folder);
    // The caller asks the system's message for the reason, as after any failed call.
    ::SetLastError(SUCCEEDED(result) ? ERROR_SUCCESS : HRESULT_CODE(result));
    return root;
}

}  // namespace plugshift
