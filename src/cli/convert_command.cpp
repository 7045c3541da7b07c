#include "cli/convert_command.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

#include "cli/command_runner.h"
#include "cli/console_prompt.h"
#include "cli/exit_codes.h"
#include "cli/progress_bar.h"
#include "config/configuration.h"
#include "conversion/convert_decisions.h"
#include "conversion/convert_radio.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/system_files.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

constexpr int kProgressScale = 100;

constexpr const char* kNeedsConfirmation =
    "Not converted: the conversion must be confirmed on a terminal, or with --yes.";
constexpr const char* kDeclined = "Not converted; the radio is unchanged.";

int exitCodeFor(const WorkflowOutcome& outcome) {
    switch (outcome.stringId) {
        case kStrRadioUnsupported:
            return kExitModelNotSupported;
        case kStrFileProblem:
        case kStrBackupNotSaved:
            return kExitFileProblem;
        case kStrAlreadyConverted:
            return kExitAlreadyConverted;
        case kStrIncompatible:
        case kStrRecoveryOtherRadio:
            return kExitRefused;
        default:
            return kExitRadioFailed;
    }
}

void nameBackup(const ConvertRadio& command, std::ostream& err) {
    const std::filesystem::path& backup = command.lastBackupPath();
    if (backup.empty()) {
        return;
    }
    ErrorLog::write(L"The radio's personality was saved to [%ls].",
                    fromUtf8(utf8FromPath(backup)).c_str());
    err << "The radio's personality was saved to " << backup.string()
        << "\nplugshift-cli restore-personality converts the radio again and writes it back.\n";
}

// From the confirmation to the result, on a radio whose identity has been read.
int convertRadio(const ConvertOptions& options, const InstallPaths& paths, RadioSession& session,
                 CommandIo& io) {
    Configuration& config = Configuration::instance();
    RadioInfo& radio = session.radio();
    const std::wstring model = modelNumber(radio);
    WorkflowOutcome outcome;
    if (!checkModelConfigured(config, model, outcome)) {
        return refuseConversion(io.err, outcome);
    }
    ToolVersions tool;
    if (!findToolVersions(config, tool, outcome)) {
        return refuseConversion(io.err, outcome);
    }
    if (!options.yes) {
        if (!io.prompt.interactive()) {
            io.err << kNeedsConfirmation << "\n";
            return kExitRefused;
        }
        const std::wstring question =
            WorkflowOutcome::of(kStrConvertConfirm, MessageIcon::Question, kBandLabel).text();
        if (!io.prompt.confirm(toUtf8(question))) {
            io.err << kDeclined << "\n";
            return kExitRefused;
        }
    }
    ConvertPlan plan;
    if (!checkModelConfigured(config, model, outcome) ||
        !planConversion(config, tool, model, radio.codeplugVersion(), options.keepPersonality, plan,
                        outcome)) {
        return refuseConversion(io.err, outcome);
    }

    ConvertRadio command;
    prepareConversion(command, plan, options.keepPersonality, radio, kProgressScale,
                      paths.backupFolder());
    return runPreparedConversion(command, session, options.keepPersonality, kStrConvertDone, io);
}

}  // namespace

int refuseConversion(std::ostream& err, const WorkflowOutcome& outcome) {
    return reportFailure(err, outcome.text(), exitCodeFor(outcome));
}

int runPreparedConversion(ConvertRadio& command, RadioSession& session, bool restore,
                          int successString, CommandIo& io) {
    RadioInfo& radio = session.radio();
    ProgressBar bar(io.err, io.redrawProgress);
    CommandRunner runner(&bar);
    command.window = runner.window([&command] { return command.stepText(); });
    // What the opening left in the chain is no cause of this run's failure.
    ErrorChain::remove(kErrorOk);
    if (!runner.run(command)) {
        const std::vector<ErrorRecord> causes = ErrorChain::records();
        const WorkflowOutcome outcome =
            concludeFailedConversion(command, RadioSummary::of(radio), restore, radio.frameRing());
        io.err << toUtf8(outcome.text()) << "\n";
        for (const ErrorRecord& record : causes) {
            io.err << "  " << toUtf8(record.message) << "\n";
        }
        nameBackup(command, io.err);
        return exitCodeFor(outcome);
    }
    const std::wstring warnings = concludeSuccessfulConversion(RadioSummary::of(radio), restore);
    if (!session.rereadIdentity()) {
        return reportFailure(io.err, workflowText(kStrConnectFailed), kExitNotConnected);
    }
    io.out << "\nAfter the conversion:\n";
    printIdentity(radio, &Configuration::instance(), io.out);
    io.out << toUtf8(workflowText(successString)) << "\n";
    if (!warnings.empty()) {
        io.err << toUtf8(WorkflowOutcome::of(kStrConvertWarnings, MessageIcon::Warning, warnings)
                             .text())
               << "\n";
    }
    if (!command.lastBackupPath().empty()) {
        io.out << "The radio's personality was saved to " << command.lastBackupPath().string()
               << "\n";
    }
    return kExitOk;
}

int runConvert(const ConvertOptions& options, CommandIo& io) {
    const InstallPaths paths = InstallPaths::resolve(options.install);
    if (const int code = prepareCommand(paths, CommandNeeds::Installation, io.err);
        code != kExitOk) {
        return code;
    }
    const RadioFrame frame{.backend = options.backend,
                           .probe = RadioSession::Probe::Convert,
                           .traceFile = options.traceFile};
    return runOnRadio(frame, paths, io.err, [&](RadioSession& session) {
        io.out << "Before the conversion:\n";
        printIdentity(session.radio(), &Configuration::instance(), io.out);
        return convertRadio(options, paths, session, io);
    });
}

void addConvertCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* command = app.add_subcommand(
        "convert", "Convert the radio on the programming cable to the region's model");
    command->add_flag("--keep-personality", options->keepPersonality,
                      "keep the owner's user information and contacts across the conversion");
    command->add_flag("--yes", options->yes, "convert without asking for confirmation");
    addRadioOptions(*command, options->backend, options->install, &options->traceFile);
    command->footer(kExitCodeHelp);
    setRadioAction(*command, exitCode,
                   [options](CommandIo& io) { return runConvert(*options, io); });
}

}  // namespace plugshift
