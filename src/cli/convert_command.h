#pragma once

#include <iosfwd>
#include <string>

#include "cli/cable_backend.h"
#include "cli/radio_session.h"

namespace CLI {
class App;
}

namespace plugshift {

class ConvertRadio;
struct WorkflowOutcome;

struct ConvertOptions {
    BackendOptions backend;
    InstallOptions install;
    bool keepPersonality = false;
    bool yes = false;       // convert without asking
    std::string traceFile;  // empty: no trace
};

// `convert`: the Convert workflow of the desktop window on the command line. Checks the radio
// and the installation's files, asks for confirmation (on a terminal, unless --yes), converts the
// radio with a progress bar, reads the identity again and prints the result; exit codes in
// kExitCodeHelp.
void addConvertCommand(CLI::App& app, int& exitCode);

// The workflow over the options; returns the exit code.
int runConvert(const ConvertOptions& options, CommandIo& io);

// What the conversion commands share. A refusal's text, and its exit code.
int refuseConversion(std::ostream& err, const WorkflowOutcome& outcome);
// Runs a prepared conversion with a progress bar. A failure prints its message, the causes and
// the backup to offer; a success prints the radio as it is now, successString and what the run
// recorded on the way. Returns the exit code.
int runPreparedConversion(ConvertRadio& command, RadioSession& session, bool restore,
                          int successString, CommandIo& io);

}  // namespace plugshift
