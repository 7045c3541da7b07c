#include "cli/restore_command.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

#include "cli/convert_command.h"
#include "cli/exit_codes.h"
#include "config/configuration.h"
#include "conversion/convert_decisions.h"
#include "conversion/convert_radio.h"
#include "conversion/personality_backup.h"
#include "conversion/recorded_run.h"
#include "conversion/workflow_strings.h"
#include "errors/wide_text.h"
#include "platform/system_files.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

constexpr int kProgressScale = 100;

// The radio on the cable is converted again as the backup's identity says, and the backup's
// personality is written into it: that brings back a radio a failed conversion left half-written.
int recover(const RestoreOptions& options, const PersonalityBackup& backup,
            const std::filesystem::path& dataDir, RadioSession& session, CommandIo& io) {
    RadioInfo& radio = session.radio();
    WorkflowOutcome outcome;
    if (!options.anyRadio && !backupBelongsTo(backup, radio, outcome)) {
        const std::span<const uint8_t> serial = radio.serialValue();
        io.err << toUtf8(outcome.text()) << "\nThis radio's serial number is "
               << std::string(serial.begin(), serial.end())
               << ". Give --any-radio to write the backup all the same.\n";
        return kExitRefused;
    }
    ConvertPlan plan;
    if (!planRecovery(Configuration::instance(), backup, plan, outcome)) {
        return refuseConversion(io.err, outcome);
    }
    ConvertRadio command;
    prepareRecovery(command, plan, backup, pathFromUtf8(options.backupFile), radio, kProgressScale);
    RecordedRun run(ConversionRecord(dataDir),
                    RecordedRun::identityOf(backup, pathFromUtf8(options.backupFile)));
    return runPreparedConversion(command, session, true, kStrPersonalityRestored, io, run);
}

}  // namespace

int runRestore(const RestoreOptions& options, CommandIo& io) {
    const InstallPaths paths = InstallPaths::resolve(options.install);
    if (const int code = prepareCommand(paths, CommandNeeds::Installation, io.err);
        code != kExitOk) {
        return code;
    }
    PersonalityBackup backup;
    if (!PersonalityBackup::load(options.backupFile, backup)) {
        return reportFailure(io.err, L"The backup cannot be used:", kExitFileProblem);
    }
    // The backup says what the radio was; its serial number alone tells it is the same radio,
    // and with --any-radio nothing is read from a radio that may no longer answer the rest.
    const RadioFrame frame{.backend = options.backend,
                           .probe = RadioSession::Probe::Info,
                           .traceFile = options.traceFile,
                           .identity = options.anyRadio ? RadioSession::Identity::None
                                                        : RadioSession::Identity::SerialOnly};
    return runOnRadio(frame, paths, io.err, [&](RadioSession& session) {
        return recover(options, backup, paths.dataDir, session, io);
    });
}

void addRestoreCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<RestoreOptions>();
    CLI::App* command = app.add_subcommand(
        "restore-personality",
        "Convert the radio again and write back the personality a failed conversion saved");
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
