#include "cli/info_command.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <optional>
#include <vector>

#include "cable/cable_backend.h"
#include "cli/exit_codes.h"
#include "cli/next_command.h"
#include "cli/radio_session.h"
#include "config/configuration.h"
#include "conversion/conversion_record.h"
#include "conversion/convert_decisions.h"
#include "conversion/convert_workflow.h"
#include "conversion/log_folder.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"

namespace plugshift {

const char* const kInfoExitCodes =
    "Exit codes:\n"
    "  0  the identity was read and the model is one the installation knows\n"
    "  1  no programming cable is plugged in\n"
    "  2  more than one programming cable is plugged in\n"
    "  3  the radio could not be connected or its identity could not be read\n"
    "  4  the cable is not in its DIGITAL (Flash) mode\n"
    "  5  the cable is not supported\n"
    "  6  the tool does not support this radio's model (the identity is printed)\n"
    "  7  the installation's configuration could not be loaded (the identity is printed, the\n"
    "     radio type as N/A), or the conversion record cannot be read\n"
    "  8  the radio's last conversion did not end (the conversion record says so): finish it\n"
    "     with `plugshift-cli convert`\n"
    "  100 and above: the command line could not be read\n";

namespace {

struct InfoOptions {
    BackendOptions backend;
    InstallOptions install;
    bool json = false;
};

// The radio's unfinished conversion, when the data folder's record shows one; false (the
// message in `problem`) when the record cannot be read.
bool unfinishedOf(const RadioInfo& radio, const InfoOutput& output,
                  std::optional<ConversionRecord::Conversion>& unfinished, std::wstring& problem) {
    if (output.dataDir.empty()) {
        return true;
    }
    WorkflowOutcome outcome;
    if (!ConvertWorkflow::lookUpUnfinished(ConversionRecord(output.dataDir), radio, unfinished,
                                           outcome)) {
        problem = outcome.text();
        return false;
    }
    return true;
}

void tellUnfinished(const ConversionRecord::Conversion& unfinished, const InfoOutput& output) {
    output.err << "The last conversion of this radio did not end (started "
               << LogFolder::shownTime(unfinished.start) << ", "
               << ConversionRecord::resultName(unfinished.result)
               << "); the radio may be half-written.\n"
               << (unfinished.backup.empty() ? std::string("Its personality was not kept.")
                                             : "Its personality backup: " + unfinished.backup)
               << "\nFinish it with: "
               << (output.finishCommand.empty() ? std::string("plugshift-cli convert --yes")
                                                : output.finishCommand)
               << "\n";
}

// What the command shows once the session is open.
int describeRadio(RadioSession& session, const Configuration* configuration,
                  const std::wstring& configurationProblem, const InfoOutput& output) {
    session.disconnect();
    std::optional<ConversionRecord::Conversion> unfinished;
    std::wstring recordProblem;
    const bool recordRead = unfinishedOf(session.radio(), output, unfinished, recordProblem);
    if (!recordRead && !session.identityComplete()) {
        // A radio that answers only its serial number may be one the record would explain.
        return reportFailure(output.err, recordProblem, kInfoNoConfiguration);
    }
    if (!unfinished && !session.identityComplete()) {
        return reportFailure(output.err, workflowText(kStrConnectFailed), kInfoNotConnected);
    }
    std::vector<IdentityRow> extra;
    // In JSON always there (null for none), so a script can rely on the key.
    if (!output.dataDir.empty() && (unfinished || output.json)) {
        extra.push_back({"Unfinished conversion", "unfinishedConversion",
                         unfinished ? std::optional(fromUtf8(unfinished->start)) : std::nullopt});
    }
    printIdentity(session.radio(), configuration, output.out, output.json, extra);
    if (unfinished) {
        // The records of a radio that answered only its serial number tell why.
        ErrorChain::remove(kErrorOk);
        tellUnfinished(*unfinished, output);
        return kInfoUnfinishedConversion;
    }
    if (!recordRead) {
        return reportFailure(output.err, recordProblem, kInfoNoConfiguration);
    }

    if (configuration == nullptr) {
        output.err << "The configuration could not be loaded, so the radio type is not known and "
                      "the model was not checked:\n  "
                   << toUtf8(configurationProblem) << "\n";
        return kInfoNoConfiguration;
    }
    WorkflowOutcome outcome;
    if (!checkModelConfigured(*configuration, session.radio().modelNumber(), outcome)) {
        return reportFailure(output.err, outcome.text(), kInfoModelNotSupported);
    }
    return kInfoOk;
}

// The identity is read even without a data folder or a configuration; both are only reported.
int runInfo(const InfoOptions& options) {
    std::wstring problem;
    const Configuration* configuration = &Configuration::instance();
    const InstallPaths paths = InstallPaths::resolve(options.install);
    std::string folderProblem;
    if (!prepareDataFolder(paths, folderProblem)) {
        std::cerr << folderProblem << "\n";
    }
    if (!loadInstallation(paths, problem)) {
        configuration = nullptr;
    }
    const InfoOutput output{std::cout, std::cerr, options.json, paths.dataDir,
                            NextCommand(options.backend, paths).finish()};
    const RadioFrame frame{.backend = options.backend,
                           .probe = RadioSession::Probe::Info,
                           .cableFailure = kInfoNotConnected,
                           .identity = RadioSession::Identity::FullOrSerial};
    return runOnRadio(frame, paths, std::cerr, [&](RadioSession& session) {
        return describeRadio(session, configuration, problem, output);
    });
}

}  // namespace

int showRadioInfo(D2xx& driver, const Configuration* configuration,
                  const std::wstring& configurationProblem, InfoOutput output) {
    RadioSession session(driver);
    const int opened =
        session.open(RadioSession::Probe::Info, output.err, RadioSession::Identity::FullOrSerial);
    if (opened != kExitOk) {
        return opened;
    }
    return describeRadio(session, configuration, configurationProblem, output);
}

void addInfoCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command =
        app.add_subcommand("info", "Read the identity of the radio on the programming cable");
    addRadioOptions(*command, options->backend, options->install);
    command->add_flag("--json", options->json,
                      "print the identity as one JSON object; a value without text is null");
    command->footer(kInfoExitCodes);
    command->callback([&exitCode, options] { exitCode = runInfo(*options); });
}

}  // namespace plugshift
