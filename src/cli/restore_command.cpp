#include "cli/restore_command.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <memory>
#include <ostream>
#include <span>

#include "cli/exit_codes.h"
#include "cli/next_command.h"
#include "cli/terminal_front_end.h"
#include "config/configuration.h"
#include "conversion/personality_backup.h"
#include "conversion/recovery_workflow.h"
#include "platform/system_files.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

constexpr int kProgressScale = 100;

}  // namespace

int runRestore(const RestoreOptions& options, CommandIo& io) {
    const InstallPaths paths = InstallPaths::resolve(options.install);
    if (const int code = prepareCommand(paths, CommandNeeds::Installation, io.err);
        code != kExitOk) {
        return code;
    }
    const std::filesystem::path path = pathFromUtf8(options.backupFile);
    PersonalityBackup backup;
    if (!PersonalityBackup::load(path, backup)) {
        return reportFailure(io.err, L"The backup cannot be used:", kExitFileProblem);
    }
    // The serial number tells it is the backup's radio; the rest, when a half-written radio
    // still answers it, that it is of the backup's codeplug version. With --any-radio nothing is
    // read from a radio that may no longer answer at all.
    const RadioFrame frame{.backend = options.backend,
                           .probe = RadioSession::Probe::Info,
                           .traceFile = options.traceFile,
                           .identity = options.anyRadio ? RadioSession::Identity::None
                                                        : RadioSession::Identity::FullOrSerial};
    return runOnRadio(frame, paths, io.err, [&](RadioSession& session) {
        TerminalFrontEnd frontEnd(io, session, {.yes = options.yes});
        RecoveryWorkflow workflow(Configuration::instance(), session.radio(),
                                  ConversionRecord(paths.dataDir), frontEnd);
        const WorkflowEnd end = workflow.run(backup, path, {.anyRadio = options.anyRadio},
                                             session.identityComplete(), kProgressScale);
        if (end.outcome.stringId == kStrRecoveryOtherRadio) {
            const std::span<const uint8_t> serial = session.radio().serialValue();
            io.err << "This radio's serial number is " << std::string(serial.begin(), serial.end())
                   << ". Give --any-radio to write the backup all the same.\n";
        }
        // A radio written into on purpose may not tell its serial number, which a plain finish
        // looks it up by: the same restore finishes it.
        const NextCommand next =
            options.anyRadio
                ? NextCommand(options.backend, paths,
                              {"restore-personality", utf8FromPath(std::filesystem::absolute(path)),
                               "--yes", "--any-radio"})
                : NextCommand(options.backend, paths);
        return frontEnd.report(end, next);
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
                      "write the backup even into a radio with another serial number or codeplug "
                      "version");
    command->add_flag("--yes", options->yes, "write the backup back without asking");
    addRadioOptions(*command, options->backend, options->install, &options->traceFile);
    command->footer(kExitCodeHelp);
    setRadioAction(*command, exitCode,
                   [options](CommandIo& io) { return runRestore(*options, io); });
}

}  // namespace plugshift
