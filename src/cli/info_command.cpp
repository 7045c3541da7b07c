#include "cli/info_command.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>

#include "config/configuration.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "radio/sbep.h"
#include "radio/tty_d2xx.h"
#include "sim/sim_d2xx.h"
#include "tasks/radio_info.h"
#include "tasks/radio_manager.h"

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
    "     radio type as N/A)\n"
    "  100 and above: the command line could not be read\n";

namespace {

// The main window's texts, by their string-table numbers.
constexpr const wchar_t* kSeveralCables =  // 113
    L"There are %d USB conections. Please remove the unused and keep one connection only.";
constexpr const char* kToggleCable = "Please toggle the USB cable to DIGITAL (Flash) mode.";  // 4
constexpr const char* kCableUnsupported = "The USB cable is unsupported.";                    // 136
constexpr const char* kFailedToConnect = "Failed to connect radio.";                          // 143
constexpr const char* kModelNotSupported = "The tool does not support this radio.";           // 145
constexpr const wchar_t* kSeries = L"%ls Series";                                             // 121
constexpr const char* kNotAvailable = "N/A";                                                  // 175

constexpr const char* kNoCable = "No programming cable found.";

// The shipped files sit in the folder "data" of their folders.
constexpr const char* kFilesFolder = "data";
constexpr const char* kProductFolder = "Kestrelon/KMV Plugshift PERU";

struct InfoOptions {
    std::string port;
    bool simulate = false;
    std::string installDir;
    std::string dataDir;
    bool json = false;
};

struct Row {
    const char* label;
    const char* key;
    std::optional<std::wstring> value;  // none: shown as N/A
};

// The message, then why, root cause first; the chain is left empty.
int fail(std::ostream& err, const std::string& message, int exitCode) {
    err << message << "\n";
    for (const ErrorRecord& record : ErrorChain::records()) {
        err << "  " << toUtf8(record.message) << "\n";
    }
    ErrorChain::remove(0);
    return exitCode;
}

// An empty text shows as N/A, like none.
std::optional<std::wstring> shown(std::optional<std::wstring> text) {
    return text && !text->empty() ? text : std::nullopt;
}

std::optional<std::wstring> radioType(const Configuration* configuration,
                                      const std::wstring& model) {
    ModelEntry entry;
    if (configuration == nullptr || !configuration->getModel(model, entry)) {
        return std::nullopt;
    }
    return formatWide(kSeries, entry.type.c_str());
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
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

void print(const std::vector<Row>& rows, const InfoOutput& output) {
    if (output.json) {
        output.out << "{";
        for (size_t i = 0; i < rows.size(); ++i) {
            output.out << (i == 0 ? "\n  " : ",\n  ") << jsonString(rows[i].key) << ": "
                       << (rows[i].value ? jsonString(toUtf8(*rows[i].value)) : "null");
        }
        output.out << "\n}\n";
        return;
    }
    for (const Row& row : rows) {
        const std::string label = std::string(row.label) + ":";
        output.out << label << std::string(label.size() < 18 ? 18 - label.size() : 1, ' ')
                   << (row.value ? toUtf8(*row.value) : kNotAvailable) << "\n";
    }
}

std::filesystem::path defaultInstallDir() {
    std::error_code ec;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path("..") : program.parent_path() / "..";
}

// Where the desktop application keeps its setup file: the user's data folder.
std::filesystem::path defaultDataDir() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    std::filesystem::path base;
    if (xdg != nullptr && std::filesystem::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        base = std::filesystem::path(home != nullptr ? home : "") / ".local/share";
    }
    return base / kProductFolder;
}

int runInfo(const InfoOptions& options) {
    std::wstring problem;
    const Configuration* configuration = &Configuration::instance();
    const auto installDir = options.installDir.empty() ? defaultInstallDir()
                                                       : std::filesystem::path(options.installDir);
    const auto dataDir =
        options.dataDir.empty() ? defaultDataDir() : std::filesystem::path(options.dataDir);
    if (!loadInstallation(installDir, dataDir)) {
        problem = ErrorChain::firstMessage();
        ErrorChain::remove(0);
        configuration = nullptr;
    }
    const InfoOutput output{std::cout, std::cerr, options.json};
    if (options.simulate) {
        SimD2xx driver;
        return showRadioInfo(driver, configuration, problem, output);
    }
    if (!options.port.empty()) {
        const auto driver = TtyD2xx::forDevice(options.port);
        return showRadioInfo(*driver, configuration, problem, output);
    }
    TtyD2xx driver;
    return showRadioInfo(driver, configuration, problem, output);
}

}  // namespace

bool loadInstallation(const std::filesystem::path& installDir,
                      const std::filesystem::path& dataDir) {
    Configuration& configuration = Configuration::instance();
    configuration.reset();
    return configuration.createDocument() &&
           configuration.load(fromUtf8((installDir / kFilesFolder / "config.xml").string()),
                              fromUtf8((dataDir / kFilesFolder / "setup.dat").string()));
}

int showRadioInfo(D2xx& driver, const Configuration* configuration,
                  const std::wstring& configurationProblem, InfoOutput output) {
    RadioManager manager(driver);
    RadioInfo& radio = manager.radioInfo();
    int firstIndex = -1;
    const int cables = radio.port() != nullptr ? radio.port()->countCables(firstIndex) : 0;
    if (cables == 0) {
        return fail(output.err, kNoCable, kInfoNoCable);
    }
    if (cables > 1) {
        return fail(output.err, toUtf8(formatWide(kSeveralCables, cables)), kInfoSeveralCables);
    }
    if (!manager.connect(true)) {
        return fail(output.err, kFailedToConnect, kInfoNotConnected);
    }
    switch (radio.probeCable()) {
        case SBEP::kCableEcho:
            manager.connect(false);
            return fail(output.err, kToggleCable, kInfoCableWrongMode);
        case SBEP::kCableUnsupported:
            manager.connect(false);
            return fail(output.err, kCableUnsupported, kInfoCableUnsupported);
        default:
            break;
    }
    // A cable in its digital mode answers the probe with silence, which leaves a failed read
    // behind that is no fault.
    ErrorChain::remove(0);
    const bool read = radio.readIdentity();
    manager.connect(false);
    if (!read) {
        return fail(output.err, kFailedToConnect, kInfoNotConnected);
    }

    const std::wstring model = RadioInfo::modelText(radio.model()).value_or(L"");
    print(
        {{"Radio type", "radioType", radioType(configuration, model)},
         {"Region code", "regionCode", shown(RadioInfo::regionText(radio.regionCode()))},
         {"Model", "model", shown(RadioInfo::modelText(radio.model()))},
         {"Serial number", "serialNumber", shown(RadioInfo::serialText(radio.serialValue()))},
         {"Firmware version", "firmwareVersion",
          shown(RadioInfo::versionText(radio.firmwareVersion()))},
         {"Codeplug version", "codeplugVersion",
          shown(RadioInfo::versionText(radio.codeplugVersion()))},
         {"Keypad version", "keypadVersion", shown(RadioInfo::versionText(radio.keypadVersion()))},
         {"User private ID", "userPrivateId",
          shown(RadioInfo::userPrivateIdText(radio.userPrivateId()))}},
        output);

    if (configuration == nullptr) {
        output.err << "The configuration could not be loaded, so the radio type is not known and "
                      "the model was not checked:\n  "
                   << toUtf8(configurationProblem) << "\n";
        return kInfoNoConfiguration;
    }
    if (!configuration->hasModel(model)) {
        return fail(output.err, kModelNotSupported, kInfoModelNotSupported);
    }
    return kInfoOk;
}

void addInfoCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command =
        app.add_subcommand("info", "Read the identity of the radio on the programming cable");
    CLI::Option* port = command->add_option(
        "--port", options->port,
        "the serial device of the cable (a /dev/ttyUSB* or kmv-sim's terminal), used as the "
        "only cable");
    CLI::Option* simulate =
        command->add_flag("--simulate", options->simulate, "read the in-process simulated radio");
    port->excludes(simulate);
    command->add_option("--install-dir", options->installDir,
                        "the installation: its data/config.xml names the models (default: the "
                        "program's folder/..)");
    command->add_option("--data-dir", options->dataDir,
                        "the folder of data/setup.dat (default: $XDG_DATA_HOME or "
                        "~/.local/share, then Kestrelon/KMV Plugshift PERU)");
    command->add_flag("--json", options->json,
                      "print the identity as one JSON object; a value without text is null");
    command->footer(kInfoExitCodes);
    command->callback([&exitCode, options] { exitCode = runInfo(*options); });
}

}  // namespace plugshift
