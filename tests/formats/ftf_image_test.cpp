#include "formats/ftf_image.h"

#include <gtest/gtest.h>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "ftf_files.h"

namespace plugshift {
namespace {

using test::RawFtf;

class LoadFtfTest : public ::testing::Test {
protected:
    void SetUp() override { ErrorChain::remove(kErrorOk); }
    void TearDown() override { ErrorChain::remove(kErrorOk); }

    test::TempDir dir;
    FtfImage image;
};

const std::vector<uint8_t> kBody =
    test::bytesOf("S1130000 body bytes that are long enough to wrap the key");

TEST_F(LoadFtfTest, HandMadeFilesOfEveryTypeLoad) {
    struct Case {
        uint8_t type;
        std::vector<uint8_t> prefix;
        uint32_t version;  // the header's, or for types 1 and 2 the payload's
        uint32_t codeplugVersion;
        std::string model;
        std::wstring region;
    };
    const Case cases[] = {
        {0, test::modelPrefix(0x1E020152, "KMV410-PERU"), 0x03020152, 0x1E020152, "KMV410-PERU",
         L""},
        {1, test::versionPrefix(0x11223344), 0x11223344, 0, "", L""},
        {2, test::versionPrefix(0x55667788), 0x55667788, 0, "", L""},
        {3, test::regionPrefix("PERU"), 0x03020152, 0, "", L"PERU"},
        {9, {}, 0x03020152, 0, "", L""},  // an unknown type: no prefix
    };
    for (const Case& c : cases) {
        RawFtf raw(c.type, "KMV410DEF");
        raw.payload = c.prefix;
        std::vector<uint8_t> body = test::scrambled(kBody);
        raw.payload.insert(raw.payload.end(), body.begin(), body.end());
        raw.trailer = {1, 2, 3};  // covered by the digest, otherwise ignored
        std::wstring path = dir.write("f.ftf", test::assemble(raw));

        ASSERT_TRUE(loadFtf(path.c_str(), image)) << ErrorChain::text();
        EXPECT_EQ(std::vector<uint8_t>(image.body().begin(), image.body().end()), kBody)
            << "type " << int{c.type};
        EXPECT_EQ(image.type, c.type);
        EXPECT_EQ(image.versionText, L"R01.02");
        EXPECT_EQ(image.internalName, L"KMV410DEF");
        EXPECT_EQ(image.version, c.version);
        EXPECT_EQ(image.codeplugVersion, c.codeplugVersion);
        EXPECT_EQ(image.modelNameText(), c.model);
        EXPECT_EQ(image.regionName, c.region);
    }
    EXPECT_TRUE(ErrorChain::records().empty());
}

// The key starts again at the body's first byte, not at the payload's or the file's.
TEST_F(LoadFtfTest, ScramblingRestartsAfterThePrefix) {
    RawFtf raw(0, "NAME");
    raw.payload = test::modelPrefix(1, "AB");  // 7 bytes: not a multiple of the key length
    raw.payload.insert(raw.payload.end(), {'Z' ^ 'x', 'Q' ^ 'y', 'K' ^ 'z', 'Z' ^ 'w'});
    ASSERT_TRUE(loadFtf(dir.write("f.ftf", test::assemble(raw)).c_str(), image));
    ASSERT_EQ(image.length, 4u);
    EXPECT_EQ(std::string(image.data.begin(), image.data.begin() + 4), "xyzw");
}

TEST_F(LoadFtfTest, FailuresRecordOneReasonAndLeaveTheImageEmpty) {
    auto valid = [] {
        RawFtf raw(1, "NAME");
        raw.payload = test::versionPrefix(7);
        raw.payload.insert(raw.payload.end(), kBody.begin(), kBody.end());
        return raw;
    };
    auto withPayload = [](uint8_t type, std::vector<uint8_t> payload) {
        return test::assemble(RawFtf(type, "NAME", std::move(payload)));
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        int category;
        const wchar_t* message;
    };
    std::vector<Case> cases;
    cases.push_back({"empty file", {}, kErrorFtf, L"Error:invalid file [%ls]."});
    std::vector<uint8_t> header = test::assemble(valid());
    cases.push_back({"33 bytes",
                     {header.begin(), header.begin() + 33},
                     kErrorFtf,
                     L"Error:invalid file [%ls]."});
    // Header complete but its name is not: no field of it may be used.
    cases.push_back({"name cut",
                     {header.begin(), header.begin() + 36},
                     kErrorFtf,
                     L"Error:invalid file [%ls]."});
    std::vector<uint8_t> badSignature = header;
    badSignature[3] = 1;
    badSignature.back() ^= 1;  // a wrong digest too: the signature is checked first
    cases.push_back(
        {"signature", badSignature, kErrorFtf, L"Error:invalid signature for file [%ls]."});
    std::vector<uint8_t> badDigest = header;
    badDigest.back() ^= 1;
    cases.push_back({"digest", badDigest, kErrorFtf, L"Error:invalid file [%ls]."});
    RawFtf lying = valid();
    lying.payloadLength = static_cast<uint32_t>(lying.payload.size() + 1);
    cases.push_back({"payload length beyond the file", test::assemble(lying), kErrorFtf,
                     L"Error:invalid file [%ls]."});
    lying.payloadLength = 0xFFFFFFFF;
    cases.push_back({"payload length far beyond the file", test::assemble(lying), kErrorFtf,
                     L"Error:invalid file [%ls]."});
    cases.push_back({"model of 21", withPayload(0, test::modelPrefix(1, std::string(21, 'M'))),
                     kErrorFtf, L"Error:the model name is tool long for [%ls]."});
    cases.push_back({"region of 11", withPayload(3, test::regionPrefix("PERUPERUPER")), kErrorFtf,
                     L"Error:the region name is too long for [%ls]."});
    // Payloads shorter than the prefix their type announces.
    cases.push_back(
        {"type 0, 4 bytes", withPayload(0, {1, 2, 3, 4}), kErrorFtf, L"Error:invalid file [%ls]."});
    std::vector<uint8_t> shortModel = test::modelPrefix(1, "KMV");
    shortModel.pop_back();
    cases.push_back(
        {"type 0, model cut", withPayload(0, shortModel), kErrorFtf, L"Error:invalid file [%ls]."});
    cases.push_back(
        {"type 2, 3 bytes", withPayload(2, {1, 2, 3}), kErrorFtf, L"Error:invalid file [%ls]."});
    cases.push_back(
        {"type 3, no payload", withPayload(3, {}), kErrorFtf, L"Error:invalid file [%ls]."});
    cases.push_back({"type 3, region cut", withPayload(3, {4, 'P', 'E'}), kErrorFtf,
                     L"Error:invalid file [%ls]."});

    for (const Case& c : cases) {
        image.data.assign(100, 0xEE);  // left from an earlier load
        image.length = 100;
        image.versionText = L"X";
        image.internalName = L"X";
        std::wstring path = dir.write("f.ftf", c.file);
        EXPECT_FALSE(loadFtf(path.c_str(), image)) << c.what;
        std::vector<ErrorRecord> records = ErrorChain::records();
        ASSERT_EQ(records.size(), 1u) << c.what;
        EXPECT_EQ(records[0].category, c.category) << c.what;
        EXPECT_EQ(records[0].message, formatWide(c.message, path.c_str())) << c.what;
        EXPECT_TRUE(image.data.empty() && image.data.capacity() == 0) << c.what;
        EXPECT_EQ(image.length, 0u);
        EXPECT_TRUE(image.versionText.empty() && image.internalName.empty()) << c.what;
        ErrorChain::remove(kErrorOk);
    }
}

TEST_F(LoadFtfTest, FilesThatCannotBeReadAreFileErrors) {
    std::wstring missing = dir.file("missing.ftf");
    EXPECT_FALSE(loadFtf(missing.c_str(), image));
    EXPECT_EQ(ErrorChain::firstMessage(), L"Error:failed to open file [" + missing + L"].");
    EXPECT_EQ(ErrorChain::firstCategory(), kErrorFile);
    ErrorChain::remove(kErrorOk);

    std::wstring folder = dir.file("");
    EXPECT_FALSE(loadFtf(folder.c_str(), image));
    EXPECT_EQ(ErrorChain::firstMessage(), L"Error:failed to read file [" + folder + L"].");
    EXPECT_EQ(ErrorChain::firstCategory(), kErrorFile);
}

// A reused image must not show a field of the previous file's type.
TEST_F(LoadFtfTest, ReusedImageKeepsNothingOfTheLastFile) {
    RawFtf model(0, "NAME", test::modelPrefix(5, "KMV410"));
    ASSERT_TRUE(loadFtf(dir.write("a.ftf", test::assemble(model)).c_str(), image));
    RawFtf region(3, "R", test::regionPrefix("PERU"));
    ASSERT_TRUE(loadFtf(dir.write("b.ftf", test::assemble(region)).c_str(), image));
    EXPECT_EQ(image.codeplugVersion, 0u);
    EXPECT_EQ(image.modelNameLength, 0);
    EXPECT_EQ(image.regionName, L"PERU");
    EXPECT_EQ(image.length, 0u);
    ASSERT_TRUE(loadFtf(dir.write("a.ftf", test::assemble(model)).c_str(), image));
    EXPECT_TRUE(image.regionName.empty());
}

}  // namespace
}  // namespace plugshift
