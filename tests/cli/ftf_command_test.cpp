#include "cli/ftf_command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "errors/error_chain.h"
#include "platform/process_environment.h"

namespace plugshift {
namespace {

using ::testing::HasSubstr;

class FtfCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        dir = std::filesystem::temp_directory_path() /
              ("ftf-cli-" + std::to_string(processId()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(dir);
        ASSERT_TRUE(std::filesystem::create_directories(dir));
        ErrorChain::remove(0);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        ErrorChain::remove(0);
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    FtfPackOptions packOptions(int type, const std::string& bodyFile, const std::string& output) {
        FtfPackOptions o;
        o.type = type;
        o.version = "R01.02";
        o.name = "KMV410DEFR01";
        o.body = bodyFile;
        o.output = path(output);
        return o;
    }

    std::filesystem::path dir;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(FtfCommandTest, PackThenVerifyInfoAndUnpack) {
    const std::string body = std::string("S3070082000001027") + '\0' + "3\n binary \xff";
    FtfPackOptions o = packOptions(0, write("body.txt", body), "cp.ftf");
    o.codeplugVersion = "R01.02.30";
    o.model = "H98QDH9PW6AN";
    ASSERT_EQ(ftfPack(o, out, err), 0) << err.str();
    EXPECT_EQ(out.str(), o.output + ": " + std::to_string(body.size()) + " body bytes\n");

    out.str("");
    EXPECT_EQ(ftfVerify({o.output}, out, err), 0);
    EXPECT_EQ(out.str(), o.output + ": OK\n");

    out.str("");
    EXPECT_EQ(ftfInfo({o.output}, out, err), 0);
    EXPECT_THAT(out.str(), HasSubstr("type: 0\nversion: R01.02\ninternal name: KMV410DEFR01\n"));
    EXPECT_THAT(out.str(), HasSubstr("codeplug version: R01.02.30 (0x1E020152)\n"));

    EXPECT_EQ(ftfUnpack(o.output, path("back.txt"), err), 0);
    EXPECT_EQ(read("back.txt"), body);
    EXPECT_EQ(err.str(), "");
}

// Reading comes first, so an output that is the input under any spelling would lose it.
TEST_F(FtfCommandTest, UnpackAndPackRefuseToWriteOverTheirInput) {
    const std::string body = write("body.txt", "S0030000FC\n");
    FtfPackOptions o = packOptions(3, body, "region.ftf");
    o.region = "PERU";
    ASSERT_EQ(ftfPack(o, out, err), 0) << err.str();
    const std::string flash = read("region.ftf");

    const std::string sameFlash = (dir / "." / "region.ftf").string();
    EXPECT_EQ(ftfUnpack(o.output, sameFlash, err), 1);
    EXPECT_EQ(err.str(), sameFlash +
                             ": this is the input file itself; write the output to another "
                             "file.\n");
    EXPECT_EQ(read("region.ftf"), flash);

    err.str("");
    FtfPackOptions over = packOptions(3, body, "body.txt");
    over.region = "PERU";
    EXPECT_EQ(ftfPack(over, out, err), 1);
    EXPECT_THAT(err.str(), HasSubstr("this is the input file itself"));
    EXPECT_EQ(read("body.txt"), "S0030000FC\n");
}

TEST_F(FtfCommandTest, PackRefusesOptionsThatDoNotFitTheType) {
    const std::string body = write("body.txt", "x");
    struct Case {
        int type;
        const char* version;
        std::optional<std::string> codeplugVersion, model, region;
        const char* complaint;
    };
    const Case cases[] = {
        {0, "R01.02", "R01.02.30", std::nullopt, std::nullopt, "type 0 takes"},
        {1, "R01.02", std::nullopt, std::nullopt, std::nullopt, "type 0 takes"},
        {1, "R01.02", "1", "KMV", std::nullopt, "type 0 takes"},
        {3, "R01.02", std::nullopt, std::nullopt, std::nullopt, "type 0 takes"},
        {3, "R01.02", "1", std::nullopt, "PERU", "type 0 takes"},
        {2, "1.02", "1", std::nullopt, std::nullopt, "--version"},
        {2, "R01.02", "R01", std::nullopt, std::nullopt, "--codeplug-version"},
    };
    for (const Case& c : cases) {
        FtfPackOptions o = packOptions(c.type, body, "out.ftf");
        o.version = c.version;
        o.codeplugVersion = c.codeplugVersion;
        o.model = c.model;
        o.region = c.region;
        err.str("");
        EXPECT_EQ(ftfPack(o, out, err), 1) << c.type << " " << c.complaint;
        EXPECT_THAT(err.str(), HasSubstr(c.complaint));
        EXPECT_FALSE(std::filesystem::exists(o.output));
    }
    FtfPackOptions tooLong = packOptions(3, body, "out.ftf");
    tooLong.region = "PERUPERUPERU";
    err.str("");
    EXPECT_EQ(ftfPack(tooLong, out, err), 1);
    EXPECT_THAT(err.str(), HasSubstr("Error:the region name [PERUPERUPERU] is too long."));
    EXPECT_TRUE(ErrorChain::records().empty()) << "reported and cleared";
}

TEST_F(FtfCommandTest, EveryBadFileIsReportedAndTheOthersStillChecked) {
    FtfPackOptions o = packOptions(2, write("body.txt", "abc"), "good.ftf");
    o.codeplugVersion = "7";
    ASSERT_EQ(ftfPack(o, out, err), 0);
    const std::string bad = write("bad.ftf", std::string(200, 'Z'));
    out.str("");
    EXPECT_EQ(ftfVerify({bad, o.output, path("missing.ftf")}, out, err), 1);
    EXPECT_EQ(out.str(), o.output + ": OK\n");
    EXPECT_EQ(err.str(), bad + ":\nError:invalid signature for file [" + bad + "].\n" +
                             path("missing.ftf") + ":\nError:failed to open file [" +
                             path("missing.ftf") + "].\n");
    err.str("");
    EXPECT_EQ(ftfInfo({bad}, out, err), 1);
    EXPECT_THAT(err.str(), HasSubstr("Error:invalid signature"));
}

TEST_F(FtfCommandTest, CodeplugBlocksWritesEachBlockOverItsCapacity) {
    FtfPackOptions map = packOptions(1, write("map.txt", "DYN_START BSIZE = 10\n"), "map.ftf");
    map.codeplugVersion = "1";
    ASSERT_EQ(ftfPack(map, out, err), 0);
    // Two data bytes at the start of DYN (0x820000).
    FtfPackOptions codeplug = packOptions(1, write("cp.txt", "S30700820000010273\n"), "cp.ftf");
    codeplug.codeplugVersion = "1";
    ASSERT_EQ(ftfPack(codeplug, out, err), 0);

    out.str("");
    ASSERT_EQ(codeplugBlocks(map.output, codeplug.output, "", path("all"), out, err), 0)
        << err.str();
    EXPECT_THAT(out.str(), HasSubstr("DYN      0x00820000 0x00000002 0x00000010\n"));
    EXPECT_EQ(read("all/DYN.bin"), std::string("\x01\x02", 2) + std::string(14, '\0'));
    EXPECT_EQ(std::filesystem::file_size(path("all/DEF.bin")), 0x10000u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path("all")),
                            std::filesystem::directory_iterator()),
              9);

    ASSERT_EQ(codeplugBlocks(map.output, codeplug.output, "def", path("one"), out, err), 0);
    EXPECT_TRUE(std::filesystem::exists(path("one/DEF.bin")));
    EXPECT_FALSE(std::filesystem::exists(path("one/DYN.bin")));

    EXPECT_EQ(codeplugBlocks(map.output, codeplug.output, "XYZ", path("x"), out, err), 1);
    EXPECT_THAT(err.str(), HasSubstr("no block is named XYZ"));
    err.str("");
    EXPECT_EQ(codeplugBlocks(map.output, map.output, "", path("x"), out, err), 1);
    EXPECT_THAT(err.str(), HasSubstr("Error:failed to parse CPG stream."));
}

}  // namespace
}  // namespace plugshift
