#pragma once

#include <filesystem>
#include <iosfwd>

namespace CLI {
class App;
}

namespace plugshift {

// `history`: the conversions and serial-number updates of the data folder, oldest first, from
// its conversion record; --json prints one JSON object. Exit code 0, 7 when the data folder does
// not exist or the record cannot be read. Control characters of the record's values are shown
// escaped (\u001b).
void addHistoryCommand(CLI::App& app, int& exitCode);

// The listing of the record in dataDir; returns the exit code.
int showHistory(const std::filesystem::path& dataDir, bool json, std::ostream& out,
                std::ostream& err);

}  // namespace plugshift
