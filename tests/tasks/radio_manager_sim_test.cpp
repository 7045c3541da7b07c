#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "errors/error_chain.h"
#include "radio/sbep.h"
#include "recording_target.h"
#include "sim/sim_d2xx.h"
#include "tasks/messages.h"
#include "tasks/radio_manager.h"

// Discovery and identity against the simulated radio: its own enumeration, framing and replies.
namespace plugshift {
namespace {

using namespace std::chrono_literals;
using test::RecordingTarget;

SimD2xx::Options withCables(int cables) {
    SimD2xx::Options options;
    options.cables = cables;
    options.radio.model = "RQX770HJNUS";
    options.radio.serial = "481KLM2N07";
    options.radio.firmware = {{'R', 3, 1, 4}};
    options.radio.keypad = {{'K', 1, 5, 9}};
    options.radio.codeplug = {{'R', 1, 2, 0}};
    options.radio.userPrivateId = 9876543210;
    return options;
}

// The lParam of every notice the poll sent between its start and the first one arriving.
std::vector<intptr_t> firstPollReports(RadioManager& manager) {
    auto window = std::make_shared<RecordingTarget>();
    manager.createEventWindow(window);
    EXPECT_TRUE(window->waitFor(1));
    manager.stop();
    std::vector<intptr_t> reports;
    for (const Message& notice : window->messages()) {
        reports.push_back(notice.lParam);
    }
    return reports;
}

TEST(RadioManagerSimTest, PollReportsCablesAndTheOpenPort) {
    struct Case {
        int cables;
        bool connect;
        intptr_t report;
    };
    for (const Case& c : {Case{0, false, 0}, Case{1, false, 1}, Case{1, true, 2}}) {
        SCOPED_TRACE(testing::Message() << c.cables << " cables, connected " << c.connect);
        SimD2xx driver(withCables(c.cables));
        RadioManager manager(driver, 1ms);
        if (c.connect) {
            ASSERT_TRUE(manager.connect(true));
        }
        EXPECT_THAT(firstPollReports(manager), ::testing::Each(c.report));
    }
}

TEST(RadioManagerSimTest, ConnectsProbesAndReadsTheIdentity) {
    ErrorChain::remove(0);
    SimD2xx driver(withCables(1));
    RadioManager manager(driver);
    ASSERT_TRUE(manager.connect(true));
    RadioInfo& radio = manager.radioInfo();
    EXPECT_EQ(radio.probeCable(), SBEP::kCableDigital);
    ASSERT_TRUE(radio.readIdentity());

    EXPECT_EQ(RadioInfo::regionText(radio.regionCode()), L"01");
    EXPECT_EQ(RadioInfo::modelText(radio.model()), L"RQX770HJNUS");
    EXPECT_EQ(RadioInfo::serialText(radio.serialValue()), L"481KLM2N07");
    EXPECT_EQ(RadioInfo::versionText(radio.firmwareVersion()), L"R03.01.04");
    EXPECT_EQ(RadioInfo::versionText(radio.keypadVersion()), L"K01.05.09");
    EXPECT_EQ(RadioInfo::versionText(radio.codeplugVersion()), L"R01.02.00");
    EXPECT_EQ(RadioInfo::userPrivateIdText(radio.userPrivateId()), L"9876543210");
    EXPECT_TRUE(manager.connect(false));
    EXPECT_FALSE(radio.isConnected());
    ErrorChain::remove(0);
}

// The way the program runs: the poll goes on while the user-interface thread connects and
// reads the radio, so enumeration and radio traffic share the port.
TEST(RadioManagerSimTest, IdentityReadsSucceedWhileThePollRuns) {
    ErrorChain::remove(0);
    SimD2xx driver(withCables(1));
    RadioManager manager(driver, 1ms);
    auto window = std::make_shared<RecordingTarget>();
    manager.createEventWindow(window);
    constexpr int kReads = 5;
    for (int i = 0; i < kReads; ++i) {
        ASSERT_TRUE(manager.connect(true)) << i;
        EXPECT_EQ(manager.radioInfo().probeCable(), SBEP::kCableDigital) << i;
        EXPECT_TRUE(manager.radioInfo().readIdentity()) << i;
        EXPECT_TRUE(manager.connect(false)) << i;
    }
    ASSERT_TRUE(window->waitFor(1));
    manager.stop();
    for (const Message& notice : window->messages()) {
        EXPECT_TRUE(notice.lParam == 1 || notice.lParam == 2) << notice.lParam;
    }
    ErrorChain::remove(0);
}

}  // namespace
}  // namespace plugshift
