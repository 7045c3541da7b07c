#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "test_installation.h"

extern char** environ;

// The real programs: plugshift-cli info on the in-process simulated radio, and over the
// pseudo-terminal of a kmv-sim process, the way a serial port is reached.
namespace plugshift {
namespace {

using namespace std::chrono_literals;
using test::TestInstallation;

// Only a bound against a hang; reading ends as soon as the output is complete.
constexpr auto kHangLimit = 30s;

const std::string kExpected =
    "Radio type:       KMV410 Series\n"
    "Region code:      01\n"
    "Model:            RQX770HJNWA\n"
    "Serial number:    752TRX4F21\n"
    "Firmware version: R02.10.05\n"
    "Codeplug version: R01.03.00\n"
    "Keypad version:   R01.00.02\n"
    "User private ID:  1234567\n";

// A child process whose standard output (and error, when asked) the test reads.
class Child {
public:
    explicit Child(const std::vector<std::string>& argv, bool mergeErrors = true) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        if (mergeErrors) {
            posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
        }
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        if (::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        fd_ = out[0];
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ > 0; }

    // Reads until the line ends (or, with no delimiter, until the output closes).
    std::string readUntil(char delimiter) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + kHangLimit;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) {
                continue;
            }
            char c;
            if (::read(fd_, &c, 1) != 1) {
                break;
            }
            if (delimiter != '\0' && c == delimiter) {
                break;
            }
            got += c;
        }
        return got;
    }

    // Signals the child (0: none) and returns its exit code; -1 when it did not exit normally.
    int finish(int signal = 0) {
        if (signal != 0) {
            ::kill(pid_, signal);
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
};

struct Result {
    int exitCode;
    std::string output;
};

Result runInfo(std::vector<std::string> args) {
    Child child(args);
    EXPECT_TRUE(child.started());
    std::string output = child.readUntil('\0');
    return {child.finish(), output};
}

TEST(InfoProgram, ReadsTheSimulatedRadio) {
    TestInstallation installation;
    const Result result = runInfo({PLUGSHIFT_CLI_PATH, "info", "--simulate", "--install-dir",
                                   installation.installDir().string(), "--data-dir",
                                   installation.dataDir().string()});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output, kExpected);
}

TEST(InfoProgram, ReadsARadioOnKmvSimsTerminal) {
    TestInstallation installation;
    Child sim({KMV_SIM_PATH}, false);
    ASSERT_TRUE(sim.started());
    const std::string terminal = sim.readUntil('\n');
    ASSERT_EQ(terminal.rfind("/dev/", 0), 0u) << terminal;

    const Result result = runInfo({PLUGSHIFT_CLI_PATH, "info", "--port", terminal, "--install-dir",
                                   installation.installDir().string(), "--data-dir",
                                   installation.dataDir().string()});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output, kExpected);
    EXPECT_EQ(sim.finish(SIGTERM), 0);
}

TEST(InfoProgram, PortAndSimulateExcludeEachOther) {
    const Result result = runInfo({PLUGSHIFT_CLI_PATH, "info", "--simulate", "--port", "/dev/x"});
    EXPECT_GE(result.exitCode, 100);
    EXPECT_THAT(result.output, ::testing::HasSubstr("excludes"));
}

}  // namespace
}  // namespace plugshift
