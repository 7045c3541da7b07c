#include "errors/wide_text.h"

#include <gtest/gtest.h>

namespace plugshift {
namespace {

TEST(WideTextTest, FormatsBeyondAnyFixedBuffer) {
    std::wstring big(5000, L'a');
    EXPECT_EQ(formatWide(L"%ls-%d", big.c_str(), 7), big + L"-7");
}

TEST(WideTextTest, Utf8RoundTripAndInvalidBytes) {
    const std::wstring text = L"KMV \u00e9\u4e2d\U0001F4FB";
    EXPECT_EQ(fromUtf8(toUtf8(text)), text);
    EXPECT_EQ(fromUtf8("a\xff"
                       "b"),
              L"a\uFFFDb");
    EXPECT_EQ(fromUtf8("\xe4\xb8"), L"\uFFFD\uFFFD");  // cut short at the end
}

}  // namespace
}  // namespace plugshift
