#include "cli/convert_command.h"

#include <CLI/CLI.hpp>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/command_runner.h"
#include "cli/console_prompt.h"
#include "cli/exit_codes.h"
#include "cli/progress_bar.h"
#include "config/configuration.h"
#include "conversion/convert_decisions.h"
#include "conversion/convert_radio.h"
#include "conversion/recorded_run.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/stop_request.h"
#include "platform/system_files.h"
#include "radio/sbep.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

constexpr int kProgressScale = 100;

constexpr const char* kNeedsConfirmation =
    "Not converted: the conversion must be confirmed on a terminal, or with --yes.";
constexpr const char* kDeclined = "Not converted; the radio is unchanged.";
constexpr const char* kNeedsFinishConfirmation =
    "Not converted: finishing the conversion must be confirmed on a terminal, or with --yes.";

int exitCodeFor(const WorkflowOutcome& outcome) {
    switch (outcome.stringId) {
        case kStrRadioUnsupported:
            return kExitModelNotSupported;
        case kStrFileProblem:
        case kStrBackupNotSaved:
        case kStrNotRecorded:
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

// What a stop (Ctrl-C, SIGTERM) writes at once; the run then ends at its request's end.
constexpr const char* kStopNotice =
    "\nStop requested: the conversion stops at the end of the request on the line.\n";

std::string pathText(const std::string& utf8) {
    return utf8.empty() ? std::string("none") : utf8;
}

// After a run that got as far as its record and did not convert: the radio may be half-written,
// and this is how to bring it back.
void nameWayBack(const RecordedRun& record, std::ostream& err) {
    if (!record.opened()) {
        return;
    }
    const ConversionRecord::Conversion& entry = record.entry();
    err << "The conversion did not end, so the radio may be half-written.\n";
    if (!entry.backup.empty()) {
        err << "The radio's personality was saved to " << entry.backup << "\n";
    }
    err << "To finish the conversion" << (entry.backup.empty() ? "" : " and write it back")
        << ": plugshift-cli convert --yes (with the same --data-dir)\n";
    if (!entry.backup.empty()) {
        err << "or: plugshift-cli restore-personality " << entry.backup << "\n";
    }
}

void describeUnfinished(const ConversionRecord::Conversion& unfinished, std::ostream& out) {
    out << "The last conversion of this radio did not end: started " << unfinished.start << ", "
        << ConversionRecord::resultName(unfinished.result)
        << (unfinished.error.empty() ? "" : ": " + unfinished.error) << ".\n"
        << "Personality backup: " << pathText(unfinished.backup) << "\n";
}

// The radio's last conversion did not end: offer to finish it (--yes accepts) and run it.
int finishConversion(const ConvertOptions& options, const ConversionRecord& record,
                     const ConversionRecord::Conversion& unfinished, RadioSession& session,
                     CommandIo& io) {
    describeUnfinished(unfinished, io.err);
    if (!options.yes) {
        if (!io.prompt.interactive()) {
            io.err << kNeedsFinishConfirmation << "\n";
            return kExitRefused;
        }
        if (!io.prompt.confirm(toUtf8(finishQuestion(unfinished).text()))) {
            io.err << kDeclined << "\n";
            return kExitRefused;
        }
    }
    ConvertRadio command;
    WorkflowOutcome outcome;
    if (!prepareFinish(Configuration::instance(), unfinished, command, session.radio(),
                       kProgressScale, outcome)) {
        return refuseConversion(io.err, outcome);
    }
    std::string reason;
    if (unfinished.result == ConversionRecord::Result::Open &&
        !record.close(unfinished.id, ConversionRecord::Result::Interrupted, {}, reason)) {
        io.err << "The conversion record could not be written: " << reason << "\n";
        return kExitFileProblem;
    }
    RecordedRun run(record, RecordedRun::finishing(unfinished));
    const bool withBackup = !unfinished.backup.empty();
    return runPreparedConversion(command, session, withBackup,
                                 withBackup ? kStrPersonalityRestored : kStrConvertDone, io, run);
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
    RecordedRun run(ConversionRecord(paths.dataDir), RecordedRun::identityOf(radio));
    return runPreparedConversion(command, session, options.keepPersonality, kStrConvertDone, io,
                                 run);
}

}  // namespace

int refuseConversion(std::ostream& err, const WorkflowOutcome& outcome) {
    return reportFailure(err, outcome.text(), exitCodeFor(outcome));
}

int runPreparedConversion(ConvertRadio& command, RadioSession& session, bool restore,
                          int successString, CommandIo& io, RecordedRun& record) {
    RadioInfo& radio = session.radio();
    ProgressBar bar(io.err, io.redrawProgress);
    CommandRunner runner(&bar);
    command.window = runner.window([&command] { return command.stepText(); });
    const std::function<void(std::string)> note = runner.notifier();
    record.attach(command, [&note](const std::filesystem::path& backup) {
        note("The radio's personality was saved to " + utf8FromPath(backup));
    });
    std::atomic<bool> ownStop{false};
    std::atomic<bool>& stop = io.stop != nullptr ? *io.stop : ownStop;
    catchStopRequests(stop, kStopNotice);
    if (radio.sbep() != nullptr) {
        radio.sbep()->setStopSignal(&stop);
    }
    // What the opening left in the chain is no cause of this run's failure.
    ErrorChain::remove(kErrorOk);
    const bool converted = runner.run(command);
    releaseStopRequests();
    if (radio.sbep() != nullptr) {
        radio.sbep()->setStopSignal(nullptr);
    }
    record.finish(command, stop.load());
    if (!converted) {
        const std::vector<ErrorRecord> causes = ErrorChain::records();
        WorkflowOutcome outcome =
            concludeFailedConversion(command, RadioSummary::of(radio), restore, radio.frameRing());
        if (record.notRecorded()) {
            outcome = WorkflowOutcome::of(kStrNotRecorded, MessageIcon::Error,
                                          fromUtf8(utf8FromPath(record.record().folder())));
        }
        io.err << toUtf8(outcome.text()) << "\n";
        for (const ErrorRecord& record : causes) {
            io.err << "  " << toUtf8(record.message) << "\n";
        }
        nameWayBack(record, io.err);
        return exitCodeFor(outcome);
    }
    const std::wstring warnings = concludeSuccessfulConversion(RadioSummary::of(radio), restore);
    if (session.rereadIdentity()) {
        io.out << "\nAfter the conversion:\n";
        printIdentity(radio, &Configuration::instance(), io.out);
    }
    io.out << toUtf8(workflowText(successString)) << "\n";
    if (!radio.infoValid()) {
        // The conversion is done and recorded as such; only the look at the result failed.
        ErrorLog::write(L"The radio could not be read again after its conversion:\n%ls",
                        ErrorChain::text().c_str());
        reportFailure(io.err, workflowText(kStrConvertedNotReread), kExitOk);
    }
    if (!warnings.empty()) {
        io.err << toUtf8(WorkflowOutcome::of(kStrConvertWarnings, MessageIcon::Warning, warnings)
                             .text())
               << "\n";
    }
    if (!record.entry().backup.empty()) {
        io.out << "The radio's personality was saved to " << record.entry().backup << "\n";
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
                           .traceFile = options.traceFile,
                           .identity = RadioSession::Identity::FullOrSerial};
    return runOnRadio(frame, paths, io.err, [&](RadioSession& session) {
        const ConversionRecord record(paths.dataDir);
        const std::optional<ConversionRecord::Conversion> unfinished = record.unfinishedFor(
            toUtf8(RadioInfo::serialText(session.radio().serialValue()).value_or(L"")));
        if (unfinished) {
            return finishConversion(options, record, *unfinished, session, io);
        }
        if (!session.identityComplete()) {
            session.disconnect();
            return reportFailure(io.err, workflowText(kStrConnectFailed), kExitNotConnected);
        }
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
