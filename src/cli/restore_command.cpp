#include "cli/restore_command.h"

#include <CLI/CLI.hpp>

#include <unistd.h>
#include <iostream>
#include <memory>

#include "cli/command_runner.h"
#include "cli/console_prompt.h"
#include "cli/exit_codes.h"
#include "cli/frame_trace.h"
#include "cli/progress_bar.h"
#include "conversion/cmd_restore.h"
#include "conversion/workflow_strings.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

constexpr int kProgressScale = 100;

constexpr const char* kRestored = "The radio's personality is restored.";
constexpr const char* kRestoreFailed = "Restoring the radio's personality failed.";

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
        ErrorLog::write(
            L"Restore personality failed (Model:%ls,SN:%ls,Backup:%ls), this's caused "
            L"by:\n%ls",
            RadioInfo::modelText(radio.model()).value_or(L"").c_str(),
            RadioInfo::serialText(radio.serialValue()).value_or(L"").c_str(),
            fromUtf8(options.backupFile).c_str(), ErrorChain::text().c_str());
        return reportFailure(io.err, fromUtf8(kRestoreFailed), kExitRadioFailed);
    }
    if (!session.rereadIdentity()) {
        return reportFailure(io.err, workflowText(kStrConnectFailed), kExitNotConnected);
    }
    printIdentity(radio, nullptr, io.out);
    io.out << kRestored << "\n";
    return kExitOk;
}

}  // namespace

int runRestore(const RestoreOptions& options, CommandIo& io) {
    const InstallPaths paths = InstallPaths::resolve(options.install);
    std::string problem;
    if (!prepareDataFolder(paths, problem)) {
        io.err << problem << "\n";
        return kExitFileProblem;
    }
    CmdRestore command;
    if (!command.loadBackup(options.backupFile)) {
        return reportFailure(io.err, L"The backup cannot be used:", kExitFileProblem);
    }
    const auto backend = CableBackend::open(options.backend, paths.dataDir, problem);
    if (!backend) {
        io.err << problem << "\n";
        return kExitFileProblem;
    }
    FrameTrace trace;
    if (!options.traceFile.empty() && !trace.open(options.traceFile, problem)) {
        io.err << problem << "\n";
        return kExitFileProblem;
    }
    int exitCode = kExitOk;
    {
        RadioSession session(backend->driver());
        if (!options.traceFile.empty() && session.radio().sbep() != nullptr) {
            trace.attach(*session.radio().sbep());
        }
        exitCode = session.open(RadioSession::Probe::Info, io.err);
        if (exitCode == kExitOk) {
            exitCode = restore(options, session, command, io);
        }
    }
    if (!backend->save(problem)) {
        io.err << problem << "\n";
    }
    return exitCode;
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
    CableBackend::addOptions(*command, options->backend);
    InstallPaths::addOptions(*command, options->install);
    command->add_option("--trace", options->traceFile,
                        "write every SBEP frame to this file, one time-stamped hex line each");
    command->footer(kExitCodeHelp);
    command->callback([&exitCode, options] {
        ConsolePrompt prompt = ConsolePrompt::standard();
        CommandIo io{std::cin, std::cout, std::cerr, prompt, ::isatty(STDERR_FILENO) == 1};
        exitCode = runRestore(*options, io);
    });
}

}  // namespace plugshift
