#include "formats/md5.h"

#include <gtest/gtest.h>

#include <random>

#include "ftf_files.h"

namespace plugshift {
namespace {

std::string hexOf(std::string_view text) {
    return Md5::toHex(Md5::of(test::bytesOf(text)));
}

TEST(Md5Test, Rfc1321TestSuite) {
    struct Case {
        const char* message;
        const char* digest;
    };
    const Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hexOf(c.message), c.digest) << '"' << c.message << '"';
    }
}

// Sizes around the padding limits (55/56 bytes fit the length or not, 64 is a whole block)
// and one of a few MiB, random bytes, checked against md5sum.
TEST(Md5Test, MatchesMd5sumOnRandomData) {
    test::TempDir dir;
    std::mt19937 random(1321);
    for (size_t size :
         {0u, 1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 3u * 1024 * 1024 + 7}) {
        std::vector<uint8_t> data(size);
        for (uint8_t& b : data) {
            b = static_cast<uint8_t>(random());
        }
        dir.write("data.bin", data);
        std::string expected =
            test::runCommand("md5sum '" + (dir.path() / "data.bin").string() + "'");
        EXPECT_EQ(Md5::toHex(Md5::of(data)), expected.substr(0, 32)) << size << " bytes";
    }
}

TEST(Md5Test, PiecesInAnySizesGiveTheWholeDigest) {
    std::vector<uint8_t> data(1000);
    std::mt19937 random(7);
    for (uint8_t& b : data) {
        b = static_cast<uint8_t>(random());
    }
    const Md5::Digest whole = Md5::of(data);
    for (size_t piece : {1u, 3u, 63u, 64u, 65u, 130u}) {
        Md5 md5;
        for (size_t at = 0; at < data.size(); at += piece) {
            md5.update(data.data() + at, std::min(piece, data.size() - at));
        }
        EXPECT_EQ(md5.finish(), whole) << "pieces of " << piece;
        // finish() leaves the object ready for the next message.
        md5.update(data);
        EXPECT_EQ(md5.finish(), whole);
    }
}

}  // namespace
}  // namespace plugshift
