#include "cli/radio_session.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "cable/cable_backend.h"
#include "cli/console_prompt.h"
#include "cli/exit_codes.h"
#include "cli/frame_trace.h"
#include "config/configuration.h"
#include "config/provision_setup_file.h"
#include "conversion/workflow_outcome.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/process_environment.h"
#include "platform/system_files.h"
#include "radio/sbep.h"
#include "sim/sim_faults.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace fs = std::filesystem;

namespace {

// --port, --simulate, --sim-fault and --sim-cable.
void addBackendOptions(CLI::App& command, BackendOptions& options) {
    CLI::Option* port =
        command
            .add_option(BackendOptions::kPort, options.port,
                        "the serial port of the cable (a /dev/ttyUSB*, kmv-sim's terminal, or "
                        "COMn on Windows), used as the only cable")
            // An empty name would fall back to looking for cables, and say none was found.
            ->check(CLI::Validator(
                [](std::string& name) {
                    return name.empty() ? std::string(
                                              "the port name is empty; give the cable's "
                                              "serial port (a /dev/ttyUSB* or COMn)")
                                        : std::string();
                },
                "PORT"));
    CLI::Option* simulate = command.add_flag(
        BackendOptions::kSimulate, options.simulate,
        "use the in-process simulated radio, kept in the data folder between commands");
    port->excludes(simulate);
    command
        .add_option("--sim-fault", options.simFaults,
                    "with --simulate: a fault to inject, as kmv-sim --fault takes it (repeatable; "
                    "kmv-sim --list-faults lists them)")
        ->check(CLI::Validator(
            [](std::string& text) {
                return SimFaults::parse(text) ? std::string()
                                              : "not a fault; kmv-sim --list-faults lists them";
            },
            "FAULT"))
        ->needs(simulate);
    command
        .add_option("--sim-cable", options.simCable,
                    "with --simulate: the cable's mode (digital, echo, unsupported)")
        ->check(CLI::IsMember({"digital", "echo", "unsupported"}))
        ->needs(simulate);
}

// The shipped files sit in the folder "data" of their folders.
constexpr const char* kFilesFolder = "data";

constexpr const wchar_t* kNoCable = L"No programming cable found.";
using Row = IdentityRow;

std::wstring text(int stringId, MessageIcon icon, std::wstring argument = {}) {
    return WorkflowOutcome::of(stringId, icon, std::move(argument)).text();
}

// An empty text shows as N/A, like none.
std::optional<std::wstring> shown(std::optional<std::wstring> value) {
    return value && !value->empty() ? value : std::nullopt;
}

std::optional<std::wstring> radioType(const Configuration* configuration,
                                      const std::wstring& model) {
    ModelEntry entry;
    if (configuration == nullptr || !configuration->getModel(model, entry)) {
        return std::nullopt;
    }
    return text(kStrSeries, MessageIcon::None, entry.type);
}

std::string jsonString(const std::string& value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The row of an identity value: its text, and its bytes when they are erased flash.
Row identityRow(const char* label, const char* key, std::optional<std::wstring> text,
                std::span<const uint8_t> bytes) {
    std::string erased;
    if (RadioInfo::isErased(bytes)) {
        for (uint8_t byte : bytes) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned>(byte));
            erased += hex;
        }
    }
    return Row{label, key, shown(std::move(text)), erased};
}

void printRows(const std::vector<Row>& rows, std::ostream& out, bool json) {
    if (json) {
        out << "{";
        for (size_t i = 0; i < rows.size(); ++i) {
            out << (i == 0 ? "\n  " : ",\n  ") << jsonString(rows[i].key) << ": "
                << (rows[i].value ? jsonString(toUtf8(*rows[i].value)) : "null");
            if (!rows[i].erasedBytes.empty()) {
                out << ",\n  " << jsonString(std::string(rows[i].key) + "Bytes") << ": "
                    << jsonString(rows[i].erasedBytes);
            }
        }
        out << "\n}\n";
        return;
    }
    const std::string notAvailable = toUtf8(workflowText(kStrNotAvailable));
    for (const Row& row : rows) {
        const std::string label = std::string(row.label) + ":";
        out << label << std::string(label.size() < 18 ? 18 - label.size() : 1, ' ')
            << (row.value ? toUtf8(*row.value) : notAvailable) << "\n";
    }
}

}  // namespace

void InstallPaths::addOptions(CLI::App& command, InstallOptions& options) {
    command.add_option("--install-dir", options.installDir,
                       "the installation: its data/config.xml names the models and files "
                       "(default: the program's folder/..)");
    command.add_option("--data-dir", options.dataDir,
                       "the data folder: data/setup.dat, log/err.log, backup/ (default: "
                       "Kestrelon/KMV Plugshift PERU in $XDG_DATA_HOME or ~/.local/share on "
                       "Linux, in C:\\ProgramData on Windows)");
}

InstallPaths InstallPaths::resolve(const InstallOptions& options) {
    // Absolute from here on: the record and the commands printed for later name files on their
    // own, whatever folder the next command runs in.
    const auto absolute = [](const fs::path& path) {
        std::error_code ec;
        const fs::path whole = fs::absolute(path, ec);
        return ec ? path : whole.lexically_normal();
    };
    return InstallPaths{
        absolute(options.installDir.empty() ? installationFolder()
                                            : pathFromUtf8(options.installDir)),
        absolute(options.dataDir.empty() ? defaultDataDir() : pathFromUtf8(options.dataDir))};
}

fs::path InstallPaths::defaultDataDir() {
    return productDataFolder(dataFolderRoot());
}

fs::path InstallPaths::configFile() const {
    return installDir / kFilesFolder / "config.xml";
}

fs::path InstallPaths::setupFile() const {
    return dataDir / kFilesFolder / "setup.dat";
}

fs::path InstallPaths::backupFolder() const {
    return dataDir / "backup";
}

void addRadioOptions(CLI::App& command, BackendOptions& backend, InstallOptions& install,
                     std::string* traceFile) {
    addBackendOptions(command, backend);
    InstallPaths::addOptions(command, install);
    if (traceFile != nullptr) {
        command.add_option("--trace", *traceFile,
                           "write every SBEP frame to this file, one time-stamped hex line each");
    }
}

void setRadioAction(CLI::App& command, int& exitCode, std::function<int(CommandIo&)> run) {
    command.callback([&exitCode, run = std::move(run)] {
        ConsolePrompt prompt = ConsolePrompt::standard();
        CommandIo io{std::cin, std::cout, std::cerr, prompt,
                     prepareTerminalOutput(StandardStream::kError)};
        exitCode = run(io);
    });
}

bool prepareDataFolder(const InstallPaths& paths, std::string& problem) {
    std::error_code ec;
    fs::create_directories(paths.dataDir, ec);
    if (ec) {
        problem =
            "Cannot create the data folder " + utf8FromPath(paths.dataDir) + ": " + ec.message();
        return false;
    }
    ErrorLog::setDirectory(fromUtf8(utf8FromPath(paths.dataDir)));
    provisionSetupFile(fromUtf8(utf8FromPath(paths.installDir)),
                       fromUtf8(utf8FromPath(paths.dataDir)));
    return true;
}

bool loadInstallation(const InstallPaths& paths, std::wstring& problem) {
    Configuration& configuration = Configuration::instance();
    configuration.reset();
    if (!configuration.createDocument() ||
        !configuration.load(fromUtf8(utf8FromPath(paths.configFile())),
                            fromUtf8(utf8FromPath(paths.setupFile())))) {
        ErrorLog::write(L"%ls", ErrorChain::firstMessage().c_str());
        // The root cause first, then what the configuration added about the file.
        problem.clear();
        for (const ErrorRecord& record : ErrorChain::records()) {
            problem += (problem.empty() ? L"" : L"\n  ") + record.message;
        }
        ErrorChain::remove(kErrorOk);
        return false;
    }
    if (!configuration.servesRegion(problem)) {
        ErrorLog::write(L"%ls", problem.c_str());
        return false;
    }
    return true;
}

int reportFailure(std::ostream& err, const std::wstring& message, int exitCode) {
    err << toUtf8(message) << "\n";
    for (const ErrorRecord& record : ErrorChain::records()) {
        err << "  " << toUtf8(record.message) << "\n";
    }
    ErrorChain::remove(kErrorOk);
    return exitCode;
}

int prepareCommand(const InstallPaths& paths, CommandNeeds needs, std::ostream& err) {
    std::string problem;
    if (!prepareDataFolder(paths, problem)) {
        err << problem << "\n";
        return kExitFileProblem;
    }
    std::wstring configProblem;
    if (needs == CommandNeeds::Installation && !loadInstallation(paths, configProblem)) {
        err << toUtf8(workflowText(kStrFileProblem)) << "\n  " << toUtf8(configProblem) << "\n";
        return kExitFileProblem;
    }
    return kExitOk;
}

int runOnRadio(const RadioFrame& frame, const InstallPaths& paths, std::ostream& err,
               const std::function<int(RadioSession&)>& work) {
    std::string problem;
    const auto backend = CableBackend::open(frame.backend, paths.dataDir, problem);
    if (!backend) {
        err << problem << "\n";
        // A named port fails here only when it is none: no cable, as a script reads it.
        return frame.backend.port.empty() ? frame.cableFailure : kExitNoCable;
    }
    FrameTrace trace;
    if (!frame.traceFile.empty() && !trace.open(frame.traceFile, problem)) {
        err << problem << "\n";
        return kExitFileProblem;
    }
    int exitCode = kExitOk;
    {
        RadioSession session(backend->driver());
        if (!frame.traceFile.empty() && session.radio().sbep() != nullptr) {
            trace.attach(*session.radio().sbep());
        }
        exitCode = session.open(frame.probe, err, frame.identity);
        if (exitCode == kExitOk) {
            exitCode = work(session);
        }
    }
    if (!backend->save(problem)) {
        err << problem << "\n";
    }
    return exitCode;
}

RadioSession::RadioSession(D2xx& driver) : manager_(driver) {}

RadioSession::~RadioSession() {
    disconnect();
}

bool RadioSession::removeExtraCables(int) {
    // A script cannot pull a cable: the command refuses instead.
    return false;
}

int RadioSession::open(Probe probe, std::ostream& err, Identity identity) {
    const RadioOpening::Result result = RadioOpening(manager_, this).open(probe, identity);
    identityComplete_ = result.identityComplete;
    switch (result.step) {
        case RadioOpening::Step::Opened:
            return kExitOk;
        case RadioOpening::Step::NoCable:
            return reportFailure(err, kNoCable, kExitNoCable);
        case RadioOpening::Step::SeveralCables:
            return reportFailure(err, result.outcome.text(), kExitSeveralCables);
        case RadioOpening::Step::CableWrongMode:
            return reportFailure(err, result.outcome.text(), kExitCableWrongMode);
        case RadioOpening::Step::CableUnsupported:
            return reportFailure(err, result.outcome.text(), kExitCableUnsupported);
        case RadioOpening::Step::NotConnected:
        case RadioOpening::Step::IdentityUnread:
            break;
    }
    return reportFailure(err, result.outcome.text(), kExitNotConnected);
}

bool RadioSession::rereadIdentity() {
    return radio().readIdentity();
}

void RadioSession::disconnect() {
    manager_.connect(false);
}

void printIdentity(const RadioInfo& radio, const Configuration* configuration, std::ostream& out,
                   bool json, const std::vector<IdentityRow>& extra) {
    std::vector<Row> rows = {
        {"Radio type", "radioType", radioType(configuration, radio.modelNumber())},
        {"Region code", "regionCode", shown(RadioInfo::regionText(radio.regionCode()))},
        identityRow("Model", "model", RadioInfo::modelText(radio.model()), radio.model()),
        identityRow("Serial number", "serialNumber", RadioInfo::serialText(radio.serialValue()),
                    radio.serialValue()),
        identityRow("Firmware version", "firmwareVersion",
                    RadioInfo::versionText(radio.firmwareVersion()), radio.firmwareVersion()),
        identityRow("Codeplug version", "codeplugVersion",
                    RadioInfo::versionText(radio.codeplugVersion()), radio.codeplugVersion()),
        identityRow("Keypad version", "keypadVersion",
                    RadioInfo::versionText(radio.keypadVersion()), radio.keypadVersion()),
        identityRow("User private ID", "userPrivateId",
                    RadioInfo::userPrivateIdText(radio.userPrivateId()),
                    std::span(radio.userPrivateId()).first(RadioInfo::kUserPrivateIdNumberSize))};
    rows.insert(rows.end(), extra.begin(), extra.end());
    printRows(rows, out, json);
}

}  // namespace plugshift
