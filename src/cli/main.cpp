#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

#include "cli/cables_command.h"
#include "cli/config_command.h"
#include "cli/convert_command.h"
#include "cli/doctor_command.h"
#include "cli/ftf_command.h"
#include "cli/history_command.h"
#include "cli/info_command.h"
#include "cli/restore_command.h"
#include "cli/set_serial_command.h"
#include "platform/process_environment.h"

namespace {

// The exit code of a command line that names no command this program has.
constexpr int kUnknownCommand = static_cast<int>(CLI::ExitCodes::ExtrasError);

// A first word that is no option and names no command is said as such, with the commands there
// are, rather than as a command that is missing.
bool saidUnknownCommand(CLI::App& app, const std::vector<std::string>& arguments) {
    if (arguments.size() < 2 || arguments[1].starts_with("-")) {
        return false;
    }
    const std::vector<CLI::App*> commands =
        app.get_subcommands([](const CLI::App*) { return true; });
    for (const CLI::App* command : commands) {
        if (command->check_name(arguments[1])) {
            return false;
        }
    }
    std::cerr << "plugshift-cli: '" << arguments[1] << "' is not a command. The commands are:";
    for (const CLI::App* command : commands) {
        std::cerr << " " << command->get_name();
    }
    std::cerr << ".\nRun plugshift-cli --help for what each does.\n";
    return true;
}

}  // namespace

// Each subcommand lives in its own file pair and is added here.
int main(int argc, char** argv) {
    CLI::App app{"KMV Plugshift PERU on the command line.", "plugshift-cli"};
    app.set_version_flag("--version", std::string("plugshift-cli ") + PLUGSHIFT_VERSION);
    app.require_subcommand(1);
    // Options are "--name" on every system, so a path such as /tmp/x is never read as one.
    app.allow_windows_style_options(false);
    int exitCode = 0;
    plugshift::addCablesCommand(app, exitCode);
    plugshift::addConfigCommand(app, exitCode);
    plugshift::addDoctorCommand(app, exitCode);
    plugshift::addFtfCommand(app, exitCode);
    plugshift::addInfoCommand(app, exitCode);
    plugshift::addConvertCommand(app, exitCode);
    plugshift::addSetSerialCommand(app, exitCode);
    plugshift::addRestoreCommand(app, exitCode);
    plugshift::addHistoryCommand(app, exitCode);
    const std::vector<std::string> arguments = plugshift::utf8Arguments(argc, argv);
    if (saidUnknownCommand(app, arguments)) {
        return kUnknownCommand;
    }
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments) {
        pointers.push_back(argument.c_str());
    }
    CLI11_PARSE(app, static_cast<int>(pointers.size()), pointers.data());
    return exitCode;
}
