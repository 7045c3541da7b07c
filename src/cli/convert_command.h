#pragma once

#include <iosfwd>
#include <string>

#include "cable/cable_backend.h"
#include "cli/radio_session.h"

namespace CLI {
class App;
}

namespace plugshift {

struct ConvertOptions {
    BackendOptions backend;
    InstallOptions install;
    bool keepPersonality = false;
    bool yes = false;            // convert without asking
    bool withoutBackup = false;  // finish although the unfinished run's backup is lost
    std::string traceFile;       // empty: no trace
};

// `convert`: the Convert workflow (the window's own) on a terminal: questions on the prompt or
// --yes, progress on stderr, Ctrl-C stopping at the end of a request; exit codes in
// kExitCodeHelp.
void addConvertCommand(CLI::App& app, int& exitCode);

// The workflow over the options; returns the exit code.
int runConvert(const ConvertOptions& options, CommandIo& io);

}  // namespace plugshift
