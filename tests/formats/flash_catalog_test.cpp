#include "formats/flash_catalog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "ftf_files.h"

namespace plugshift {
namespace {

using test::RawFtf;

class FlashCatalogTest : public ::testing::Test {
protected:
    void SetUp() override { ErrorChain::remove(kErrorOk); }
    void TearDown() override { ErrorChain::remove(kErrorOk); }

    void writeFtf(const std::string& file, const std::string& internalName) {
        dir.write(file, test::assemble(RawFtf(1, internalName, test::versionPrefix(1))));
    }

    test::TempDir dir;
    FlashCatalog catalog;
};

TEST_F(FlashCatalogTest, CataloguesValidFilesOfTheConfigurationFolder) {
    writeFtf("a.ftf", "ADDR01");
    writeFtf("b.ftf", "KMV410DEFR01");
    writeFtf("c.bin", "KMV410DEFR01");  // the same internal name: the later file wins
    dir.write("config.xml", test::bytesOf("<config/>"));
    dir.write("empty", {});
    std::filesystem::create_directory(dir.path() / "lang");

    // The configuration names its folder through the configuration file itself.
    std::wstring pattern = dir.file("config.xml") + L"/../*.*";
    EXPECT_EQ(catalog.scan(pattern.c_str()), 3);
    EXPECT_TRUE(ErrorChain::records().empty()) << "records of non-flash files are dropped";

    EXPECT_EQ(catalog.byFileName().size(), 3u);
    ASSERT_TRUE(catalog.byFileName().contains(L"b.ftf"));
    EXPECT_STREQ(catalog.byFileName().at(L"b.ftf").internalName, L"KMV410DEFR01");
    EXPECT_EQ(catalog.byInternalName().size(), 2u);
    std::wstring path;
    ASSERT_TRUE(catalog.findPath(L"KMV410DEFR01", path));
    EXPECT_EQ(path, dir.file("c.bin"));
    ASSERT_TRUE(catalog.findPath(L"ADDR01", path));
    EXPECT_EQ(path, dir.file("a.ftf"));
    EXPECT_FALSE(catalog.findPath(L"ADDR02", path));
    EXPECT_EQ(path, dir.file("a.ftf"));  // untouched when not found
}

TEST_F(FlashCatalogTest, RescanStartsEmpty) {
    writeFtf("a.ftf", "ADDR01");
    std::wstring pattern = dir.file("*.*");
    EXPECT_EQ(catalog.scan(pattern.c_str()), 1);
    std::filesystem::remove(dir.path() / "a.ftf");
    EXPECT_EQ(catalog.scan(pattern.c_str()), 0);
    EXPECT_TRUE(catalog.byFileName().empty());
    EXPECT_TRUE(catalog.byInternalName().empty());
    EXPECT_TRUE(ErrorChain::records().empty()) << "an empty folder is no error";
}

TEST_F(FlashCatalogTest, MissingFolderIsRecordedAndNullPatternIsNot) {
    std::wstring pattern = dir.file("nowhere") + L"/*.*";
    EXPECT_EQ(catalog.scan(pattern.c_str()), 0);
    EXPECT_EQ(ErrorChain::firstMessage(), L"Error:failed to find the file [" + pattern + L"].");
    EXPECT_EQ(ErrorChain::firstCategory(), kErrorFile);
    ErrorChain::remove(kErrorOk);
    EXPECT_EQ(catalog.scan(nullptr), 0);
    EXPECT_TRUE(ErrorChain::records().empty());
}

}  // namespace
}  // namespace plugshift
