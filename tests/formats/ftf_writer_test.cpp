#include "formats/ftf_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "formats/ftf_image.h"
#include "formats/ftf_info.h"
#include "ftf_files.h"

namespace plugshift {
namespace {

class FtfWriterTest : public ::testing::Test {
protected:
    void SetUp() override { ErrorChain::remove(kErrorOk); }
    void TearDown() override { ErrorChain::remove(kErrorOk); }

    test::TempDir dir;
};

// The writer's bytes equal the hand-assembled file, and loadFtf reads them back.
TEST_F(FtfWriterTest, WritesWhatTheReadersRead) {
    const std::vector<uint8_t> body = test::bytesOf("DEF_BLK ADDRESS 84000 BSIZE = 10000\n");
    FtfFields fields = test::fieldsOf(kFtfModelPrefix, L"KMV410DEFR01");
    fields.versionMajor = 1;
    fields.versionMinor = 2;
    fields.versionFourth = 3;
    fields.codeplugVersion = 0x1E020152;
    fields.modelNumber = L"H98QDH9PW6AN";
    std::vector<uint8_t> file;
    ASSERT_TRUE(buildFtf(fields, body, file)) << ErrorChain::text();
    std::vector<uint8_t> payload = test::modelPrefix(0x1E020152, "H98QDH9PW6AN");
    std::vector<uint8_t> scrambled = test::scrambled(body);
    payload.insert(payload.end(), scrambled.begin(), scrambled.end());
    EXPECT_EQ(file, test::assemble(test::RawFtf(0, "KMV410DEFR01", payload)));

    std::wstring path = dir.file("out.ftf");
    ASSERT_TRUE(writeFtf(path, fields, body));
    FtfImage image;
    ASSERT_TRUE(loadFtf(path.c_str(), image)) << ErrorChain::text();
    EXPECT_EQ(std::vector<uint8_t>(image.body().begin(), image.body().end()), body);
    FtfInfo info;
    ASSERT_TRUE(readFtfInfo(path.c_str(), info));
    EXPECT_EQ(info.bodyLength, static_cast<int32_t>(body.size()));
    // Nothing written beside it is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(FtfWriterTest, RefusesWhatCouldNotBeReadBack) {
    auto withModel = [](std::wstring model) {
        FtfFields fields = test::fieldsOf(kFtfModelPrefix, L"N");
        fields.modelNumber = std::move(model);
        return fields;
    };
    auto withRegion = [](std::wstring region) {
        FtfFields fields = test::fieldsOf(kFtfRegionPrefix, L"N");
        fields.regionName = std::move(region);
        return fields;
    };
    struct Case {
        const char* what;
        FtfFields fields;
    };
    const Case cases[] = {
        {"type 4", test::fieldsOf(4, L"N")},
        {"name of 256", test::fieldsOf(1, std::wstring(256, L'N'))},
        {"name without a single-byte form", test::fieldsOf(1, L"KMV\u4E00")},
        {"model of 21", withModel(std::wstring(21, L'M'))},
        {"region of 11", withRegion(L"PERUPERUPER")},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file;
        EXPECT_FALSE(buildFtf(c.fields, {}, file)) << c.what;
        EXPECT_EQ(ErrorChain::firstCategory(), kErrorFtf) << c.what;
        EXPECT_EQ(ErrorChain::records().size(), 1u) << c.what;
        ErrorChain::remove(kErrorOk);
    }
    FtfFields longest = withModel(std::wstring(20, L'M'));
    longest.internalName = std::wstring(255, L'N');
    std::vector<uint8_t> file;
    EXPECT_TRUE(buildFtf(longest, {}, file));
}

TEST_F(FtfWriterTest, UnwritableTargetIsAFileError) {
    std::wstring path = dir.file("no/such/folder.ftf");
    EXPECT_FALSE(writeFtf(path, test::fieldsOf(1, L"N"), {}));
    EXPECT_EQ(ErrorChain::firstCategory(), kErrorFile);
    EXPECT_TRUE(
        ErrorChain::firstMessage().starts_with(L"Error:failed to write file [" + path + L"]"));
}

TEST(FtfVersionTextTest, HeaderAndCodeplugVersions) {
    struct Case {
        const wchar_t* text;
        bool valid;
        uint8_t bytes[4];
    };
    const Case header[] = {
        {L"R01.02", true, {'R', 1, 2, 0}},
        {L"r1.20.255", true, {'r', 1, 20, 255}},
        {L"R01", false, {}},
        {L"R01.256", false, {}},
        {L"01.02", false, {}},
        {L"R01.02.03.04", false, {}},
        {L"R01..02", false, {}},
        {L"R01.02x", false, {}},
    };
    for (const Case& c : header) {
        FtfFields fields;
        ASSERT_EQ(parseFtfVersion(c.text, fields), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(fields.versionLetter, c.bytes[0]);
            EXPECT_EQ(fields.versionMajor, c.bytes[1]);
            EXPECT_EQ(fields.versionMinor, c.bytes[2]);
            EXPECT_EQ(fields.versionFourth, c.bytes[3]);
        }
    }
    struct Number {
        const wchar_t* text;
        bool valid;
        uint32_t value;
    };
    const Number codeplug[] = {
        {L"R01.02.30", true, 0x1E020152},
        {L"0x1E020152", true, 0x1E020152},
        {L"42", true, 42},
        {L"R01.02", false, 0},
        {L"0x100000000", false, 0},
        {L"-1", false, 0},
        {L"", false, 0},
    };
    for (const Number& c : codeplug) {
        uint32_t value = 0;
        ASSERT_EQ(parseCodeplugVersion(c.text, value), c.valid) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

}  // namespace
}  // namespace plugshift
