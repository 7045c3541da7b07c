#include "formats/ansi_text.h"

#include <gtest/gtest.h>

#include <string>

namespace plugshift {
namespace {

// Windows maps every byte of its code page 1252 to one character and back, the five bytes the
// code page leaves undefined included; a file written there must read back byte for byte.
TEST(AnsiTextTest, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    const std::wstring wide = widenAnsi(all);
    ASSERT_EQ(wide.size(), 256u);
    std::string back;
    ASSERT_TRUE(narrowAnsi(wide, back));
    EXPECT_EQ(back, all);
}

TEST(AnsiTextTest, MapsLikeWindows) {
    struct Case {
        unsigned char byte;
        wchar_t character;
    };
    const Case cases[] = {
        {0x41, L'A'},      {0x80, L'\u20AC'}, {0x81, L'\u0081'}, {0x8A, L'\u0160'},
        {0x8D, L'\u008D'}, {0x8F, L'\u008F'}, {0x90, L'\u0090'}, {0x92, L'\u2019'},
        {0x9D, L'\u009D'}, {0x9F, L'\u0178'}, {0xA0, L'\u00A0'}, {0xE9, L'\u00E9'},
        {0xFF, L'\u00FF'},
    };
    for (const Case& c : cases) {
        const std::wstring wide = widenAnsi(std::string(1, static_cast<char>(c.byte)));
        EXPECT_EQ(wide, std::wstring(1, c.character)) << std::hex << int{c.byte};
    }
}

TEST(AnsiTextTest, RefusesCharactersWithoutAByte) {
    std::string bytes = "stale";
    EXPECT_FALSE(narrowAnsi(L"code \u4E2D", bytes));
    EXPECT_FALSE(narrowAnsi(L"\U0001F600", bytes));
    // U+0080 is a C1 control that 1252 puts no byte on (0x80 is the euro sign).
    EXPECT_FALSE(narrowAnsi(L"\u0080", bytes));
    ASSERT_TRUE(narrowAnsi(L"Se\u00F1or \u20AC", bytes));
    EXPECT_EQ(bytes, "Se\xF1or \x80");
}

}  // namespace
}  // namespace plugshift
