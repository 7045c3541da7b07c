#include <gtest/gtest.h>

#include <random>
#include <string>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "formats/codeplug_image.h"
#include "ftf_files.h"

namespace plugshift {
namespace {

class CodeplugImageStreamTest : public ::testing::Test {
protected:
    void SetUp() override { ErrorChain::remove(kErrorOk); }
    void TearDown() override { ErrorChain::remove(kErrorOk); }

    bool parse(std::string_view stream) {
        return cpg.parseCodeplug(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
    }
    bool parseMap(std::string_view text) {
        return cpg.parseAddressMap(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    std::vector<uint8_t> blockBytes(int kind, size_t from, size_t count) {
        const std::vector<uint8_t>& data = cpg.block(kind).data;
        return {data.begin() + from, data.begin() + from + count};
    }
    // S-records of `data` at `address`, made by srec_cat with its own options.
    std::string srecCat(const std::vector<uint8_t>& data, uint32_t address,
                        const std::string& options) {
        dir.write("in.bin", data);
        char offset[16];
        std::snprintf(offset, sizeof offset, "0x%X", address);
        return test::runCommand("srec_cat '" + (dir.path() / "in.bin").string() +
                                "' -binary -offset " + offset + " -o - -motorola " + options);
    }

    test::TempDir dir;
    CodeplugImage cpg;
};

std::vector<uint8_t> randomBytes(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(random());
    }
    return bytes;
}

TEST_F(CodeplugImageStreamTest, SrecCatStreamsLandByteForByteInTheBlocks) {
    struct Case {
        int kind;
        size_t length;
        std::string options;
    };
    const Case cases[] = {
        {kBlockDef, 0x10000, ""},                                    // S2 records, 32 data bytes
        {kBlockDef, 0x10000, "-address-length=4 -line-length=300"},  // S3, longer records
        {kBlockDyn, 0x1000, "-address-length=4 -line-length=16"},    // S3, short records
        {kBlockCon, 0x2000, "-address-length=3"},
        {kBlockVoi, 0x6000, "-address-length=4"},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> data = randomBytes(c.length, static_cast<unsigned>(c.length));
        const uint32_t address = cpg.block(c.kind).address;
        std::string stream = srecCat(data, address, c.options);
        ASSERT_TRUE(parse(stream)) << c.options << "\n" << ErrorChain::text();
        EXPECT_EQ(cpg.block(c.kind).data, data) << c.kind << " " << c.options;
        EXPECT_EQ(cpg.block(c.kind).size, c.length);
    }
}

TEST_F(CodeplugImageStreamTest, WhiteSpaceAnywhereAndLowerCaseAreRead) {
    const std::vector<uint8_t> data = randomBytes(0x400, 3);
    std::string plain = srecCat(data, cpg.block(kBlockFac).address, "-address-length=4");
    std::string spaced;
    std::mt19937 random(5);
    const char spaces[] = {' ', '\t', '\r', '\n', '\v', '\f'};
    for (char c : plain) {
        spaced += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (random() % 3 == 0) {
            spaced += spaces[random() % sizeof spaces];
        }
    }
    ASSERT_TRUE(parse(spaced)) << ErrorChain::text();
    EXPECT_EQ(blockBytes(kBlockFac, 0, data.size()), data);
    EXPECT_EQ(cpg.block(kBlockFac).size, data.size());
}

TEST_F(CodeplugImageStreamTest, FaultsFailTheParseWithOneRecord) {
    // S3 record at 0x00820000 with bytes 01 02; checksum 0x73.
    const std::string good = "S30700820000010273\n";
    ASSERT_TRUE(parse(good)) << ErrorChain::text();
    struct Case {
        const char* what;
        std::string stream;
    };
    const Case cases[] = {
        {"checksum", "S30700820000010274\n"},
        {"not a record", "X30700820000010273\n"},
        {"no type digit", "SX0700820000010273\n"},
        {"type at the end", "S \n"},
        {"count below address and checksum", "S1020000FD\n"},
        {"count of zero", "S900FF\n"},
        {"stream ends inside the data", "S307008200000102"},
        {"stream ends inside a byte", "S30700820000010"},
        {"not a hexadecimal digit", "S3070082000001G273\n"},
        {"fault after a good record", good + "S30700820000010274\n"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(parse(c.stream)) << c.what;
        std::vector<ErrorRecord> records = ErrorChain::records();
        ASSERT_EQ(records.size(), 1u) << c.what;
        EXPECT_EQ(records[0].category, kErrorCpg);
        EXPECT_EQ(records[0].message, L"Error:failed to parse CPG stream.");
        ErrorChain::remove(kErrorOk);
    }
    // Records before the fault stay stored.
    EXPECT_EQ(blockBytes(kBlockDyn, 0, 3), (std::vector<uint8_t>{1, 2, 0}));
}

TEST_F(CodeplugImageStreamTest, EmptyStreamsZeroEveryBlock) {
    for (std::string stream : {"", " \t\r\n", "S", "\n\nx"}) {  // one trailing character is ignored
        cpg.resetBlocks();
        cpg.block(kBlockDef).data[10] = 0xAA;
        cpg.block(kBlockDef).size = 20;
        ASSERT_TRUE(parse(stream)) << '"' << stream << '"';
        for (int kind = 0; kind < kBlockKindCount; ++kind) {
            const CodeplugBlock& b = cpg.block(kind);
            EXPECT_EQ(b.size, 0u);
            EXPECT_EQ(b.data, std::vector<uint8_t>(b.capacity, 0)) << kind;
        }
    }
    EXPECT_FALSE(cpg.parseCodeplug(nullptr, 0));
    EXPECT_TRUE(ErrorChain::records().empty());
}

TEST_F(CodeplugImageStreamTest, RecordPlacement) {
    // S1 at 0x0010, below every block: skipped.
    ASSERT_TRUE(parse("S1050010AABB85"));
    for (int kind = 0; kind < kBlockKindCount; ++kind) {
        EXPECT_EQ(cpg.block(kind).size, 0u);
    }
    // Two records of one block in descending order: the size is the end of the lower one.
    ASSERT_TRUE(parse("S30700820100AABB10\nS30700820010CCDDBD\n"));
    EXPECT_EQ(cpg.block(kBlockDyn).size, 0x12u);
    EXPECT_EQ(blockBytes(kBlockDyn, 0x100, 2), (std::vector<uint8_t>{0xAA, 0xBB}));
    EXPECT_EQ(blockBytes(kBlockDyn, 0x10, 2), (std::vector<uint8_t>{0xCC, 0xDD}));
    // An S7 record has no address bytes: all its bytes are data at address 0.
    ASSERT_TRUE(parseMap("DYN_START ADDRESS 0"));
    ASSERT_TRUE(parse("S7051122334450"));
    EXPECT_EQ(blockBytes(kBlockDyn, 0, 5), (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0}));
    EXPECT_EQ(cpg.block(kBlockDyn).size, 4u);
}

TEST_F(CodeplugImageStreamTest, StoreRecordIsBoundedByTheBlock) {
    cpg.resetBlocks();
    const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    // Two bytes before the end of DYN (0x820000 + 0x1000): the rest is cut.
    EXPECT_EQ(cpg.storeRecord(0x820FFE, data, 8), 2u);
    EXPECT_EQ(cpg.block(kBlockDyn).size, 0x1000u);
    EXPECT_EQ(blockBytes(kBlockDyn, 0xFFE, 2), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(cpg.storeRecord(0x821000, data, 8), 0u);
    // DEF (0x84400..0x943FF) and USERVOI (0x86000..) overlap: the first kind wins.
    EXPECT_EQ(cpg.storeRecord(0x86000, data, 8), 8u);
    EXPECT_EQ(blockBytes(kBlockDef, 0x1C00, 8), std::vector<uint8_t>(data, data + 8));
    EXPECT_EQ(cpg.block(kBlockUserVoi).size, 0u);
}

// A block at the top of the address space must not wrap around to catch low addresses.
TEST_F(CodeplugImageStreamTest, BlockAtTheTopOfTheAddressSpaceDoesNotWrap) {
    ASSERT_TRUE(parseMap("DYN_START ADDRESS FFFFF800"));
    const uint8_t data[4] = {9, 9, 9, 9};
    EXPECT_EQ(cpg.storeRecord(0x100, data, 4), 0u);
    EXPECT_EQ(cpg.storeRecord(0xFFFFFFFE, data, 4), 4u);
    EXPECT_EQ(cpg.block(kBlockDyn).size, 0x802u);
}

// A buffer made before the capacity was lowered must not let a record past the new end.
TEST_F(CodeplugImageStreamTest, StoreAfterCapacityLoweredStaysInside) {
    const uint8_t data[4] = {1, 2, 3, 4};
    cpg.storeRecord(0x820000, data, 4);
    ASSERT_TRUE(parseMap("DYN_START BSIZE = 10"));
    EXPECT_EQ(cpg.storeRecord(0x82000E, data, 4), 2u);
    EXPECT_EQ(cpg.block(kBlockDyn).data.size(), 0x10u);
}

}  // namespace
}  // namespace plugshift
