#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "kmv_sim_process.h"
#include "test_installation.h"

// The real programs: plugshift-cli info on the in-process simulated radio, and over the
// pseudo-terminal of a kmv-sim process, the way a serial port is reached.
namespace plugshift {
namespace {

using test::ChildProcess;
using test::KmvSimProcess;
using test::TestInstallation;

const std::string kExpected =
    std::string("Radio type:       KMV410 Series\n") + test::kSimulatedIdentity;

struct Result {
    int exitCode;
    std::string output;
};

Result runInfo(std::vector<std::string> args) {
    ChildProcess child(args);
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
    KmvSimProcess sim;
    ASSERT_TRUE(sim.started());
    const std::string terminal = sim.path();
    ASSERT_EQ(terminal.rfind("/dev/", 0), 0u) << terminal;

    const Result result = runInfo({PLUGSHIFT_CLI_PATH, "info", "--port", terminal, "--install-dir",
                                   installation.installDir().string(), "--data-dir",
                                   installation.dataDir().string()});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output, kExpected);
    EXPECT_EQ(sim.stop(), 0);
}

// A mistyped --port is named, not taken for a cable that is not plugged in.
TEST(InfoProgram, APortThatIsNoSerialPortIsNamed) {
    const Result missing = runInfo({PLUGSHIFT_CLI_PATH, "info", "--port", "/nonexistent"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.output, "The port /nonexistent does not exist; is the cable plugged in?\n");
    const Result null = runInfo({PLUGSHIFT_CLI_PATH, "info", "--port", "/dev/null"});
    EXPECT_EQ(null.exitCode, 3);
    EXPECT_THAT(null.output, ::testing::HasSubstr("\n  /dev/null is not a serial port.\n"));
}

// Command lines a person may mistype are said for what they are.
TEST(InfoProgram, MistypedCommandLinesAreSaid) {
    struct Case {
        std::vector<std::string> args;
        const char* said;
    };
    const Case cases[] = {
        {{"bogus"},
         "'bogus' is not a command. The commands are: cables config doctor ftf codeplug "
         "info convert set-serial restore-personality history."},
        {{"info", "--port", ""}, "the port name is empty"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {PLUGSHIFT_CLI_PATH};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Result result = runInfo(args);
        EXPECT_GE(result.exitCode, 100) << result.output;
        EXPECT_THAT(result.output, ::testing::HasSubstr(c.said));
    }
}

TEST(InfoProgram, PortAndSimulateExcludeEachOther) {
    const Result result = runInfo({PLUGSHIFT_CLI_PATH, "info", "--simulate", "--port", "/dev/x"});
    EXPECT_GE(result.exitCode, 100);
    EXPECT_THAT(result.output, ::testing::HasSubstr("excludes"));
}

}  // namespace
}  // namespace plugshift
