// Our MD5 and S-record parsing on a file, for timing beside md5sum and srec_cat:
//   formats_file_speed md5 FILE    prints the digest as md5sum does, reading in pieces as it does
//   formats_file_speed srec FILE   parses the file as a codeplug stream; prints the stored bytes
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "formats/codeplug_image.h"
#include "formats/file_bytes.h"
#include "formats/md5.h"

namespace {

int printDigest(const char* path) {
    constexpr size_t kPiece = 128 * 1024;  // large enough that the reads cost little
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(path);
        return 1;
    }
    std::vector<uint8_t> piece(kPiece);
    plugshift::Md5 md5;
    ssize_t n;
    while ((n = ::read(fd, piece.data(), piece.size())) > 0) {
        md5.update(piece.data(), static_cast<size_t>(n));
    }
    ::close(fd);
    if (n < 0) {
        std::perror(path);
        return 1;
    }
    std::printf("%s  %s\n", plugshift::Md5::toHex(md5.finish()).c_str(), path);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace plugshift;
    if (argc != 3 || (std::strcmp(argv[1], "md5") != 0 && std::strcmp(argv[1], "srec") != 0)) {
        std::fprintf(stderr, "usage: %s md5|srec FILE\n", argv[0]);
        return 2;
    }
    if (std::strcmp(argv[1], "md5") == 0) {
        return printDigest(argv[2]);
    }
    std::vector<uint8_t> bytes;
    constexpr uint64_t kMaxFile = uint64_t{4} << 30;
    if (readWholeFile(fromUtf8(argv[2]), bytes, kMaxFile) != FileReadResult::kOk) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    CodeplugImage cpg;
    if (!cpg.parseCodeplug(bytes.data(), bytes.size())) {
        std::fprintf(stderr, "%s\n", toUtf8(ErrorChain::text()).c_str());
        return 1;
    }
    uint64_t stored = 0;
    for (int kind = 0; kind < kBlockKindCount; ++kind) {
        stored += cpg.block(kind).size;
    }
    std::printf("%llu bytes in blocks\n", static_cast<unsigned long long>(stored));
    return 0;
}
