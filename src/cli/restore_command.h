#pragma once

#include <string>

#include "cable/cable_backend.h"
#include "cli/radio_session.h"

namespace CLI {
class App;
}

namespace plugshift {

struct RestoreOptions {
    std::string backupFile;
    // Write the backup into a radio whose serial number differs from the one it was taken from.
    bool anyRadio = false;
    bool yes = false;  // write it back without asking
    BackendOptions backend;
    InstallOptions install;
    std::string traceFile;
};

// `restore-personality FILE`: the way back after a failed conversion. Converts the radio again,
// with the files the backup's codeplug version chooses, and writes the personality the failed
// conversion saved into it, so a half-written radio ends converted with its owner's data. A
// backup is only written into the radio it was taken from (by serial number, and by codeplug
// version when the radio still reports it) unless --any-radio says otherwise, and only once the
// user confirms (--yes), since the radio's own user information and contacts are replaced.
void addRestoreCommand(CLI::App& app, int& exitCode);

int runRestore(const RestoreOptions& options, CommandIo& io);

}  // namespace plugshift
