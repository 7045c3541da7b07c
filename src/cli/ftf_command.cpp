#include "cli/ftf_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>

#include "cli/own_input.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "formats/codeplug_image.h"
#include "formats/file_bytes.h"
#include "formats/flash_report.h"
#include "formats/ftf_image.h"
#include "formats/ftf_writer.h"
#include "platform/system_files.h"

namespace plugshift {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;

// The largest body `ftf pack` takes; far above any codeplug, as for the reader.
constexpr uint64_t kMaxBodySize = 256u << 20;

// Prints the chain's messages under the name of what failed, and empties the chain.
int reportChain(std::ostream& err, const std::string& what) {
    err << what << ":\n" << toUtf8(ErrorChain::text());
    ErrorChain::remove(kErrorOk);
    return kExitFailed;
}

bool writeOutput(const std::string& path, std::span<const uint8_t> bytes) {
    std::wstring reason;
    if (!writeWholeFile(fromUtf8(path), bytes, reason)) {
        ErrorChain::add(kErrorFile, L"Error:failed to write file [%ls]: %ls.",
                        fromUtf8(path).c_str(), reason.c_str());
        return false;
    }
    return true;
}

// The type decides which prefix fields a file has; a missing one, or one of another type, is
// a mistake worth stopping for.
bool packFields(const FtfPackOptions& o, FtfFields& fields, std::ostream& err) {
    fields.type = o.type;
    fields.internalName = fromUtf8(o.name);
    if (!parseFtfVersion(fromUtf8(o.version), fields)) {
        err << "--version: expected a letter and two numbers, as R01.02\n";
        return false;
    }
    const bool versioned = o.type >= kFtfModelPrefix && o.type <= kFtfVersionPrefix2;
    if (versioned != o.codeplugVersion.has_value() ||
        (o.type == kFtfModelPrefix) != o.model.has_value() ||
        (o.type == kFtfRegionPrefix) != o.region.has_value()) {
        err << "type 0 takes --codeplug-version and --model, types 1 and 2 --codeplug-version, "
               "type 3 --region\n";
        return false;
    }
    if (o.codeplugVersion &&
        !parseCodeplugVersion(fromUtf8(*o.codeplugVersion), fields.codeplugVersion)) {
        err << "--codeplug-version: expected a version as R01.02.30, or a number\n";
        return false;
    }
    fields.modelNumber = fromUtf8(o.model.value_or(""));
    fields.regionName = fromUtf8(o.region.value_or(""));
    return true;
}

void addInfo(CLI::App& ftf, int& exitCode) {
    auto files = std::make_shared<std::vector<std::string>>();
    CLI::App* info = ftf.add_subcommand("info", "Show the header of flash files");
    info->add_option("files", *files, "Flash files")->required();
    info->callback([files, &exitCode] { exitCode = ftfInfo(*files, std::cout, std::cerr); });
}

void addVerify(CLI::App& ftf, int& exitCode) {
    auto files = std::make_shared<std::vector<std::string>>();
    CLI::App* verify =
        ftf.add_subcommand("verify", "Check signature, digest and lengths of flash files");
    verify->add_option("files", *files, "Flash files")->required();
    verify->callback([files, &exitCode] { exitCode = ftfVerify(*files, std::cout, std::cerr); });
}

void addUnpack(CLI::App& ftf, int& exitCode) {
    auto paths = std::make_shared<std::pair<std::string, std::string>>();
    CLI::App* unpack = ftf.add_subcommand("unpack", "Write the unscrambled body of a flash file");
    unpack->add_option("file", paths->first, "Flash file")->required();
    unpack->add_option("-o,--output", paths->second, "Body file to write")->required();
    unpack->callback(
        [paths, &exitCode] { exitCode = ftfUnpack(paths->first, paths->second, std::cerr); });
}

void addPack(CLI::App& ftf, int& exitCode) {
    auto o = std::make_shared<FtfPackOptions>();
    CLI::App* pack = ftf.add_subcommand("pack", "Build a flash file from a body");
    pack->add_option("--type", o->type, "0 model, 1 or 2 codeplug version, 3 region")
        ->required()
        ->check(CLI::Range(0, 3));
    pack->add_option("--version", o->version, "Header version, as R01.02")->required();
    pack->add_option("--name", o->name, "Internal name")->required();
    pack->add_option("--codeplug-version", o->codeplugVersion, "As R01.02.30, or a number");
    pack->add_option("--model", o->model, "Model number (type 0)");
    pack->add_option("--region", o->region, "Region name (type 3)");
    pack->add_option("body", o->body, "File holding the body")->required();
    pack->add_option("-o,--output", o->output, "Flash file to write")->required();
    pack->callback([o, &exitCode] { exitCode = ftfPack(*o, std::cout, std::cerr); });
}

void addCodeplugBlocks(CLI::App& app, int& exitCode) {
    struct Options {
        std::string addressMap;
        std::string codeplug;
        std::string block;
        std::string directory;
    };
    auto o = std::make_shared<Options>();
    CLI::App* codeplug = app.add_subcommand("codeplug", "Codeplug flash files");
    codeplug->require_subcommand(1);
    CLI::App* blocks = codeplug->add_subcommand(
        "blocks", "Write the block buffers a codeplug fills, each over its whole capacity");
    blocks->add_option("--address-map", o->addressMap, "Address-map flash file")->required();
    blocks->add_option("codeplug", o->codeplug, "Codeplug flash file")->required();
    blocks->add_option("--block", o->block,
                       "Only this block (DYN, HW, CON, ERG, FAC, DEF, BAC, VOI, USERVOI)");
    blocks->add_option("-o,--output", o->directory, "Folder for the block files")->required();
    blocks->callback([o, &exitCode] {
        exitCode = codeplugBlocks(o->addressMap, o->codeplug, o->block, o->directory, std::cout,
                                  std::cerr);
    });
}

}  // namespace

int ftfInfo(const std::vector<std::string>& files, std::ostream& out, std::ostream& err) {
    int exitCode = kExitOk;
    for (const std::string& file : files) {
        FtfSummary summary;
        if (!readFtfSummary(fromUtf8(file), summary)) {
            exitCode = reportChain(err, file);
            continue;
        }
        out << file << ":\n" << toUtf8(formatFtfSummary(summary));
    }
    return exitCode;
}

int ftfVerify(const std::vector<std::string>& files, std::ostream& out, std::ostream& err) {
    int exitCode = kExitOk;
    FtfImage image;
    for (const std::string& file : files) {
        if (!loadFtf(fromUtf8(file).c_str(), image)) {
            exitCode = reportChain(err, file);
            continue;
        }
        out << file << ": OK\n";
    }
    return exitCode;
}

int ftfUnpack(const std::string& file, const std::string& output, std::ostream& err) {
    if (overwritesInput(file, output)) {
        err << ownInputRefusal(output) << "\n";
        return kExitFailed;
    }
    FtfImage image;
    if (!loadFtf(fromUtf8(file).c_str(), image) || !writeOutput(output, image.body())) {
        return reportChain(err, file);
    }
    return kExitOk;
}

int ftfPack(const FtfPackOptions& options, std::ostream& out, std::ostream& err) {
    FtfFields fields;
    if (!packFields(options, fields, err)) {
        return kExitFailed;
    }
    if (overwritesInput(options.body, options.output)) {
        err << ownInputRefusal(options.output) << "\n";
        return kExitFailed;
    }
    std::vector<uint8_t> body;
    const std::wstring bodyPath = fromUtf8(options.body);
    if (readWholeFile(bodyPath, body, kMaxBodySize) != FileReadResult::kOk) {
        ErrorChain::add(kErrorFile, L"Error:failed to read file [%ls].", bodyPath.c_str());
        return reportChain(err, options.body);
    }
    // Read back what was written: a file reported as built is one a conversion accepts.
    const std::wstring output = fromUtf8(options.output);
    FtfImage image;
    if (!writeFtf(output, fields, body) || !loadFtf(output.c_str(), image)) {
        return reportChain(err, options.output);
    }
    if (!std::equal(body.begin(), body.end(), image.body().begin(), image.body().end())) {
        err << options.output << ": the body read back differs from " << options.body << "\n";
        return kExitFailed;
    }
    out << options.output << ": " << body.size() << " body bytes\n";
    return kExitOk;
}

int codeplugBlocks(const std::string& addressMap, const std::string& codeplug,
                   const std::string& block, const std::string& directory, std::ostream& out,
                   std::ostream& err) {
    const int only = block.empty() ? -1 : CodeplugImage::blockKindByName(fromUtf8(block));
    if (!block.empty() && only < 0) {
        err << "--block: no block is named " << block << "\n";
        return kExitFailed;
    }
    CodeplugImage cpg;
    if (!loadCodeplugBlocks(fromUtf8(addressMap), fromUtf8(codeplug), cpg)) {
        return reportChain(err, codeplug);
    }
    out << toUtf8(formatBlockTable(cpg));
    std::error_code ignored;  // a folder that cannot be made fails the first write below
    std::filesystem::create_directories(pathFromUtf8(directory), ignored);
    for (int kind = 0; kind < kBlockKindCount; ++kind) {
        if (only >= 0 && kind != only) {
            continue;
        }
        const std::string path =
            utf8FromPath(pathFromUtf8(directory) /
                         pathFromUtf8(toUtf8(CodeplugImage::blockName(kind)) + ".bin"));
        if (!writeOutput(path, cpg.block(kind).data)) {
            return reportChain(err, path);
        }
    }
    return kExitOk;
}

void addFtfCommand(CLI::App& app, int& exitCode) {
    CLI::App* ftf = app.add_subcommand("ftf", "Inspect, verify, unpack and build flash files");
    ftf->require_subcommand(1);
    addInfo(*ftf, exitCode);
    addVerify(*ftf, exitCode);
    addUnpack(*ftf, exitCode);
    addPack(*ftf, exitCode);
    addCodeplugBlocks(app, exitCode);
}

}  // namespace plugshift
