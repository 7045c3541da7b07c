#include "cli/ftf_command.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "formats/cpg.h"
#include "formats/file_bytes.h"
#include "formats/flash_report.h"
#include "formats/ftf_image.h"
#include "formats/ftf_writer.h"

namespace plugshift {

namespace {

// The largest body `ftf pack` takes; far above any codeplug, as for the reader.
constexpr uint64_t kMaxBodySize = 256u << 20;

void print(std::ostream& out, const std::wstring& text) {
    out << toUtf8(text);
}

// Prints the chain's messages (newest first, as the chain reads them) and empties it.
void reportChain(const std::string& context) {
    std::cerr << context << ":\n" << toUtf8(ErrorChain::text());
    ErrorChain::remove(kErrorOk);
}

void fail(int& exitCode, const std::string& context) {
    reportChain(context);
    exitCode = 1;
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

void addInfo(CLI::App& ftf, int& exitCode) {
    auto files = std::make_shared<std::vector<std::string>>();
    CLI::App* info = ftf.add_subcommand("info", "Show the header of flash files");
    info->add_option("files", *files, "Flash files")->required();
    info->callback([files, &exitCode] {
        for (const std::string& file : *files) {
            FtfSummary summary;
            if (!readFtfSummary(fromUtf8(file), summary)) {
                fail(exitCode, file);
                continue;
            }
            std::cout << file << ":\n";
            print(std::cout, formatFtfSummary(summary));
        }
    });
}

void addVerify(CLI::App& ftf, int& exitCode) {
    auto files = std::make_shared<std::vector<std::string>>();
    CLI::App* verify =
        ftf.add_subcommand("verify", "Check signature, digest and lengths of flash files");
    verify->add_option("files", *files, "Flash files")->required();
    verify->callback([files, &exitCode] {
        FtfImage image;
        for (const std::string& file : *files) {
            if (!loadFtf(fromUtf8(file).c_str(), image)) {
                fail(exitCode, file);
                continue;
            }
            std::cout << file << ": OK\n";
        }
    });
}

void addUnpack(CLI::App& ftf, int& exitCode) {
    struct Options {
        std::string file;
        std::string output;
    };
    auto options = std::make_shared<Options>();
    CLI::App* unpack = ftf.add_subcommand("unpack", "Write the unscrambled body of a flash file");
    unpack->add_option("file", options->file, "Flash file")->required();
    unpack->add_option("-o,--output", options->output, "Body file to write")->required();
    unpack->callback([options, &exitCode] {
        FtfImage image;
        if (!loadFtf(fromUtf8(options->file).c_str(), image) ||
            !writeOutput(options->output, image.body())) {
            fail(exitCode, options->file);
        }
    });
}

struct PackOptions {
    int type = 0;
    std::string version;
    std::string name;
    std::optional<std::string> codeplugVersion;
    std::optional<std::string> model;
    std::optional<std::string> region;
    std::string body;
    std::string output;
};

// The type decides which prefix fields a file has; a missing one or one of another type is
// a mistake worth stopping for.
bool packFields(const PackOptions& o, FtfFields& fields) {
    fields.type = o.type;
    fields.internalName = fromUtf8(o.name);
    if (!parseFtfVersion(fromUtf8(o.version), fields)) {
        std::cerr << "--version: expected a letter and two numbers, as R01.02\n";
        return false;
    }
    const bool versioned = o.type >= kFtfModelPrefix && o.type <= kFtfVersionPrefix2;
    if (versioned != o.codeplugVersion.has_value() ||
        (o.type == kFtfModelPrefix) != o.model.has_value() ||
        (o.type == kFtfRegionPrefix) != o.region.has_value()) {
        std::cerr << "type 0 takes --codeplug-version and --model, types 1 and 2 "
                     "--codeplug-version, type 3 --region\n";
        return false;
    }
    if (o.codeplugVersion &&
        !parseCodeplugVersion(fromUtf8(*o.codeplugVersion), fields.codeplugVersion)) {
        std::cerr << "--codeplug-version: expected a version as R01.02.30 or a number\n";
        return false;
    }
    fields.modelNumber = fromUtf8(o.model.value_or(""));
    fields.regionName = fromUtf8(o.region.value_or(""));
    return true;
}

void addPack(CLI::App& ftf, int& exitCode) {
    auto o = std::make_shared<PackOptions>();
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
    pack->callback([o, &exitCode] {
        FtfFields fields;
        if (!packFields(*o, fields)) {
            exitCode = 1;
            return;
        }
        std::vector<uint8_t> body;
        if (readWholeFile(fromUtf8(o->body), body, kMaxBodySize) != FileReadResult::kOk) {
            ErrorChain::add(kErrorFile, L"Error:failed to read file [%ls].",
                            fromUtf8(o->body).c_str());
            fail(exitCode, o->body);
            return;
        }
        // Read back what was written: a file reported as built is one a conversion accepts.
        FtfImage image;
        const std::wstring output = fromUtf8(o->output);
        if (!writeFtf(output, fields, body) || !loadFtf(output.c_str(), image)) {
            fail(exitCode, o->output);
            return;
        }
        if (!std::equal(body.begin(), body.end(), image.body().begin(), image.body().end())) {
            std::cerr << o->output << ": the body read back differs from " << o->body << "\n";
            exitCode = 1;
            return;
        }
        std::cout << o->output << ": " << body.size() << " body bytes\n";
    });
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
                       "Only this block (DYN, HW, CON, ERG, FAC, DEF, BAC, "
                       "VOI, USERVOI)");
    blocks->add_option("-o,--output", o->directory, "Folder for the block files")->required();
    blocks->callback([o, &exitCode] {
        int only = -1;
        if (!o->block.empty() && (only = Cpg::blockKindByName(fromUtf8(o->block))) < 0) {
            std::cerr << "--block: no block is named " << o->block << "\n";
            exitCode = 1;
            return;
        }
        Cpg cpg;
        if (!loadCodeplugBlocks(fromUtf8(o->addressMap), fromUtf8(o->codeplug), cpg)) {
            fail(exitCode, o->codeplug);
            return;
        }
        std::error_code error;
        std::filesystem::create_directories(o->directory, error);
        print(std::cout, formatBlockTable(cpg));
        for (int kind = 0; kind < kBlockKindCount; ++kind) {
            if (only >= 0 && kind != only) {
                continue;
            }
            const CpgBlock& block = cpg.block(kind);
            const std::string path =
                (std::filesystem::path(o->directory) / (toUtf8(Cpg::blockName(kind)) + ".bin"))
                    .string();
            if (!writeOutput(path, block.data)) {
                fail(exitCode, path);
                return;
            }
        }
    });
}

}  // namespace

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
