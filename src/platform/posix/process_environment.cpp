#include "platform/process_environment.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace plugshift {

long processId() {
    return static_cast<long>(::getpid());
}

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    // Linux passes the bytes as given, which are UTF-8 in any usual locale.
    return std::vector<std::string>(argv, argv + argc);
}

bool isTerminal(StandardStream stream) {
    const int fd = stream == StandardStream::kInput    ? STDIN_FILENO
                   : stream == StandardStream::kOutput ? STDOUT_FILENO
                                                       : STDERR_FILENO;
    return ::isatty(fd) == 1;
}

bool prepareTerminalOutput(StandardStream stream) {
    // Terminals here take both already.
    return isTerminal(stream);
}

std::string shellQuoted(std::string_view word) {
    if (!word.empty() &&
        word.find_first_of(" \t\n'\"\\$`!*?[]{}~#;&|<>()") == std::string_view::npos) {
        return std::string(word);
    }
    // Inside single quotes only the quote itself needs care.
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::filesystem::path executableFolder() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : program.parent_path();
}

std::filesystem::path dataFolderRoot() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && std::filesystem::path(xdg).is_absolute()) {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? std::filesystem::path(home) / ".local/share"
                                            : std::filesystem::path();
}

}  // namespace plugshift
