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
class RecordedRun;
struct WorkflowOutcome;

struct ConvertOptions {
    BackendOptions backend;
    InstallOptions install;
    bool keepPersonality = false;
    bool yes = false;       // convert without asking
    std::string traceFile;  // empty: no trace
};

// `convert`: the Convert workflow of the desktop window on the command line. A radio whose last
// conversion the record shows unfinished is offered to finish it instead (--yes accepts); its
// serial number is then all that must be read. Otherwise it checks the radio
// and the installation's files, asks for confirmation (on a terminal, unless --yes), converts the
// radio with a progress bar, reads the identity again and prints the result; exit codes in
// kExitCodeHelp.
void addConvertCommand(CLI::App& app, int& exitCode);

// The workflow over the options; returns the exit code.
int runConvert(const ConvertOptions& options, CommandIo& io);

// What the conversion commands share. A refusal's text, and its exit code.
int refuseConversion(std::ostream& err, const WorkflowOutcome& outcome);
// Runs a prepared conversion with a progress bar, kept in the conversion record (`record`),
// stoppable by Ctrl-C or SIGTERM at the end of a request. The backup is named the moment it is
// saved. A failure or a stop prints its message, the causes and the way back; a success prints
// the radio as it is now, successString and what the run recorded on the way (a radio that cannot
// be read again afterwards is a warning, exit code 0). Returns the exit code.
int runPreparedConversion(ConvertRadio& command, RadioSession& session, bool restore,
                          int successString, CommandIo& io, RecordedRun& record);

}  // namespace plugshift
