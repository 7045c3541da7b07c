#include "cli/config_command.h"

#include <filesystem>
#include <iostream>

#include "cli/own_input.h"
#include "cli/radio_session.h"
#include "config/config_file_codec.h"
#include "config/configuration.h"
#include "config/configuration_summary.h"
#include "config/provision_setup_file.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "formats/file_bytes.h"
#include "platform/process_environment.h"
#include "platform/system_files.h"

namespace plugshift {

namespace {

// No installation file comes near this; a larger one is not ours.
constexpr uint64_t kMaxConfigFile = 16u << 20;

struct ConfigOptions {
    std::string file;
    std::string output;
    std::string installDir;
    std::string dataDir;
};

bool isStandardOutput(const std::string& path) {
    return path.empty() || path == "-";
}

// Reading comes first, so an output that is the input would be lost in the write.
bool refusesOwnInput(const ConfigOptions& o) {
    if (isStandardOutput(o.output) || !overwritesInput(o.file, o.output)) {
        return false;
    }
    std::cerr << ownInputRefusal(o.output) << "\n";
    return true;
}

int printChainAndFail() {
    for (const ErrorRecord& record : ErrorChain::records()) {
        std::cerr << toUtf8(errorCategoryLabel(record.category)) << " " << toUtf8(record.message)
                  << "\n";
    }
    ErrorChain::remove(0);
    return 1;
}

bool readInput(const std::string& path, std::string& bytes) {
    std::vector<uint8_t> raw;
    if (readWholeFile(fromUtf8(path), raw, kMaxConfigFile) != FileReadResult::kOk) {
        std::cerr << path << ": cannot be read\n";
        return false;
    }
    bytes.assign(raw.begin(), raw.end());
    return true;
}

bool writeOutput(const std::string& path, const std::string& bytes) {
    if (isStandardOutput(path)) {
        std::cout << bytes;
        return static_cast<bool>(std::cout);
    }
    std::wstring reason;
    std::span<const uint8_t> view(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (!writeWholeFile(fromUtf8(path), view, reason)) {
        std::cerr << path << ": " << toUtf8(reason) << "\n";
        return false;
    }
    return true;
}

int decode(const ConfigOptions& o) {
    std::string bytes;
    std::string text;
    if (refusesOwnInput(o) || !readInput(o.file, bytes)) {
        return 1;
    }
    if (!decodeConfigBytes(bytes, text)) {
        std::cerr << "The code page 1252 converter is not available.\n";
        return 1;
    }
    return writeOutput(o.output, text) ? 0 : 1;
}

int encode(const ConfigOptions& o) {
    std::string text;
    std::string bytes;
    if (refusesOwnInput(o) || !readInput(o.file, text)) {
        return 1;
    }
    if (!encodeConfigText(text, bytes)) {
        std::cerr << o.file << ": not UTF-8 text, or it holds a character code page 1252 cannot "
                  << "store\n";
        return 1;
    }
    return writeOutput(o.output, bytes) ? 0 : 1;
}

int check(const ConfigOptions& o) {
    const std::wstring configPath = fromUtf8(o.installDir + "/data/config.xml");
    const std::wstring setupPath = fromUtf8(o.dataDir + "/data/setup.dat");
    // As the programs start: a new user's data folder gets the installation's setup file.
    ErrorLog::setDirectory(fromUtf8(o.dataDir));
    provisionSetupFile(fromUtf8(o.installDir), fromUtf8(o.dataDir));
    Configuration& config = Configuration::instance();
    if (!config.createDocument() || !config.load(configPath, setupPath)) {
        return printChainAndFail();
    }
    std::cout << toUtf8(describeConfiguration(config));
    return 0;
}

}  // namespace

void addConfigCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ConfigOptions>();
    options->installDir = utf8FromPath(installationFolder());
    options->dataDir = utf8FromPath(InstallPaths::defaultDataDir());
    auto* config = app.add_subcommand("config", "Read, write and check the installation's files");
    config->require_subcommand(1);

    auto* decodeCmd = config->add_subcommand("decode", "Unscramble config.xml or setup.dat to XML");
    decodeCmd->add_option("file", options->file, "scrambled file")->required();
    decodeCmd->add_option("-o,--output", options->output, "where to write (default: stdout)");
    decodeCmd->callback([options, &exitCode] { exitCode = decode(*options); });

    auto* encodeCmd = config->add_subcommand("encode", "Scramble readable XML into a file");
    encodeCmd->add_option("file", options->file, "readable XML (UTF-8)")->required();
    encodeCmd->add_option("-o,--output", options->output, "scrambled file to write")->required();
    encodeCmd->callback([options, &exitCode] { exitCode = encode(*options); });

    auto* checkCmd = config->add_subcommand("check", "Load an installation and summarise it");
    checkCmd->add_option("--install-dir", options->installDir, "folder holding data/config.xml")
        ->capture_default_str();
    checkCmd->add_option("--data-dir", options->dataDir, "folder holding data/setup.dat")
        ->capture_default_str();
    checkCmd->callback([options, &exitCode] { exitCode = check(*options); });
}

}  // namespace plugshift
