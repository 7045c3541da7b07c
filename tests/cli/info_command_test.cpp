#include "cli/info_command.h"
#include "cli/radio_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>

#include "config/configuration.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "fake_d2xx.h"
#include "platform/system_files.h"
#include "sim/sim_d2xx.h"
#include "test_installation.h"

namespace plugshift {
namespace {

using test::TestInstallation;
using ::testing::HasSubstr;

const char* const kIdentity = test::kSimulatedIdentity;

struct Outcome {
    int exitCode;
    std::string out;
    std::string err;
};

class InfoCommandTest : public ::testing::Test {
protected:
    InfoCommandTest() { ErrorChain::remove(0); }
    ~InfoCommandTest() override {
        ErrorChain::remove(0);
        Configuration::instance().reset();
    }

    // The command with the installation's configuration, or none when it does not load.
    static Outcome info(D2xx& driver, const TestInstallation* installation, bool json = false) {
        const Configuration* configuration = nullptr;
        std::wstring problem = L"Error:no installation.";
        if (installation != nullptr) {
            std::wstring loadProblem;
            EXPECT_TRUE(loadInstallation({installation->installDir(), installation->dataDir()},
                                         loadProblem));
            configuration = &Configuration::instance();
        }
        std::ostringstream out;
        std::ostringstream err;
        const int code = showRadioInfo(driver, configuration, problem, {out, err, json});
        return {code, out.str(), err.str()};
    }
};

SimD2xx::Options cables(int count, SimCableMode mode = SimCableMode::Digital) {
    SimD2xx::Options options;
    options.cables = count;
    options.mode = mode;
    return options;
}

TEST_F(InfoCommandTest, PrintsWhatTheMainWindowShows) {
    TestInstallation installation;
    SimD2xx driver;
    const Outcome result = info(driver, &installation);
    EXPECT_EQ(result.exitCode, kInfoOk);
    EXPECT_EQ(result.out, std::string("Radio type:       KMV410 Series\n") + kIdentity);
    EXPECT_EQ(result.err, "");
}

TEST_F(InfoCommandTest, PrintsTheSameAsJson) {
    TestInstallation installation;
    SimD2xx::Options options;
    options.radio.userPrivateId = 0;  // no id: no text
    SimD2xx driver(options);
    const Outcome result = info(driver, &installation, true);
    EXPECT_EQ(result.exitCode, kInfoOk);
    EXPECT_EQ(result.out,
              "{\n"
              "  \"radioType\": \"KMV410 Series\",\n"
              "  \"regionCode\": \"01\",\n"
              "  \"model\": \"RQX770HJNWA\",\n"
              "  \"serialNumber\": \"752TRX4F21\",\n"
              "  \"firmwareVersion\": \"R02.10.05\",\n"
              "  \"codeplugVersion\": \"R01.03.00\",\n"
              "  \"keypadVersion\": \"R01.00.02\",\n"
              "  \"userPrivateId\": null\n"
              "}\n");
}

// A radio whose conversion stopped half-way may answer with erased flash: shown as no value, its
// bytes kept in JSON.
TEST_F(InfoCommandTest, ErasedValuesShowAsNotAvailableAndJsonKeepsTheirBytes) {
    TestInstallation installation;
    SimD2xx::Options options;
    options.radio.firmware = SimVersion{{0xFF, 0xFF, 0xFF, 0xFF}};
    options.radio.userPrivateId = UINT64_MAX;
    SimD2xx driver(options);
    const Outcome text = info(driver, &installation);
    EXPECT_EQ(text.exitCode, kInfoOk);
    EXPECT_THAT(text.out, HasSubstr("\nFirmware version: N/A\n"));
    EXPECT_THAT(text.out, HasSubstr("\nUser private ID:  N/A\n"));
    EXPECT_THAT(text.out, HasSubstr("\nCodeplug version: R01.03.00\n"));

    SimD2xx again(options);
    const Outcome json = info(again, &installation, true);
    EXPECT_THAT(json.out, HasSubstr("  \"firmwareVersion\": null,\n"
                                    "  \"firmwareVersionBytes\": \"ffffffff\",\n"
                                    "  \"codeplugVersion\": \"R01.03.00\",\n"));
    EXPECT_THAT(json.out, HasSubstr("  \"userPrivateId\": null,\n"
                                    "  \"userPrivateIdBytes\": \"ffffffffffffffff\"\n}"));
}

TEST_F(InfoCommandTest, AModelTheInstallationDoesNotKnowIsPrintedAndRefused) {
    TestInstallation installation(TestInstallation::kOtherModelOnly);
    SimD2xx driver;
    const Outcome result = info(driver, &installation);
    EXPECT_EQ(result.exitCode, kInfoModelNotSupported);
    EXPECT_EQ(result.out, std::string("Radio type:       N/A\n") + kIdentity);
    EXPECT_EQ(result.err, "The tool does not support this radio.\n");
}

TEST_F(InfoCommandTest, WithoutAConfigurationTheIdentityIsPrintedAndTheProblemSaid) {
    SimD2xx driver;
    const Outcome result = info(driver, nullptr);
    EXPECT_EQ(result.exitCode, kInfoNoConfiguration);
    EXPECT_EQ(result.out, std::string("Radio type:       N/A\n") + kIdentity);
    EXPECT_THAT(result.err, HasSubstr("Error:no installation."));
}

TEST_F(InfoCommandTest, CablesAndModesThatStopTheRead) {
    struct Case {
        SimD2xx::Options options;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {cables(0), kInfoNoCable, "No programming cable found.\n"},
        {cables(2), kInfoSeveralCables,
         "There are 2 USB conections. Please remove the unused and keep one connection only.\n"},
        {cables(1, SimCableMode::Echo), kInfoCableWrongMode,
         "Please toggle the USB cable to DIGITAL (Flash) mode.\n"},
        {cables(1, SimCableMode::Unsupported), kInfoCableUnsupported,
         "The USB cable is unsupported.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        TestInstallation installation;
        SimD2xx driver(c.options);
        const Outcome result = info(driver, &installation);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, c.message);
        EXPECT_TRUE(ErrorChain::records().empty());
    }
}

TEST_F(InfoCommandTest, ARadioThatDoesNotAnswerFailsToConnectWithTheReason) {
    TestInstallation installation;
    test::FakeD2xx silent;  // a cable in digital mode, but no radio on it
    silent.descriptions = {"NV PGM Cable"};
    const Outcome result = info(silent, &installation);
    EXPECT_EQ(result.exitCode, kInfoNotConnected);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Failed to connect radio.\n  Error:failed to read radio item 0.\n");
    EXPECT_FALSE(silent.isOpen());
}

TEST_F(InfoCommandTest, AnOpenFailureSaysWhy) {
    TestInstallation installation;
    test::FakeD2xx cable;
    cable.descriptions = {"NV PGM Cable"};
    cable.openProblem = L"Cannot open /dev/ttyUSB0: Permission denied.";
    cable.failNext("FT_Open", FT_DEVICE_NOT_OPENED);
    const Outcome result = info(cable, &installation);
    EXPECT_EQ(result.exitCode, kInfoNotConnected);
    EXPECT_EQ(result.err,
              "Failed to connect radio.\n"
              "  Cannot open /dev/ttyUSB0: Permission denied.\n"
              "  Error:failed to open the port refered by the index [0]\n");
}

TEST_F(InfoCommandTest, LoadingAnInstallationThatIsNotThereFailsWithTheFile) {
    std::wstring problem;
    EXPECT_FALSE(loadInstallation({"/nonexistent/install", "/nonexistent/user"}, problem));
    const std::filesystem::path config =
        std::filesystem::path("/nonexistent/install") / "data" / "config.xml";
    const std::wstring file = fromUtf8(utf8FromPath(config));
    EXPECT_EQ(problem, L"Error:failed to open the specified file [" + file +
                           L"].\n  The initial file [" + file + L"] is invalid.");
}

}  // namespace
}  // namespace plugshift
