#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace plugshift {

// Where this program is and whom it serves, as each system tells it.

enum class StandardStream { kInput, kOutput, kError };

long processId();
// The program's arguments in UTF-8 (Windows hands main() its ANSI code page's text), argv[0]
// first.
std::vector<std::string> utf8Arguments(int argc, char** argv);
// True when the stream is a terminal (a console window on Windows), where a person reads it.
bool isTerminal(StandardStream stream);
// Makes the terminal behind an output stream show UTF-8 text and the escape sequences that
// redraw a line in place; false when it is no terminal or cannot.
bool prepareTerminalOutput(StandardStream stream);
// A word as the system's shell takes it back whole (a POSIX shell on Linux, cmd.exe on
// Windows): quoted only when it needs to be.
std::string shellQuoted(std::string_view word);
// The folder of the running program; empty when the system cannot say.
std::filesystem::path executableFolder();
// The installation the running program belongs to (config.xml, lang/, skel/): the folder above
// the program's bin/, or ".." from the working folder when the system cannot say where it runs.
inline std::filesystem::path installationFolder() {
    const std::filesystem::path program = executableFolder();
    return program.empty() ? std::filesystem::path("..") : program / "..";
}
// The folder below which the product's data folder lives: each user's $XDG_DATA_HOME (or
// ~/.local/share) on Linux; on Windows the common application data folder (C:\ProgramData),
// which the window and the command line of every user of the machine share. Empty when the
// system does not say (on Windows with the reason as the thread's last error).
std::filesystem::path dataFolderRoot();
// The product's data folder below such a root (setup.dat, err.log, the backups, the conversion
// record), the one name every program of the product uses.
inline std::filesystem::path productDataFolder(const std::filesystem::path& root) {
    return root / "Kestrelon" / "KMV Plugshift PERU";
}

}  // namespace plugshift
