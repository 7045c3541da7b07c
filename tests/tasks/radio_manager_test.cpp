#include "tasks/radio_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "errors/error_chain.h"
#include "fake_d2xx.h"
#include "recording_target.h"
#include "tasks/messages.h"

namespace plugshift {
namespace {

using namespace std::chrono_literals;
using test::FakeD2xx;
using test::RecordingTarget;
using ::testing::ElementsAre;

// The manager's own window and one listener; the test's thread plays the user-interface thread
// and hands what arrives on the manager's window to the manager. The poll runs every millisecond,
// and each test waits for the notices it needs, never for time to pass.
class RadioManagerTest : public ::testing::Test {
protected:
    RadioManagerTest() {
        ErrorChain::remove(0);
        manager.addListener(listener);
    }
    ~RadioManagerTest() override { ErrorChain::remove(0); }

    // Lets the poll report once, stops it and returns every lParam it sent; each notice is
    // passed on to the listener as the window's handler would.
    std::vector<intptr_t> pollReports() {
        manager.createEventWindow(window);
        EXPECT_TRUE(window->waitFor(1));
        manager.stop();
        std::vector<intptr_t> reports;
        for (const Message& notice : window->messages()) {
            EXPECT_EQ(notice.id, kMsgCableState);
            EXPECT_EQ(notice.wParam, 0u);
            EXPECT_EQ(notice.delivery, Delivery::Notified);
            manager.handleMessage(notice);
            reports.push_back(notice.lParam);
        }
        return reports;
    }

    FakeD2xx cable;
    RadioManager manager{cable, 1ms};
    std::shared_ptr<RecordingTarget> window = std::make_shared<RecordingTarget>();
    std::shared_ptr<RecordingTarget> listener = std::make_shared<RecordingTarget>();
};

TEST(RadioManagerPollTest, CountsCablesAndAddsOneWhileARadioPortIsOpen) {
    struct Case {
        std::vector<std::string> devices;
        bool connect;
        intptr_t report;
    };
    const Case cases[] = {
        {{}, false, 0},
        {{"FT232R USB UART"}, false, 0},
        {{"NV PGM Cable"}, false, 1},
        {{"NV PGM Cable"}, true, 2},
        {{"nv pgm cable", "NV PGM Cable"}, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.devices) + (c.connect ? " connected" : ""));
        FakeD2xx cable;
        cable.descriptions = c.devices;
        RadioManager manager{cable, 1ms};
        auto window = std::make_shared<RecordingTarget>();
        auto listener = std::make_shared<RecordingTarget>();
        manager.addListener(listener);
        if (c.connect) {
            ASSERT_TRUE(manager.connect(true));
        }

        manager.createEventWindow(window);
        ASSERT_TRUE(window->waitFor(1));
        manager.stop();
        for (const Message& notice : window->messages()) {
            EXPECT_EQ(notice.id, kMsgCableState);
            EXPECT_EQ(notice.lParam, c.report);
            EXPECT_EQ(notice.delivery, Delivery::Notified);
            manager.handleMessage(notice);
        }
        // The manager passes each notice on to its listeners unchanged.
        ASSERT_EQ(listener->messages().size(), window->messages().size());
        for (const Message& heard : listener->messages()) {
            EXPECT_EQ(heard.id, kMsgCableState);
            EXPECT_EQ(heard.wParam, 0u);
            EXPECT_EQ(heard.lParam, c.report);
            EXPECT_EQ(heard.delivery, Delivery::Posted);
        }
        EXPECT_EQ(manager.cableCount(), c.report - (c.connect ? 1 : 0));
        // The poll only enumerates.
        EXPECT_EQ(cable.callsTo("FT_Open").size(), c.connect ? 1u : 0u);
        EXPECT_EQ(cable.callsTo("FT_Close").size(), 0u);
    }
}

// A driver whose enumeration always fails.
class BrokenEnumeration : public FakeD2xx {
public:
    FT_STATUS FT_ListDevices(void*, void*, uint32_t) override { return FT_IO_ERROR; }
};

TEST(RadioManagerPollTest, AFailedEnumerationCountsNoCableAndLeavesThePortUsable) {
    BrokenEnumeration cable;
    RadioManager manager{cable, 1ms};
    auto window = std::make_shared<RecordingTarget>();
    ASSERT_TRUE(manager.radioInfo().connectPort(0));

    manager.createEventWindow(window);
    ASSERT_TRUE(window->waitFor(1));
    manager.stop();
    for (const Message& notice : window->messages()) {
        EXPECT_EQ(notice.lParam, 1);  // no cable, one open port
    }
    EXPECT_EQ(manager.cableCount(), 0);
    EXPECT_TRUE(manager.radioInfo().port()->isUsable());
}

TEST_F(RadioManagerTest, APausedPollResumesAndStopEndsItWhilePaused) {
    cable.descriptions = {"NV PGM Cable"};
    manager.pausePolling();
    manager.resumePolling();
    EXPECT_THAT(pollReports(), ::testing::Each(1));

    // Stopping a paused poll must not wait for a resume that never comes.
    RadioManager paused{cable, 1ms};
    paused.pausePolling();
    paused.createEventWindow(std::make_shared<RecordingTarget>());
    paused.stop();
}

TEST_F(RadioManagerTest, NoWindowNoPoll) {
    EXPECT_EQ(manager.createEventWindow(nullptr), nullptr);
    manager.stop();
    EXPECT_TRUE(cable.callsTo("FT_ListDevices").empty());
}

TEST_F(RadioManagerTest, ConnectFindsTheFirstProgrammingCable) {
    cable.descriptions = {"FT232R USB UART", "NV PGM Cable", "NV PGM Cable"};
    EXPECT_TRUE(manager.connect(true));
    EXPECT_EQ(manager.cableIndex(), 1);
    EXPECT_EQ(manager.radioInfo().portIndex(), 1);
    EXPECT_TRUE(manager.radioInfo().isConnected());
    EXPECT_THAT(cable.callsTo("FT_Open"), ElementsAre("FT_Open(1)"));
}

TEST_F(RadioManagerTest, ConnectWithoutACableOpensNothing) {
    cable.descriptions = {"FT232R USB UART"};
    EXPECT_FALSE(manager.connect(true));
    EXPECT_EQ(manager.cableIndex(), -1);
    EXPECT_FALSE(manager.radioInfo().isConnected());
    EXPECT_TRUE(cable.callsTo("FT_Open").empty());
}

TEST_F(RadioManagerTest, ConnectFalseClosesTheRadioPort) {
    cable.descriptions = {"NV PGM Cable"};
    ASSERT_TRUE(manager.connect(true));
    cable.calls.clear();

    EXPECT_TRUE(manager.connect(false));
    EXPECT_THAT(cable.calls, ElementsAre("FT_Close()"));
    EXPECT_FALSE(manager.radioInfo().isConnected());
    EXPECT_FALSE(manager.radioInfo().infoValid());
    EXPECT_EQ(manager.radioInfo().portIndex(), -1);
    EXPECT_FALSE(cable.isOpen());

    // Nothing open: nothing to do, and that is no failure.
    cable.calls.clear();
    EXPECT_TRUE(manager.connect(false));
    EXPECT_TRUE(cable.calls.empty());
}

TEST_F(RadioManagerTest, AFailedCloseIsReportedButTheRadioCountsAsDisconnected) {
    cable.descriptions = {"NV PGM Cable"};
    ASSERT_TRUE(manager.connect(true));
    ErrorChain::remove(0);
    cable.failNext("FT_Close", FT_IO_ERROR);
    EXPECT_FALSE(manager.connect(false));
    EXPECT_FALSE(manager.radioInfo().isConnected());
    EXPECT_EQ(manager.radioInfo().portIndex(), -1);
    EXPECT_EQ(ErrorChain::firstMessage(), L"Error:failed to close port");
}

TEST_F(RadioManagerTest, DeviceCountCountsEveryDevice) {
    cable.descriptions = {"FT232R USB UART", "NV PGM Cable"};
    EXPECT_EQ(manager.deviceCount(), 2);
    cable.failNext("FT_ListDevices", FT_IO_ERROR);
    EXPECT_EQ(manager.deviceCount(), 0);
}

}  // namespace
}  // namespace plugshift
