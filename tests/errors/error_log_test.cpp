#include "errors/error_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "errors/error_chain.h"
#include "errors/wide_text.h"

namespace plugshift {
namespace {

namespace fs = std::filesystem;

class ErrorLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ErrorLog::reset();
        dir_ = fs::temp_directory_path() /
               ("errlog-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        ErrorLog::setDirectory(fromUtf8(dir_.string()));
    }
    void TearDown() override {
        ErrorLog::reset();
        ErrorChain::remove(0);
        fs::remove_all(dir_);
    }
    std::string contents() const {
        std::ifstream in(dir_ / "log" / "err.log");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir_;
};

TEST_F(ErrorLogTest, SetDirectoryCreatesLogFolderWithOrWithoutTrailingSlash) {
    const std::wstring expected = fromUtf8((dir_ / "log" / "err.log").string());
    EXPECT_EQ(ErrorLog::path(), expected);
    EXPECT_TRUE(fs::is_directory(dir_ / "log"));
    ErrorLog::setDirectory(fromUtf8(dir_.string() + "/"));
    EXPECT_EQ(ErrorLog::path(), expected);
    ErrorLog::setDirectory(L"");
    EXPECT_EQ(ErrorLog::path(), fromUtf8((fs::path("..") / "log" / "err.log").string()));
}

TEST_F(ErrorLogTest, EntryIsOneStampedLine) {
    ASSERT_TRUE(ErrorLog::write(L"Error:failed to create mutex."));
    std::regex line(R"(\[ \d\d-\d\d \d\d:\d\d:\d\d \] Error:failed to create mutex\.\n)");
    EXPECT_TRUE(std::regex_match(contents(), line)) << contents();
}

TEST_F(ErrorLogTest, MessageFromChainIsLiteral) {
    ErrorChain::add(9, L"%ls", L"100% done %d %s");
    ErrorLog::write(L"%ls", ErrorChain::text().c_str());
    EXPECT_NE(contents().find("] 100% done %d %s\n\n"), std::string::npos) << contents();
}

TEST_F(ErrorLogTest, ThousandEntriesThenFileIsEmptiedFirst) {
    for (int i = 1; i <= 1000; ++i) {
        ErrorLog::write(L"entry %d", i);
    }
    std::string full = contents();
    EXPECT_EQ(std::count(full.begin(), full.end(), '\n'), 1000);
    EXPECT_NE(full.find("entry 1000\n"), std::string::npos);
    ErrorLog::write(L"entry %d", 1001);
    std::string after = contents();
    EXPECT_EQ(std::count(after.begin(), after.end(), '\n'), 1);
    EXPECT_NE(after.find("entry 1001\n"), std::string::npos);
}

TEST_F(ErrorLogTest, NextRunAppends) {
    ErrorLog::write(L"first run");
    ErrorLog::reset();
    ErrorLog::setDirectory(fromUtf8(dir_.string()));
    ErrorLog::write(L"second run");
    std::string text = contents();
    EXPECT_LT(text.find("first run"), text.find("second run"));
}

TEST_F(ErrorLogTest, UnwritableLogFailsSilentlyAndRecoversLater) {
    ErrorLog::reset();
    EXPECT_FALSE(ErrorLog::write(L"lost before the directory is set"));
    ErrorLog::setDirectory(fromUtf8((dir_ / "missing" / "deeper").string()));
    EXPECT_FALSE(ErrorLog::write(L"no folder"));
    fs::create_directories(dir_ / "missing" / "deeper" / "log");
    EXPECT_TRUE(ErrorLog::write(L"now it works"));
}

TEST_F(ErrorLogTest, NonAsciiTextIsWrittenAsUtf8) {
    ErrorLog::write(L"%ls", L"Señal ü");
    EXPECT_NE(contents().find("Se\xc3\xb1"
                              "al \xc3\xbc"),
              std::string::npos);
}

}  // namespace
}  // namespace plugshift
