#include "formats/flash_report.h"

#include <gtest/gtest.h>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "formats/ftf_writer.h"
#include "ftf_files.h"

namespace plugshift {
namespace {

class FlashReportTest : public ::testing::Test {
protected:
    void SetUp() override { ErrorChain::remove(kErrorOk); }
    void TearDown() override { ErrorChain::remove(kErrorOk); }

    std::wstring pack(const std::string& name, FtfFields fields, std::string_view body) {
        std::wstring path = dir.file(name);
        EXPECT_TRUE(writeFtf(path, fields, test::bytesOf(body))) << ErrorChain::text();
        return path;
    }

    test::TempDir dir;
};

TEST_F(FlashReportTest, SummaryShowsTheFieldsOfTheType) {
    FtfFields modelFields = test::fieldsOf(kFtfModelPrefix, L"KMV410DEFR01");
    modelFields.versionMajor = 1;
    modelFields.versionMinor = 2;
    modelFields.codeplugVersion = 0x1E020172;
    modelFields.modelNumber = L"H98QDH9PW6AN";
    std::wstring model = pack("m.ftf", modelFields, "0123456789");
    FtfSummary summary;
    ASSERT_TRUE(readFtfSummary(model, summary));
    EXPECT_EQ(formatFtfSummary(summary),
              L"type: 0\nversion: R01.02\ninternal name: KMV410DEFR01\nbody length: 10\n"
              L"codeplug version: R01.02.30 (0x1E020172)\nmodel number: H98QDH9PW6A\n");

    FtfFields regionFields = test::fieldsOf(kFtfRegionPrefix, L"REGION");
    regionFields.versionLetter = 'A';
    regionFields.versionMajor = 10;
    regionFields.regionName = L"PERU";
    std::wstring region = pack("r.ftf", regionFields, "");
    ASSERT_TRUE(readFtfSummary(region, summary));
    EXPECT_EQ(formatFtfSummary(summary),
              L"type: 3\nversion: A10.00\ninternal name: REGION\nbody length: 0\n"
              L"region name: PERU\n");

    EXPECT_FALSE(readFtfSummary(dir.file("missing.ftf"), summary));
    EXPECT_EQ(ErrorChain::firstCategory(), kErrorFile);
}

TEST_F(FlashReportTest, CodeplugBlocksFromAMapAndAStream) {
    std::wstring map = pack("map.ftf", test::fieldsOf(1, L"ADDR01"),
                            "DYN_START ADDRESS 0 BSIZE = 10\nDEF_BLK ADDRESS 84000\n");
    std::wstring codeplug =
        pack("cp.ftf", test::fieldsOf(1, L"CP"), "S30700000004AABB8F\nS30700084000CCDD07\n");
    CodeplugImage cpg;
    ASSERT_TRUE(loadCodeplugBlocks(map, codeplug, cpg)) << ErrorChain::text();
    EXPECT_EQ(cpg.block(kBlockDyn).data[4], 0xAA);
    EXPECT_EQ(cpg.block(kBlockDef).data[1], 0xDD);
    std::wstring table = formatBlockTable(cpg);
    EXPECT_TRUE(
        table.starts_with(L"block    address    size       capacity\n"
                          L"DYN      0x00000000 0x00000006 0x00000010\n"))
        << toUtf8(table);
    EXPECT_NE(table.find(L"DEF      0x00084000 0x00000002 0x00010000\n"), std::wstring::npos);

    std::wstring broken = pack("bad.ftf", test::fieldsOf(1, L"BAD"), "S3XX");
    EXPECT_FALSE(loadCodeplugBlocks(map, broken, cpg));
    EXPECT_EQ(ErrorChain::text(), L"Error:failed to parse codeplug file [" + broken +
                                      L"].\nError:failed to parse CPG stream.\n");
    ErrorChain::remove(kErrorOk);
    EXPECT_FALSE(loadCodeplugBlocks(dir.file("missing.ftf"), codeplug, cpg));
    EXPECT_EQ(ErrorChain::records().size(), 2u);
}

}  // namespace
}  // namespace plugshift
