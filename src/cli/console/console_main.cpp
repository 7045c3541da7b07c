#include <CLI/CLI.hpp>

#include <string>

#include "cli/console/console_commands.h"

// plugshift-console: the reference console of the tool's console protocol.
int main(int argc, char** argv) {
    CLI::App app{"Drive a running KMV Plugshift PERU tool the way a test station does.",
                 "plugshift-console"};
    app.set_version_flag("--version", std::string("plugshift-console ") + PLUGSHIFT_VERSION);
    app.require_subcommand(1);
    // --socket and --timeout may follow the subcommand too: start --wait --timeout 60.
    app.fallthrough();
    int exitCode = 0;
    plugshift::addConsoleCommands(app, exitCode);
    CLI11_PARSE(app, argc, argv);
    return exitCode;
}
