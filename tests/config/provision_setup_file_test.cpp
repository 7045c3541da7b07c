#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/provision_setup_file.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "failing_writer.h"
#include "installation_fixture.h"
#include "platform/safe_file_writer.h"

namespace plugshift {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr const char* kShipped = "the installation's setup file";
constexpr const char* kUsers = "the user's own setup file";

// Another start of the program puts its setup file in place while this one is writing.
class RacedWriter : public SafeFileWriter {
protected:
    int renameIfFree(const char* from, const char* to) override {
        InstallationFixture::writeBytes(to, kUsers);
        return SafeFileWriter::renameIfFree(from, to);
    }
};

// An installation with its skeleton and a user's data folder that does not exist yet.
class ProvisionSetupFileTest : public ::testing::Test {
protected:
    ProvisionSetupFileTest() {
        static std::atomic<int> counter{0};
        root_ = fs::temp_directory_path() /
                ("provision-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(root_);
        fs::create_directories(skeleton().parent_path());
        InstallationFixture::writeBytes(skeleton(), kShipped);
        ErrorLog::setDirectory(fromUtf8(root_.string()));
    }
    ~ProvisionSetupFileTest() override {
        ErrorLog::reset();
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    fs::path installDir() const { return root_ / "install"; }
    fs::path dataDir() const { return root_ / "user" / "Kestrelon" / "KMV Plugshift PERU"; }
    fs::path skeleton() const { return installDir() / "skel" / "data" / "setup.dat"; }
    fs::path target() const { return dataDir() / "data" / "setup.dat"; }

    SetupProvision provision(SafeFileWriter& writer = SafeFileWriter::standard()) const {
        return provisionSetupFile(fromUtf8(installDir().string()), fromUtf8(dataDir().string()),
                                  writer);
    }

    // The names in the data folder's "data", so a leftover temporary file shows.
    std::vector<std::string> dataFiles() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dataDir() / "data", ec)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    std::string logText() const {
        std::ifstream in(root_ / "log" / "err.log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path root_;
};

TEST_F(ProvisionSetupFileTest, ANewUserGetsTheInstallationsFileAndItsFolders) {
    EXPECT_EQ(provision(), SetupProvision::Copied);
    EXPECT_EQ(InstallationFixture::readBytes(target()), kShipped);
    EXPECT_EQ(dataFiles(), std::vector<std::string>{"setup.dat"});
    EXPECT_EQ(logText(), "");
    // The next start finds it there.
    EXPECT_EQ(provision(), SetupProvision::Present);
}

TEST_F(ProvisionSetupFileTest, WhatStandsUnderTheNameIsNeverReplaced) {
    struct Case {
        const char* what;
        void (*make)(const fs::path& target);
    };
    const Case cases[] = {
        {"a setup file", [](const fs::path& t) { InstallationFixture::writeBytes(t, kUsers); }},
        {"an empty file", [](const fs::path& t) { InstallationFixture::writeBytes(t, ""); }},
        {"a dangling link", [](const fs::path& t) { fs::create_symlink(t.string() + ".gone", t); }},
        {"a folder", [](const fs::path& t) { fs::create_directory(t); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dataDir());
        fs::create_directories(target().parent_path());
        c.make(target());
        const fs::file_status before = fs::symlink_status(target());
        const std::string bytes =
            fs::is_regular_file(before) ? InstallationFixture::readBytes(target()) : "";

        EXPECT_EQ(provision(), SetupProvision::Present);
        EXPECT_EQ(fs::symlink_status(target()).type(), before.type());
        if (fs::is_regular_file(before)) {
            EXPECT_EQ(InstallationFixture::readBytes(target()), bytes);
        }
        EXPECT_EQ(dataFiles(), std::vector<std::string>{"setup.dat"});
    }
}

TEST_F(ProvisionSetupFileTest, AFileThatAppearsWhileCopyingIsKept) {
    RacedWriter writer;
    EXPECT_EQ(provision(writer), SetupProvision::Present);
    EXPECT_EQ(InstallationFixture::readBytes(target()), kUsers);
    EXPECT_EQ(dataFiles(), std::vector<std::string>{"setup.dat"});
    EXPECT_EQ(logText(), "");
}

TEST_F(ProvisionSetupFileTest, AFailedCopyLeavesNothingAndIsLogged) {
    for (auto step :
         {FailingWriter::Step::write, FailingWriter::Step::sync, FailingWriter::Step::rename}) {
        SCOPED_TRACE(static_cast<int>(step));
        fs::remove_all(dataDir());
        FailingWriter writer(step);
        EXPECT_EQ(provision(writer), SetupProvision::Failed);
        EXPECT_FALSE(fs::exists(fs::symlink_status(target())));
        EXPECT_TRUE(dataFiles().empty()) << "no temporary file is left behind";
    }
    EXPECT_THAT(logText(), HasSubstr("Error:failed to copy the setup file [" + skeleton().string() +
                                     "] to [" + target().string() + "] ("));
    // Once the cause is gone, the next start copies it.
    EXPECT_EQ(provision(), SetupProvision::Copied);
}

TEST_F(ProvisionSetupFileTest, ASkeletonThatCannotServeIsNotCopied) {
    struct Case {
        const char* what;
        void (*make)(const fs::path& skeleton);
        SetupProvision result;
        const char* logged;
    };
    const Case cases[] = {
        {"none", [](const fs::path& s) { fs::remove(s); }, SetupProvision::NoSkeleton, ""},
        {"empty", [](const fs::path& s) { InstallationFixture::writeBytes(s, ""); },
         SetupProvision::Failed, "(the file is empty)."},
        {"a folder",
         [](const fs::path& s) {
             fs::remove(s);
             fs::create_directory(s);
         },
         SetupProvision::Failed, "] ("},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(skeleton());
        InstallationFixture::writeBytes(skeleton(), kShipped);
        c.make(skeleton());
        const size_t logged = logText().size();
        EXPECT_EQ(provision(), c.result);
        EXPECT_FALSE(fs::exists(fs::symlink_status(target())));
        const std::string added = logText().substr(logged);
        if (*c.logged == '\0') {
            EXPECT_EQ(added, "");
        } else {
            EXPECT_THAT(added, HasSubstr(c.logged));
        }
    }
}

TEST(SafeFileWriterCreate, RefusesATakenNameAndLeavesItAsItWas) {
    const fs::path folder = fs::temp_directory_path() / ("create-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path file = folder / "setup.dat";
    InstallationFixture::writeBytes(file, kUsers);
    errno = 0;
    EXPECT_FALSE(SafeFileWriter::standard().create(file.string(), kShipped));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(InstallationFixture::readBytes(file), kUsers);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    fs::remove_all(folder);
}

}  // namespace
}  // namespace plugshift
