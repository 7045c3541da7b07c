#include "formats/ftf_info.h"

#include <gtest/gtest.h>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "ftf_files.h"

namespace plugshift {
namespace {

using test::RawFtf;

class ReadFtfInfoTest : public ::testing::Test {
protected:
    void SetUp() override { ErrorChain::remove(kErrorOk); }
    void TearDown() override { ErrorChain::remove(kErrorOk); }

    test::TempDir dir;
    FtfInfo info;
};

std::vector<uint8_t> withBody(std::vector<uint8_t> prefix, size_t bodyLength) {
    prefix.resize(prefix.size() + bodyLength, 0x55);
    return prefix;
}

TEST_F(ReadFtfInfoTest, SummarisesEveryTypeWithoutCheckingTheDigest) {
    RawFtf model(0, "KMV410DEFR01",
                 withBody(test::modelPrefix(0x1E020152, std::string(21, 'M')), 40));
    std::vector<uint8_t> file = test::assemble(model);
    file[8] ^= 0xFF;  // readFtfInfo never looks at the digest
    ASSERT_TRUE(readFtfInfo(dir.write("m.ftf", file).c_str(), info)) << ErrorChain::text();
    EXPECT_EQ(info.type, 0);
    EXPECT_EQ(info.nameLength, 12);
    EXPECT_STREQ(info.internalName, L"KMV410DEFR01");
    EXPECT_EQ(info.codeplugVersion, 0x1E020152u);
    EXPECT_EQ(info.modelNumberText(), std::string(11, 'M'));  // a 21-character model keeps 11
    EXPECT_EQ(info.bodyLength, 40);
    EXPECT_EQ(info.regionName[0], L'\0');

    RawFtf versioned(2, "ADDR01", withBody(test::versionPrefix(9), 3));
    ASSERT_TRUE(readFtfInfo(dir.write("v.ftf", test::assemble(versioned)).c_str(), info));
    EXPECT_EQ(info.type, 2);
    EXPECT_EQ(info.codeplugVersion, 9u);
    EXPECT_EQ(info.bodyLength, 3);
    EXPECT_EQ(info.modelNumberLength, 0);

    RawFtf region(3, "R", withBody(test::regionPrefix("PERUPERUPER"), 5));
    ASSERT_TRUE(readFtfInfo(dir.write("r.ftf", test::assemble(region)).c_str(), info));
    EXPECT_STREQ(info.regionName, L"PERUPERUPE");  // an 11-character region keeps 10
    EXPECT_EQ(info.bodyLength, 5);
    EXPECT_TRUE(ErrorChain::records().empty());
}

TEST_F(ReadFtfInfoTest, FailuresTable) {
    std::vector<uint8_t> valid = test::assemble(RawFtf(1, "NAME", test::versionPrefix(1)));
    auto cut = [](std::vector<uint8_t> file, size_t length) {
        file.resize(length);
        return file;
    };
    auto retyped = [](std::vector<uint8_t> file, uint8_t type) {
        file[28] = type;
        return file;
    };
    std::vector<uint8_t> badSignature = valid;
    badSignature[7] = 1;
    std::vector<uint8_t> model = test::assemble(RawFtf(0, "NAME", test::modelPrefix(1, "KMV")));
    std::vector<uint8_t> region = test::assemble(RawFtf(3, "NAME", test::regionPrefix("PERU")));
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        const wchar_t* message;
    };
    const Case cases[] = {
        {"33 bytes", cut(valid, 33), L"Error:failed to read FTF header for file [%ls]."},
        {"signature", badSignature, L"Error:invalid signature for file [%ls]."},
        {"type 4", retyped(valid, 4), L"Error:invalid FTF type for file [%ls]."},
        {"type 255", retyped(valid, 255), L"Error:invalid FTF type for file [%ls]."},
        {"name cut", cut(valid, 37), L"Error:failed to read internal name for file [%ls]."},
        {"type 0 prefix cut", cut(model, 38 + 4),
         L"Error:faild to retrival codeplug version for [%ls]."},
        {"type 0 model cut", cut(model, 38 + 5 + 2),
         L"Error:failed to retrival model number for [%ls]."},
        {"type 1 prefix cut", cut(valid, 38 + 3),
         L"Error:faild to retreval codeplug version for [%ls]."},
        {"type 2 prefix cut", retyped(cut(valid, 38 + 3), 2),
         L"Error:faild to retreval codeplug version for [%ls]."},
        {"type 3 prefix cut", cut(region, 38),
         L"Error:faild to retreval codeplug version for [%ls]."},
        {"type 3 region cut", cut(region, 38 + 1 + 3),
         L"Error:failed to retrival model number for [%ls]."},
    };
    for (const Case& c : cases) {
        std::wstring path = dir.write("f.ftf", c.file);
        EXPECT_FALSE(readFtfInfo(path.c_str(), info)) << c.what;
        std::vector<ErrorRecord> records = ErrorChain::records();
        ASSERT_EQ(records.size(), 1u) << c.what;
        EXPECT_EQ(records[0].category, kErrorFtf) << c.what;
        EXPECT_EQ(records[0].message, formatWide(c.message, path.c_str())) << c.what;
        ErrorChain::remove(kErrorOk);
    }
}

TEST_F(ReadFtfInfoTest, MissingFileIsAFileErrorAndNullPathLeavesNoRecord) {
    std::wstring missing = dir.file("missing.ftf");
    EXPECT_FALSE(readFtfInfo(missing.c_str(), info));
    EXPECT_EQ(ErrorChain::firstMessage(), L"Error:failed to open the file [" + missing + L"].");
    EXPECT_EQ(ErrorChain::firstCategory(), kErrorFile);
    ErrorChain::remove(kErrorOk);
    EXPECT_FALSE(readFtfInfo(nullptr, info));
    EXPECT_TRUE(ErrorChain::records().empty());
}

}  // namespace
}  // namespace plugshift
