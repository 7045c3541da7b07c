#include "errors/error_chain.h"

#include <gtest/gtest.h>

#include "errors/error_category.h"

namespace plugshift {
namespace {

class ErrorChainTest : public ::testing::Test {
protected:
    void SetUp() override { ErrorChain::remove(kErrorOk); }
    void TearDown() override { ErrorChain::remove(kErrorOk); }
};

TEST_F(ErrorChainTest, EmptyChainReportsOk) {
    EXPECT_EQ(ErrorChain::text(), L"OK");
    EXPECT_EQ(ErrorChain::firstMessage(), L"OK");
    EXPECT_EQ(ErrorChain::firstCategory(), 0);
}

TEST_F(ErrorChainTest, OldestFirstAndTextNewestFirst) {
    ErrorChain::add(kErrorProt, L"Error:failed to read port for %d bytes after %d trials.", 1, 2);
    ErrorChain::add(kErrorSbep, L"B %ls", L"wide");
    ErrorChain::add(kErrorUpdate, L"C");
    EXPECT_EQ(ErrorChain::firstMessage(), L"Error:failed to read port for 1 bytes after 2 trials.");
    EXPECT_EQ(ErrorChain::firstCategory(), kErrorProt);
    EXPECT_EQ(ErrorChain::text(),
              L"C\nB wide\nError:failed to read port for 1 bytes after 2 trials.\n");
}

TEST_F(ErrorChainTest, RemoveByCategoryKeepsOthersInOrder) {
    for (int category : {6, 9, 6, 3}) {
        ErrorChain::add(category, L"%d", category);
    }
    ErrorChain::remove(6);
    auto records = ErrorChain::records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].category, 9);
    EXPECT_EQ(records[1].category, 3);
    ErrorChain::remove(0);
    EXPECT_TRUE(ErrorChain::records().empty());
}

TEST_F(ErrorChainTest, LongMessageIsCutTo255Characters) {
    std::wstring longText(300, L'x');
    longText[254] = L'y';
    ErrorChain::add(kErrorOther, L"%ls", longText.c_str());
    std::wstring stored = ErrorChain::firstMessage();
    EXPECT_EQ(stored.size(), 255u);
    EXPECT_EQ(stored.back(), L'y');
}

TEST(ErrorCategoryTest, LabelsAndFileCategories) {
    EXPECT_STREQ(errorCategoryLabel(kErrorOk), L"OK");
    EXPECT_STREQ(errorCategoryLabel(kErrorUpdate), L"Error:UPDATE");
    EXPECT_STREQ(errorCategoryLabel(kErrorResource), L"Error:RESOURCE.");
    EXPECT_STREQ(errorCategoryLabel(42), L"Error:OTHER");
    for (int category = 0; category <= 10; ++category) {
        bool expected =
            category == 1 || category == 4 || category == 5 || category == 6 || category == 7;
        EXPECT_EQ(isFileCategory(category), expected) << category;
    }
}

}  // namespace
}  // namespace plugshift
