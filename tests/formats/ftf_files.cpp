#include "ftf_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "errors/wide_text.h"
#include "formats/md5.h"
#include "platform/process_environment.h"
#include "platform/system_files.h"

namespace plugshift::test {

TempDir::TempDir() {
    // A folder of this process's own: the process id and a count.
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("formats-test-" + std::to_string(processId()) + "-" + std::to_string(counter++));
    std::error_code error;
    std::filesystem::remove_all(path_, error);
    if (!std::filesystem::create_directories(path_, error)) {
        ADD_FAILURE() << "cannot create a temporary folder";
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::wstring TempDir::file(const std::string& name) const {
    return fromUtf8(utf8FromPath(path_ / name));
}

std::wstring TempDir::write(const std::string& name, std::span<const uint8_t> bytes) const {
    std::ofstream out(path_ / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << name;
    return file(name);
}

FtfFields fieldsOf(int type, std::wstring internalName) {
    FtfFields fields;
    fields.type = type;
    fields.internalName = std::move(internalName);
    return fields;
}

std::vector<uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

std::vector<uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string runCommand(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return output;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    int status = ::pclose(pipe);
    EXPECT_EQ(status, 0) << command << " failed; is the tool installed (scripts/install-deps.sh)?";
    return output;
}

namespace {
void appendLittle32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}
}  // namespace

std::vector<uint8_t> modelPrefix(uint32_t codeplugVersion, std::string_view model) {
    std::vector<uint8_t> out;
    appendLittle32(out, codeplugVersion);
    out.push_back(static_cast<uint8_t>(model.size()));
    out.insert(out.end(), model.begin(), model.end());
    return out;
}

std::vector<uint8_t> versionPrefix(uint32_t codeplugVersion) {
    std::vector<uint8_t> out;
    appendLittle32(out, codeplugVersion);
    return out;
}

std::vector<uint8_t> regionPrefix(std::string_view region) {
    std::vector<uint8_t> out{static_cast<uint8_t>(region.size())};
    out.insert(out.end(), region.begin(), region.end());
    return out;
}

std::vector<uint8_t> scrambled(std::span<const uint8_t> body) {
    static const char kKey[] = "ZQK";
    std::vector<uint8_t> out(body.begin(), body.end());
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] ^= static_cast<uint8_t>(kKey[i % 3]);
    }
    return out;
}

std::vector<uint8_t> assemble(const RawFtf& raw) {
    std::vector<uint8_t> file = {'Z', 'Q', 'K', 0, 0, 0, 0, 0};
    file.resize(24);  // digest, filled last
    file.insert(file.end(), {'R', 1, 2, 3, raw.type});
    uint32_t length =
        raw.payloadLength != 0 ? raw.payloadLength : static_cast<uint32_t>(raw.payload.size());
    for (int shift = 24; shift >= 0; shift -= 8) {
        file.push_back(static_cast<uint8_t>(length >> shift));
    }
    file.push_back(static_cast<uint8_t>(raw.name.size()));
    file.insert(file.end(), raw.name.begin(), raw.name.end());
    file.insert(file.end(), raw.payload.begin(), raw.payload.end());
    file.insert(file.end(), raw.trailer.begin(), raw.trailer.end());
    sealDigest(file);
    return file;
}

void sealDigest(std::vector<uint8_t>& file) {
    Md5::Digest digest = Md5::of({file.data() + 24, file.size() - 24});
    std::copy(digest.begin(), digest.end(), file.begin() + 8);
}

}  // namespace plugshift::test
