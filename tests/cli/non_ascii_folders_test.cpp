// A dealer's computer with accents: the installation and the data folder under names outside
// ASCII, and the program run under the C locale as well as a UTF-8 one. Every command that reads,
// writes, records or shows a path must carry it unchanged.

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/system_files.h"

namespace plugshift {
namespace {

namespace fs = std::filesystem;
using test::ChildProcess;
using ::testing::HasSubstr;

constexpr const char* kSampleInstall = PLUGSHIFT_SAMPLE_INSTALL_DIR;
constexpr const char* kSampleSetup = PLUGSHIFT_SAMPLE_DATA_DIR "/data/setup.dat";

struct ProgramRun {
    int exitCode;
    std::string output;
};

class NonAsciiFoldersTest : public ::testing::TestWithParam<const char*> {
protected:
    NonAsciiFoldersTest() {
        root_ = fs::temp_directory_path() /
                pathFromUtf8("plugshift-josé-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        install_ = root_ / pathFromUtf8("instalación データ");
        data_ = root_ / pathFromUtf8("datos ñandú データ");
        fs::create_directories(install_);
        for (const char* folder : {"data", "skel"}) {
            fs::copy(fs::path(kSampleInstall) / folder, install_ / folder,
                     fs::copy_options::recursive);
        }
        fs::create_directories(data_ / "data");
        fs::copy_file(kSampleSetup, data_ / "data" / "setup.dat");
    }
    ~NonAsciiFoldersTest() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // plugshift-cli under the locale of the test, with the two folders.
    ProgramRun cli(std::vector<std::string> args) const {
        std::vector<std::string> argv = {"/usr/bin/env", std::string("LC_ALL=") + GetParam(),
                                         PLUGSHIFT_CLI_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.insert(argv.end(),
                    {"--install-dir", utf8FromPath(install_), "--data-dir", utf8FromPath(data_)});
        ChildProcess child(argv);
        EXPECT_TRUE(child.started());
        std::string output = child.readUntil('\0');
        return {child.finish(), output};
    }

    std::string backupFolder() const { return utf8FromPath(data_ / "backup"); }

    fs::path root_;
    fs::path install_;
    fs::path data_;
};

TEST_P(NonAsciiFoldersTest, ConvertKeepingThePersonalityRestoreAndHistory) {
    const ProgramRun convert = cli({"convert", "--simulate", "--yes", "--keep-personality"});
    ASSERT_EQ(convert.exitCode, 0) << convert.output;
    EXPECT_THAT(convert.output, HasSubstr("Convert successful."));
    EXPECT_THAT(convert.output,
                HasSubstr("The radio's personality was saved to " + backupFolder() + "/"));

    // The dealer keeps a copy under a name of his own and converts from it later.
    std::vector<fs::path> backups;
    for (const auto& entry : fs::directory_iterator(data_ / "backup")) {
        backups.push_back(entry.path());
    }
    ASSERT_EQ(backups.size(), 1u);
    const fs::path copy = data_ / pathFromUtf8("copia ñ.pbk");
    fs::copy_file(backups[0], copy);
    const ProgramRun restore =
        cli({"restore-personality", "--yes", "--simulate", utf8FromPath(copy)});
    ASSERT_EQ(restore.exitCode, 0) << restore.output;
    EXPECT_THAT(restore.output, HasSubstr("personality (user information and contacts) is "
                                          "restored"));

    const ProgramRun history = cli({"history"});
    ASSERT_EQ(history.exitCode, 0) << history.output;
    EXPECT_THAT(history.output, HasSubstr("Conversions: 2\n"));
    EXPECT_THAT(history.output, HasSubstr("    codeplug " + utf8FromPath(install_ / "data") + "/"));
    EXPECT_THAT(history.output, HasSubstr("    backup " + utf8FromPath(backups[0]) + "\n"));
    EXPECT_THAT(history.output, HasSubstr("    backup " + utf8FromPath(copy) + "\n"));
}

INSTANTIATE_TEST_SUITE_P(Locales, NonAsciiFoldersTest, ::testing::Values("C", "C.UTF-8"),
                         [](const auto& info) {
                             return std::string(
                                 info.param[0] == 'C' && info.param[1] == '\0' ? "C" : "Utf8");
                         });

}  // namespace
}  // namespace plugshift
