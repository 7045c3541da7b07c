#include "formats/ansi_text.h"

#include <gtest/gtest.h>

namespace plugshift {
namespace {

TEST(AnsiTextTest, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    std::wstring wide = widenAnsi(reinterpret_cast<const uint8_t*>(all.data()), all.size());
    EXPECT_EQ(wide[0x41], L'A');
    EXPECT_EQ(wide[0x80], L'\u20AC');  // euro sign
    EXPECT_EQ(wide[0x9F], L'\u0178');
    EXPECT_EQ(wide[0xE9], L'\u00E9');
    std::string back;
    ASSERT_TRUE(narrowAnsi(wide, back));
    EXPECT_EQ(back, all);
}

TEST(AnsiTextTest, CharacterWithoutSingleByteFormIsRefused) {
    std::string out;
    EXPECT_FALSE(narrowAnsi(L"KMV\u4E00", out));
    EXPECT_FALSE(narrowAnsi(L"\u0100", out));
}

}  // namespace
}  // namespace plugshift
