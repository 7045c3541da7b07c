#include <gtest/gtest.h>

#include <string>

#include "config/config_file_codec.h"
#include "config/config_scrambler.h"
#include "config/cp1252.h"

namespace plugshift {
namespace {

TEST(ConfigScrambler, XorsWithRepeatingKeyAndIsItsOwnInverse) {
    const std::string plain = "<r id=\"1\"/>";
    const std::string scrambled = scrambledConfigText(plain);
    ASSERT_EQ(scrambled.size(), plain.size());
    for (size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(static_cast<char>(scrambled[i] ^ "QJXW"[i % 4]), plain[i]) << i;
    }
    EXPECT_EQ(scrambled[0], static_cast<char>('<' ^ 'Q'));
    EXPECT_EQ(scrambled[6], static_cast<char>('"' ^ 'X'));
    EXPECT_EQ(scrambledConfigText(scrambled), plain);
    EXPECT_EQ(scrambledConfigText(""), "");
}

// Windows maps every byte of its code page 1252 to one character and back, the five bytes the
// code page leaves undefined included; a file written there must read back byte for byte.
TEST(Cp1252, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    std::wstring wide;
    ASSERT_TRUE(cp1252ToWide(all, wide));
    ASSERT_EQ(wide.size(), 256u);
    std::string back;
    ASSERT_TRUE(wideToCp1252(wide, back));
    EXPECT_EQ(back, all);
}

TEST(Cp1252, MapsLikeWindows) {
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
        std::wstring wide;
        ASSERT_TRUE(cp1252ToWide(std::string(1, static_cast<char>(c.byte)), wide));
        EXPECT_EQ(wide, std::wstring(1, c.character)) << std::hex << int{c.byte};
    }
}

TEST(Cp1252, RefusesCharactersWithoutAByte) {
    std::string bytes = "stale";
    EXPECT_FALSE(wideToCp1252(L"code \u4E2D", bytes));
    EXPECT_FALSE(wideToCp1252(L"\U0001F600", bytes));
    // U+0080 is a C1 control that 1252 puts no byte on (0x80 is the euro sign).
    EXPECT_FALSE(wideToCp1252(L"\u0080", bytes));
    ASSERT_TRUE(wideToCp1252(L"Se\u00F1or \u20AC", bytes));
    EXPECT_EQ(bytes, "Se\xF1or \x80");
}

TEST(ConfigFileCodec, ReadableTextAndFileBytesConvertBothWays) {
    std::string bytes;
    ASSERT_TRUE(encodeConfigText("<r name=\"Per\u00FA \u20AC\"/>", bytes));
    EXPECT_EQ(bytes, scrambledConfigText("<r name=\"Per\xFA \x80\"/>"));
    std::string text;
    ASSERT_TRUE(decodeConfigBytes(bytes, text));
    EXPECT_EQ(text, "<r name=\"Per\u00FA \u20AC\"/>");
    EXPECT_FALSE(encodeConfigText("<r name=\"\u4E2D\"/>", bytes));
    EXPECT_FALSE(encodeConfigText("<r name=\"\xFA\"/>", bytes)) << "not UTF-8";
}

}  // namespace
}  // namespace plugshift
