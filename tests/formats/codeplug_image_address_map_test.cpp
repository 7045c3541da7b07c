#include <gtest/gtest.h>

#include <string>

#include "errors/error_chain.h"
#include "formats/codeplug_image.h"

namespace plugshift {
namespace {

bool parse(CodeplugImage& cpg, std::string_view text) {
    return cpg.parseAddressMap(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

struct BlockChange {
    int kind;
    uint32_t address;
    uint32_t size;
    uint32_t capacity;
};

TEST(CodeplugImageAddressMapTest, DefaultsAreTheNineBlocks) {
    CodeplugImage cpg;
    const BlockChange expected[] = {
        {kBlockDyn, 0x820000, 0, 0x1000},    {kBlockHw, 0x842000, 0, 0x1000},
        {kBlockCon, 0x830000, 0, 0x2000},    {kBlockErg, 0x840000, 0, 0x1000},
        {kBlockFac, 0x841000, 0, 0x1000},    {kBlockDef, 0x84400, 0, 0x10000},
        {kBlockBac, 0x843000, 0, 0x1000},    {kBlockVoi, 0x854000, 0, 0x6000},
        {kBlockUserVoi, 0x86000, 0, 0x6000},
    };
    const wchar_t* names[] = {L"DYN", L"HW",  L"CON", L"ERG",    L"FAC",
                              L"DEF", L"BAC", L"VOI", L"USERVOI"};
    for (const BlockChange& e : expected) {
        const CodeplugBlock& b = cpg.block(e.kind);
        EXPECT_EQ(b.kind, e.kind);
        EXPECT_EQ(b.address, e.address) << e.kind;
        EXPECT_EQ(b.size, 0u);
        EXPECT_EQ(b.capacity, e.capacity) << e.kind;
        EXPECT_TRUE(b.data.empty());
        EXPECT_EQ(b.flag, 0);
        EXPECT_STREQ(CodeplugImage::blockName(e.kind), names[e.kind]);
        EXPECT_EQ(CodeplugImage::blockKindByName(names[e.kind]), e.kind);
    }
    EXPECT_EQ(CodeplugImage::blockKindByName(L"userVoi"), kBlockUserVoi);
    EXPECT_EQ(CodeplugImage::blockKindByName(L"DE"), -1);
    EXPECT_STREQ(CodeplugImage::blockName(9), L"");
}

// Each text on a fresh table; every block not listed must keep its defaults.
TEST(CodeplugImageAddressMapTest, TextsAndTheirEffect) {
    const std::string longJunk(49, 'X');
    struct Case {
        std::string text;
        bool result;
        std::vector<BlockChange> changed;
    };
    const Case cases[] = {
        {"DYN_START ADDRESS 820000 BSIZE = 800", true, {{kBlockDyn, 0x820000, 0, 0x800}}},
        {"dyn_start\taddress 0x830000\r\nbsize\v=\f800", true, {{kBlockDyn, 0x830000, 0, 0x800}}},
        {"DEF_BLK BSIZE 4000", true, {{kBlockDef, 0x84400, 0x4000, 0x10000}}},
        {"DYN_START BSIZE = 20000", true, {}},  // "=" only ever lowers the capacity
        {"DEF_BLK ADDRESS = aBcDeF", true, {{kBlockDef, 0xABCDEF, 0, 0x10000}}},
        {"MY_DYN_START_BLOCK ADDRESS 1", true, {{kBlockDyn, 1, 0, 0x1000}}},
        {"FACT_START ADDRESS 5", true, {{kBlockFac, 5, 0, 0x1000}}},
        {"BACKUP_FACT ADDRESS 6", true, {{kBlockBac, 6, 0, 0x1000}}},
        {"BACKUP_FACT_START ADDRESS 6", true, {{kBlockFac, 6, 0, 0x1000}}},
        {"HW_START ADDRESS 1 CONTACT_START ADDRESS 2 ERGO_START ADDRESS 3",
         true,
         {{kBlockHw, 1, 0, 0x1000}, {kBlockCon, 2, 0, 0x2000}, {kBlockErg, 3, 0, 0x1000}}},
        {"RESERVED_BLOCK_1 BSIZE = 10 RESERVED_BLOCK_2 BSIZE = 20",
         true,
         {{kBlockVoi, 0x854000, 0, 0x10}, {kBlockUserVoi, 0x86000, 0, 0x20}}},
        {"ADDRESS 5 BSIZE = 1 DYN_START", true, {}},  // nothing selected yet: ignored
        {"DYN_START ADDRESS=5", true, {}},            // one token, matches nothing
        {"DYN_START ADDRESS 12junk", true, {{kBlockDyn, 0x12, 0, 0x1000}}},
        {"DYN_START ADDRESS +10 HW_START ADDRESS -1",
         true,
         {{kBlockDyn, 0x10, 0, 0x1000}, {kBlockHw, 0xFFFFFFFF, 0, 0x1000}}},
        {"DYN_START ADDRESS", true, {}},
        {"DYN_START ADDRESS =", true, {}},
        {"", true, {}},
        {longJunk + "DYN_START ADDRESS 7", true, {{kBlockDyn, 7, 0, 0x1000}}},
        {longJunk.substr(4) + "DYN_START ADDRESS 7", true, {}},  // the keyword is cut in two
        {"DYN_START ADDRESS = zz", false, {}},
        {"DYN_START ADDRESS 10 BSIZE zz HW_START ADDRESS 1", false, {{kBlockDyn, 0x10, 0, 0x1000}}},
        {"ADDRESS zz", false, {}},                   // still a value, even with no block to take it
        {"DYN_START ADDRESS 100000000", false, {}},  // beyond 32 bits
    };
    for (const Case& c : cases) {
        CodeplugImage cpg;
        CodeplugImage defaults;
        EXPECT_EQ(parse(cpg, c.text), c.result) << c.text;
        for (int kind = 0; kind < kBlockKindCount; ++kind) {
            BlockChange want{kind, defaults.block(kind).address, 0, defaults.block(kind).capacity};
            for (const BlockChange& change : c.changed) {
                if (change.kind == kind) {
                    want = change;
                }
            }
            const CodeplugBlock& b = cpg.block(kind);
            EXPECT_EQ(b.address, want.address) << c.text << " block " << kind;
            EXPECT_EQ(b.size, want.size) << c.text << " block " << kind;
            EXPECT_EQ(b.capacity, want.capacity) << c.text << " block " << kind;
        }
    }
    EXPECT_TRUE(ErrorChain::records().empty());
}

TEST(CodeplugImageAddressMapTest, NullTextFailsAndEmptyLengthChangesNothing) {
    CodeplugImage cpg;
    EXPECT_FALSE(cpg.parseAddressMap(nullptr, 5));
    EXPECT_TRUE(cpg.parseAddressMap(reinterpret_cast<const uint8_t*>("DYN_START ADDRESS 1"), 0));
    EXPECT_EQ(cpg.block(kBlockDyn).address, 0x820000u);
}

// The table is not reset between maps, and a lowered capacity takes the buffer down with it.
TEST(CodeplugImageAddressMapTest, LoweredCapacityStaysLoweredAndBoundsTheBuffer) {
    CodeplugImage cpg;
    cpg.resetBlocks();
    ASSERT_TRUE(parse(cpg, "DYN_START BSIZE = 800"));
    EXPECT_EQ(cpg.block(kBlockDyn).data.size(), 0x800u);
    ASSERT_TRUE(parse(cpg, "DYN_START BSIZE = 900"));
    EXPECT_EQ(cpg.block(kBlockDyn).capacity, 0x800u);
    ASSERT_TRUE(parse(cpg, "DYN_START BSIZE = 0"));
    EXPECT_EQ(cpg.block(kBlockDyn).capacity, 0u);
    EXPECT_TRUE(cpg.block(kBlockDyn).data.empty());
}

}  // namespace
}  // namespace plugshift
