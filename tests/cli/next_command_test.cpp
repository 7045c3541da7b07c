// The commands printed for a person to run next: split back by the system's own shell, every word
// comes back whole, whatever the folders are called.

#include "cli/next_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// Needs windows.h first.
#include <shellapi.h>
#else
#include <cstdio>
#endif

#include "errors/wide_text.h"
#include "platform/system_files.h"

namespace plugshift {
namespace {

// The words of a printed line as the program it names would get them.
std::vector<std::string> splitAsTheShellDoes(const std::string& line) {
    std::vector<std::string> words;
#ifdef _WIN32
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(fromUtf8(line).c_str(), &count);
    for (int i = 0; i < count; ++i) {
        words.push_back(toUtf8(arguments[i]));
    }
    ::LocalFree(arguments);
#else
    // The shell prints each argument it was given on a line of its own.
    const std::string script = "set -- " + line + "; for word; do printf '%s\\n' \"$word\"; done";
    std::string quotedScript = "'";
    for (const char c : script) {
        quotedScript += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    FILE* shell = ::popen(("/bin/sh -c " + quotedScript + "'").c_str(), "r");
    std::string word;
    for (int c; shell != nullptr && (c = std::fgetc(shell)) != EOF;) {
        if (c == '\n') {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(c);
        }
    }
    if (shell != nullptr) {
        ::pclose(shell);
    }
#endif
    return words;
}

TEST(NextCommand, EveryWordComesBackWholeThroughTheShell) {
    std::vector<std::string> folders = {
        "/plain/data",
        "/data with spaces/Kestrelon/KMV Plugshift PERU",
        "/it's $HOME `x` & more;|<>(*)",
        "/Perú/datos de la radio",
        "C:\\ProgramData\\Plug Data\\",
        "D:\\100% (dealer)\\",
    };
#ifndef _WIN32
    // Names only other systems allow.
    folders.push_back("/\"quoted\" *?");
#endif
    for (const std::string& folder : folders) {
        SCOPED_TRACE(folder);
        BackendOptions backend;
        backend.port = "COM5";
        const std::filesystem::path path = pathFromUtf8(folder);
        const NextCommand next(backend, InstallPaths{path, path});
        const std::vector<std::string> words =
            splitAsTheShellDoes(next.restore(pathFromUtf8(folder + "/b.pbk")));
        ASSERT_GE(words.size(), 5u);
        EXPECT_EQ(words[0], "plugshift-cli");
        EXPECT_EQ(words[1], "restore-personality");
        EXPECT_EQ(words[2], folder + "/b.pbk");
        EXPECT_EQ(words[3], "--port");
        EXPECT_EQ(words[4], "COM5");
    }
}

}  // namespace
}  // namespace plugshift
