#pragma once

#include <string>

#include "cli/cable_backend.h"
#include "cli/radio_session.h"

namespace CLI {
class App;
}

namespace plugshift {

struct RestoreOptions {
    std::string backupFile;
    // Write the backup into a radio whose serial number differs from the one it was taken from.
    bool anyRadio = false;
    BackendOptions backend;
    InstallOptions install;
    std::string traceFile;
};

// `restore-personality FILE`: writes a personality backup that a conversion saved back into the
// radio, with the requests and progress of the conversion's own restore steps. A backup is only
// written into the radio it was taken from (by serial number) unless --any-radio says otherwise.
void addRestoreCommand(CLI::App& app, int& exitCode);

int runRestore(const RestoreOptions& options, CommandIo& io);

}  // namespace plugshift
