#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace plugshift {

// Flash files from the command line:
//   ftf info FILE...           header summary of each file
//   ftf verify FILE...         the full check a conversion makes before it uses a file
//   ftf unpack FILE -o OUT     the unscrambled body
//   ftf pack ... BODY -o FILE  a new flash file, read back before it is reported as written
//   codeplug blocks --address-map MAP CODEPLUG [--block NAME] -o DIR
//                              the block buffers a conversion would program, one file each
// Each returns the exit code: 0, or 1 with the error chain's messages (newest first) on `err`.
void addFtfCommand(CLI::App& app, int& exitCode);

int ftfInfo(const std::vector<std::string>& files, std::ostream& out, std::ostream& err);
int ftfVerify(const std::vector<std::string>& files, std::ostream& out, std::ostream& err);
int ftfUnpack(const std::string& file, const std::string& output, std::ostream& err);

struct FtfPackOptions {
    int type = 0;
    std::string version;                         // header version, "R01.02"
    std::string name;                            // internal name
    std::optional<std::string> codeplugVersion;  // types 0, 1 and 2
    std::optional<std::string> model;            // type 0
    std::optional<std::string> region;           // type 3
    std::string body;                            // file holding the body
    std::string output;
};
int ftfPack(const FtfPackOptions& options, std::ostream& out, std::ostream& err);

// `block` empty writes all nine blocks.
int codeplugBlocks(const std::string& addressMap, const std::string& codeplug,
                   const std::string& block, const std::string& directory, std::ostream& out,
                   std::ostream& err);

}  // namespace plugshift
