#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cable/cable_backend.h"
#include "cli/radio_session.h"

namespace plugshift {

// The command a person runs next, as printed at the end of a radio command: this run's cable
// (--port or --simulate), data folder and installation go with it, every word quoted for the
// system's shell, so that it runs as printed from any folder.
class NextCommand {
public:
    // `finish`: the words that finish this command's work when it did not end; `convert --yes`
    // unless the command has its own.
    NextCommand(const BackendOptions& backend, const InstallPaths& paths,
                std::vector<std::string> finish = {"convert", "--yes"});

    // Finishes the work that did not end.
    std::string finish() const;
    // `restore-personality BACKUP`: writes a backup back on purpose.
    std::string restore(const std::filesystem::path& backup) const;
    // A command and its words, with this run's options.
    std::string line(const std::vector<std::string>& words) const;

private:
    std::vector<std::string> finish_;
    std::vector<std::string> options_;
};

}  // namespace plugshift
