#include <gtest/gtest.h>

#include <string>

#include "config/config_file_codec.h"
#include "config/config_scrambler.h"

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
