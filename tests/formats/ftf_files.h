#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/ftf_writer.h"

namespace plugshift::test {

// A fresh folder for one test, removed with everything in it afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Full path of a file in the folder, wide, as the readers take it.
    std::wstring file(const std::string& name) const;
    // Writes the bytes as a file of the folder and returns its full path.
    std::wstring write(const std::string& name, std::span<const uint8_t> bytes) const;

private:
    std::filesystem::path path_;
};

std::vector<uint8_t> bytesOf(std::string_view text);
std::vector<uint8_t> readFile(const std::filesystem::path& path);

// Writer fields with a type and an internal name; a test sets the rest it needs.
FtfFields fieldsOf(int type, std::wstring internalName);

// Runs a shell command and returns what it printed; fails the test when it exits non-zero.
std::string runCommand(const std::string& command);

// Flash files assembled by hand, independently of the writer, so that a fault shared by
// writer and reader cannot hide.
struct RawFtf {
    RawFtf(uint8_t type, std::string name, std::vector<uint8_t> payload = {})
        : type(type), name(std::move(name)), payload(std::move(payload)) {}

    uint8_t type;
    std::string name;
    std::vector<uint8_t> payload;  // prefix and scrambled body, as they go in the file
    uint32_t payloadLength = 0;    // the header's value; 0 takes payload.size()
    std::vector<uint8_t> trailer;  // bytes after the payload
};
// Prefix bytes for each type.
std::vector<uint8_t> modelPrefix(uint32_t codeplugVersion, std::string_view model);
std::vector<uint8_t> versionPrefix(uint32_t codeplugVersion);
std::vector<uint8_t> regionPrefix(std::string_view region);
// XOR with "ZQK" from the body's first byte, written out plainly.
std::vector<uint8_t> scrambled(std::span<const uint8_t> body);
// Header (version R01.02, fourth byte 3), name, payload, trailer, and a correct digest.
std::vector<uint8_t> assemble(const RawFtf& raw);
// Recomputes the digest after a test altered the file.
void sealDigest(std::vector<uint8_t>& file);

}  // namespace plugshift::test
