#include "cli/restore_command.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

#include "cli/command_runner.h"
#include "cli/exit_codes.h"
#include "cli/progress_bar.h"
#include "conversion/cmd_restore.h"
#include "conversion/convert_decisions.h"
#include "conversion/workflow_strings.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

constexpr int kProgressScale = 100;

std::string bytesText(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The backup's serial number against the radio's; a backup of another radio is refused unless
// the options allow it.
bool belongsToRadio(const PersonalityBackup& backup, const RadioInfo& radio,
                    const RestoreOptions& options, std::ostream& err) {
    const std::span<const uint8_t> serial = radio.serialValue();
    if (std::equal(serial.begin(), serial.end(), backup.serial.begin(), backup.serial.end()) ||
        options.anyRadio) {
        return true;
    }
    err << "The backup was taken from the radio with serial number " << bytesText(backup.serial)
        << "; this radio's is " << std::string(serial.begin(), serial.end())
        << ". Give --any-radio to write it all the same.\n";
    return false;
}

int restore(const RestoreOptions& options, RadioSession& session, CmdRestore& command,
            CommandIo& io) {
    RadioInfo& radio = session.radio();
    if (!belongsToRadio(command.backup(), radio, options, io.err)) {
        return kExitRefused;
    }
    command.radio = &radio;
    command.progressEnd = kProgressScale;
    command.progressPos = 0;
    ProgressBar bar(io.err, io.redrawProgress);
    CommandRunner runner(&bar);
    command.window = runner.window([&command] { return command.stepText(); });
    ErrorChain::remove(kErrorOk);
    if (!runner.run(command)) {
        logFailedRestore(RadioSummary::of(radio), fromUtf8(options.backupFile));
        return reportFailure(io.err, workflowText(kStrPersonalityRestoreFailed), kExitRadioFailed);
    }
    if (!session.rereadIdentity()) {
        return reportFailure(io.err, workflowText(kStrConnectFailed), kExitNotConnected);
    }
    printIdentity(radio, nullptr, io.out);
    io.out << toUtf8(workflowText(kStrPersonalityRestored)) << "\n";
    return kExitOk;
}

}  // namespace

int runRestore(const RestoreOptions& options, CommandIo& io) {
    const InstallPaths paths = InstallPaths::resolve(options.install);
    if (const int code = prepareCommand(paths, CommandNeeds::DataFolder, io.err); code != kExitOk) {
        return code;
    }
    CmdRestore command;
    if (!command.loadBackup(options.backupFile)) {
        return reportFailure(io.err, L"The backup cannot be used:", kExitFileProblem);
    }
    const RadioFrame frame{.backend = options.backend,
                           .probe = RadioSession::Probe::Info,
                           .traceFile = options.traceFile};
    return runOnRadio(frame, paths, io.err, [&](RadioSession& session) {
        return restore(options, session, command, io);
    });
}

void addRestoreCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<RestoreOptions>();
    CLI::App* command = app.add_subcommand(
        "restore-personality",
        "Write a personality backup that a conversion saved back into the radio");
    command->add_option("FILE", options->backupFile, "the backup (in the data folder's backup/)")
        ->required();
    command->add_flag("--any-radio", options->anyRadio,
                      "write the backup even into a radio with another serial number");
    addRadioOptions(*command, options->backend, options->install, &options->traceFile);
    command->footer(kExitCodeHelp);
    setRadioAction(*command, exitCode,
                   [options](CommandIo& io) { return runRestore(*options, io); });
}

}  // namespace plugshift
