// Packs the readable sample sources into the files an installation holds: scrambled
// config.xml and setup.dat, address maps and codeplugs in flash files. Also unpacks and checks
// them, so a packed installation can be read back by people.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "config/config_file_codec.h"
#include "config/configuration.h"
#include "config/configuration_summary.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "formats/codeplug_image.h"
#include "formats/flash_report.h"
#include "formats/ftf_writer.h"
#include "platform/safe_file_writer.h"

namespace plugshift {
namespace {

// Where a codeplug carries the identity the radio reports: the model number (11 bytes, digits
// stored as their values 0..9) and right after it the 4-byte codeplug version, from the start
// of the default block. The simulated radio reads them from the same place, so a converted
// radio reports the model and version of the codeplug it was given.
constexpr uint32_t kIdentityOffset = 0;
constexpr size_t kModelLength = 11;

// The largest source file this tool reads; far above any sample.
constexpr std::streamsize kMaxSourceSize = 16 * 1024 * 1024;

bool readFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    if (in) {
        content << in.rdbuf();
    }
    bytes = content.str();
    if (!in || static_cast<std::streamsize>(bytes.size()) > kMaxSourceSize) {
        std::cerr << "cannot read " << path << "\n";
        return false;
    }
    return true;
}

bool writeFile(const std::string& path, std::string_view bytes) {
    if (!SafeFileWriter::standard().replace(path, bytes)) {
        std::cerr << "cannot write " << path << "\n";
        return false;
    }
    return true;
}

void printChain() {
    for (const ErrorRecord& record : ErrorChain::records()) {
        std::cerr << toUtf8(errorCategoryLabel(record.category)) << " " << toUtf8(record.message)
                  << "\n";
    }
    ErrorChain::remove(0);
}

std::vector<uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

// The radio stores a model number's digits as the values 0..9 and its letters as they are.
bool encodeModel(const std::string& model, std::string& bytes) {
    if (model.size() != kModelLength) {
        return false;
    }
    bytes.clear();
    for (char c : model) {
        if (c >= '0' && c <= '9') {
            bytes += static_cast<char>(c - '0');
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            bytes += c;
        } else {
            return false;
        }
    }
    return true;
}

// One S3 record (4-byte address) carrying `data`, checksum included.
std::string s3Record(uint32_t address, std::string_view data) {
    std::vector<uint8_t> body = {static_cast<uint8_t>(address >> 24),
                                 static_cast<uint8_t>(address >> 16),
                                 static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
    body.insert(body.end(), data.begin(), data.end());
    unsigned sum = static_cast<unsigned>(body.size() + 1);
    std::string line = "S3";
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(body.size() + 1));
    line += hex;
    for (uint8_t b : body) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
        sum += b;
    }
    std::snprintf(hex, sizeof hex, "%02X", ~sum & 0xFFu);
    return line + hex + "\n";
}

int encode(const std::string& in, const std::string& out) {
    std::string text;
    std::string bytes;
    if (!readFile(in, text)) {
        return 1;
    }
    if (!encodeConfigText(text, bytes)) {
        std::cerr << in << ": not UTF-8, or a character code page 1252 cannot store\n";
        return 1;
    }
    return writeFile(out, bytes) ? 0 : 1;
}

int decode(const std::string& in, const std::string& out) {
    std::string bytes;
    std::string text;
    if (!readFile(in, bytes) || !decodeConfigBytes(bytes, text)) {
        return 1;
    }
    return writeFile(out, text) ? 0 : 1;
}

struct FlashOptions {
    std::string version;          // header version, "A01.02" or "A01.02.00"
    std::string codeplugVersion;  // "R01.02.00"
    std::string internalName;
    std::string model;
    std::string in;
    std::string out;
};

bool fillFields(const FlashOptions& o, int type, FtfFields& fields) {
    fields.type = type;
    fields.internalName = fromUtf8(o.internalName);
    if (!parseFtfVersion(fromUtf8(o.version), fields)) {
        std::cerr << "bad version " << o.version << "\n";
        return false;
    }
    if (!parseCodeplugVersion(fromUtf8(o.codeplugVersion), fields.codeplugVersion)) {
        std::cerr << "bad codeplug version " << o.codeplugVersion << "\n";
        return false;
    }
    fields.modelNumber = fromUtf8(o.model);
    return true;
}

int packAddressMap(const FlashOptions& o) {
    std::string text;
    if (!readFile(o.in, text)) {
        return 1;
    }
    CodeplugImage check;
    if (!check.parseAddressMap(reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
        std::cerr << o.in << ": not an address map\n";
        return 1;
    }
    FtfFields fields;
    if (!fillFields(o, kFtfVersionPrefix1, fields) ||
        !writeFtf(fromUtf8(o.out), fields, bytesOf(text))) {
        printChain();
        return 1;
    }
    return 0;
}

// The codeplug source plus one record with the identity, placed in the default block of the
// address map it is meant for; the result is parsed back before it is written.
int packCodeplug(const FlashOptions& o, const std::string& addressMap) {
    std::string stream;
    std::string map;
    std::string model;
    if (!readFile(o.in, stream) || !readFile(addressMap, map)) {
        return 1;
    }
    if (!encodeModel(o.model, model)) {
        std::cerr << "model " << o.model << " is not 11 letters and digits\n";
        return 1;
    }
    FtfFields fields;
    if (!fillFields(o, kFtfModelPrefix, fields)) {
        return 1;
    }
    CodeplugImage cpg;
    if (!cpg.parseAddressMap(reinterpret_cast<const uint8_t*>(map.data()), map.size())) {
        std::cerr << addressMap << ": not an address map\n";
        return 1;
    }
    std::string identity = model;
    for (int i = 0; i < 4; ++i) {
        identity += static_cast<char>(fields.codeplugVersion >> (8 * i));
    }
    stream += s3Record(cpg.block(kBlockDef).address + kIdentityOffset, identity);
    if (!cpg.parseCodeplug(reinterpret_cast<const uint8_t*>(stream.data()), stream.size())) {
        printChain();
        return 1;
    }
    const CodeplugBlock& def = cpg.block(kBlockDef);
    if (def.data.size() < kIdentityOffset + identity.size() ||
        std::string(def.data.begin() + kIdentityOffset,
                    def.data.begin() + kIdentityOffset + identity.size()) != identity) {
        std::cerr << o.in << ": the identity does not land in the default block\n";
        return 1;
    }
    if (!writeFtf(fromUtf8(o.out), fields, bytesOf(stream))) {
        printChain();
        return 1;
    }
    return 0;
}

int check(const std::string& installDir, const std::string& dataDir) {
    const std::wstring configPath = fromUtf8(installDir + "/data/config.xml");
    const std::wstring setupPath = fromUtf8(dataDir + "/data/setup.dat");
    Configuration& config = Configuration::instance();
    if (!config.createDocument() || !config.load(configPath, setupPath)) {
        printChain();
        return 1;
    }
    std::cout << toUtf8(describeConfiguration(config));
    return 0;
}

void addFlashOptions(CLI::App* command, FlashOptions& o) {
    command->add_option("--version", o.version, "header version, e.g. A01.02")->required();
    command->add_option("--codeplug-version", o.codeplugVersion, "e.g. R01.02.00")->required();
    command->add_option("--name", o.internalName, "internal name")->required();
    command->add_option("source", o.in)->required();
    command->add_option("output", o.out)->required();
}

}  // namespace
}  // namespace plugshift

int main(int argc, char** argv) {
    using namespace plugshift;
    CLI::App app{"Packs, unpacks and checks the files of an installation."};
    app.allow_windows_style_options(false);  // a path such as /tmp/x is never an option
    app.require_subcommand(1);

    std::string in, out;
    auto* encodeCommand = app.add_subcommand("encode", "readable XML to a scrambled file");
    encodeCommand->add_option("source", in)->required();
    encodeCommand->add_option("output", out)->required();
    auto* decodeCommand = app.add_subcommand("decode", "scrambled file to readable XML");
    decodeCommand->add_option("source", in)->required();
    decodeCommand->add_option("output", out)->required();

    FlashOptions flash;
    auto* mapCommand = app.add_subcommand("address-map", "address-map text to a flash file");
    addFlashOptions(mapCommand, flash);
    std::string addressMap;
    auto* codeplugCommand = app.add_subcommand("codeplug", "S-records to a codeplug flash file");
    addFlashOptions(codeplugCommand, flash);
    codeplugCommand->add_option("--model", flash.model, "model number the codeplug makes")
        ->required();
    codeplugCommand->add_option("--address-map", addressMap, "address-map text it is for")
        ->required();

    std::string installDir, dataDir;
    auto* checkCommand = app.add_subcommand("check", "load an installation and summarise it");
    checkCommand->add_option("--install-dir", installDir, "folder holding data/config.xml")
        ->required();
    checkCommand->add_option("--data-dir", dataDir, "folder holding data/setup.dat")->required();

    CLI11_PARSE(app, argc, argv);
    if (*encodeCommand) {
        return encode(in, out);
    }
    if (*decodeCommand) {
        return decode(in, out);
    }
    if (*mapCommand) {
        return packAddressMap(flash);
    }
    if (*codeplugCommand) {
        return packCodeplug(flash, addressMap);
    }
    return check(installDir, dataDir);
}
