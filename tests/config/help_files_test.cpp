#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/help_files.h"

namespace plugshift {
namespace {

using Names = std::vector<std::wstring>;

// The names F1 tries, compiled help first, in lower case; an empty language is English.
TEST(HelpFilesTest, FileNamesOfALanguage) {
    EXPECT_EQ(HelpFiles::fileNames(L""), (Names{L"en_us.chm", L"en_us.html"}));
    EXPECT_EQ(HelpFiles::fileNames(L"PT_BR"), (Names{L"pt_br.chm", L"pt_br.html"}));
}

}  // namespace
}  // namespace plugshift
