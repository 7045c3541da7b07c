#include "cli/convert_command.h"

#include <CLI/CLI.hpp>

#include <memory>

#include "cli/exit_codes.h"
#include "cli/next_command.h"
#include "cli/terminal_front_end.h"
#include "config/configuration.h"
#include "conversion/convert_workflow.h"

namespace plugshift {

namespace {

constexpr int kProgressScale = 100;

}  // namespace

int runConvert(const ConvertOptions& options, CommandIo& io) {
    const InstallPaths paths = InstallPaths::resolve(options.install);
    if (const int code = prepareCommand(paths, CommandNeeds::Installation, io.err);
        code != kExitOk) {
        return code;
    }
    const RadioFrame frame{.backend = options.backend,
                           .probe = RadioSession::Probe::Convert,
                           .traceFile = options.traceFile,
                           .identity = RadioSession::Identity::FullOrSerial};
    return runOnRadio(frame, paths, io.err, [&](RadioSession& session) {
        TerminalFrontEnd frontEnd(io, session,
                                  {.yes = options.yes, .acceptLoss = options.withoutBackup});
        ConvertWorkflow workflow(Configuration::instance(), session.radio(),
                                 ConversionRecord(paths.dataDir), paths.backupFolder(), frontEnd);
        const WorkflowEnd end = workflow.run({.keepPersonality = options.keepPersonality},
                                             session.identityComplete(), kProgressScale);
        if (end.outcome.stringId == kStrConnectFailed) {
            session.disconnect();
        }
        return frontEnd.report(end, NextCommand(options.backend, paths));
    });
}

void addConvertCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* command = app.add_subcommand(
        "convert", "Convert the radio on the programming cable to the region's model");
    command->add_flag("--keep-personality", options->keepPersonality,
                      "keep the owner's user information and contacts across the conversion");
    command->add_flag("--yes", options->yes, "convert without asking for confirmation");
    command->add_flag("--finish-without-backup", options->withoutBackup,
                      "finish a conversion that did not end although its personality backup is "
                      "missing or damaged: the owner's user information and contacts are lost");
    addRadioOptions(*command, options->backend, options->install, &options->traceFile);
    command->footer(kExitCodeHelp);
    setRadioAction(*command, exitCode,
                   [options](CommandIo& io) { return runConvert(*options, io); });
}

}  // namespace plugshift
