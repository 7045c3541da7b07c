// The window's texts: kept exactly, and filled without reading the argument as a format.

#include <gtest/gtest.h>

#include <string>

#include "desktop/string_table.h"

namespace plugshift {
namespace {

struct TextCase {
    int id;
    const wchar_t* text;
};

// Texts that are easy to "fix" by mistake: misspellings, inner quotes, doubled and trailing
// blanks, line breaks and letters outside ASCII are all part of the text.
TEST(StringTableTest, KeepsTextsExactly) {
    const TextCase cases[] = {
        {str::kRestartForLanguage,
         L"You have to restart the tool for thsi change to take effect."},
        {str::kManyCables,
         L"There are %d USB conections. Please remove the unused and keep one connection only."},
        {str::kToggleCableDigitalRetry,
         L"Please toggle the USB cable to DIGITAL (Flash) mode then click OK.  After clicking "
         L"OK, click the \"Convert\" button to retry the process. "},
        {str::kFileMissing,
         L"A file needed for application could not be found or is corrupted. Please re-install "
         L"the application.\nIf you continue to get this message, please contact Customer "
         L"Service."},
        {str::kLangPortugueseBrazil, L"Portugu\u00eas (&Brasil)"},
        {str::kLangRussian, L"\u0420\u0443\u0441\u0441\u043a\u0438\u0439(&R)"},
        {str::kTimeLabelEmpty, L"[ 00-00 00:00 ]"},
        {str::kPleaseWait, L"Please wait..."},
        {str::kCopyright, L"Copyright \u00a9 2025 Kestrelon. All rights reserved."},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(StringTable::text(c.id), c.text) << c.id;
    }
}

TEST(StringTableTest, UnknownIdIsEmpty) {
    EXPECT_FALSE(StringTable::contains(118));
    EXPECT_TRUE(StringTable::text(118).empty());
    EXPECT_TRUE(StringTable::contains(str::kLabelUserPrivateId));
}

TEST(StringTableTest, TitleJoinsItsThreePieces) {
    EXPECT_EQ(StringTable::title(), L"KMV410 Plugshift 916-928MHz");
}

TEST(StringTableTest, FormatFillsTheOnePlaceholder) {
    struct FormatCase {
        int id;
        const wchar_t* argument;
        const wchar_t* expected;
    };
    const FormatCase cases[] = {
        {str::kManyCables, L"2",
         L"There are 2 USB conections. Please remove the unused and keep one connection only."},
        {str::kAlreadyConverted, L"916-928MHz", L"This radio is already in 916-928MHz."},
        {str::kSeries, L"KMV", L"KMV Series"},
        // An argument is text, never a format of its own.
        {str::kAboutCaption, L"100% %s %d", L"About 100% %s %d"},
        {str::kConvertFailed, L"x", L"Convert failed."},
    };
    for (const FormatCase& c : cases) {
        EXPECT_EQ(StringTable::format(c.id, c.argument), c.expected) << c.id;
    }
    EXPECT_EQ(StringTable::format(str::kManyCables, 3).substr(0, 13), L"There are 3 U");
}

}  // namespace
}  // namespace plugshift
