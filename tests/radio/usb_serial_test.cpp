#include "radio/usb_serial.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "errors/error_chain.h"
#include "fake_d2xx.h"

namespace plugshift {
namespace {

using test::FakeD2xx;
using ::testing::ElementsAre;

class USBSerialTest : public ::testing::Test {
protected:
    void SetUp() override { ErrorChain::remove(0); }
    void TearDown() override { ErrorChain::remove(0); }

    FakeD2xx d2xx;
    std::vector<std::chrono::milliseconds> sleeps;
    USBSerial port{d2xx, [this](std::chrono::milliseconds ms) { sleeps.push_back(ms); }};
};

TEST_F(USBSerialTest, CountCablesMatchesDescriptionIgnoringCaseOnly) {
    struct Case {
        std::vector<std::string> descriptions;
        int count;
        int firstIndex;
    };
    const Case cases[] = {
        {{}, 0, -7},
        {{"NV PGM Cable"}, 1, 0},
        {{"nv pgm CABLE"}, 1, 0},
        {{"NV PGM Cable2", "FT232R USB UART"}, 0, -7},
        {{"FT232R USB UART", "NV PGM Cable", "NV PGM Cable"}, 2, 1},
    };
    for (const Case& c : cases) {
        d2xx.descriptions = c.descriptions;
        int first = -7;
        EXPECT_EQ(port.countCables(first), c.count) << ::testing::PrintToString(c.descriptions);
        EXPECT_EQ(first, c.firstIndex);
    }
    EXPECT_TRUE(ErrorChain::records().empty());
}

TEST_F(USBSerialTest, BusyCableIsRetriedThenSkipped) {
    d2xx.descriptions = {"NV PGM Cable", "NV PGM Cable"};
    // Index 0 stays busy for all 14 calls; index 1 settles after one "not functioning".
    for (int i = 0; i < 14; ++i) {
        d2xx.descriptionAnswers.push_back({FT_DEVICE_NOT_OPENED, kSystemErrorAccessDenied});
    }
    d2xx.descriptionAnswers.push_back({FT_DEVICE_NOT_OPENED, kSystemErrorNotFunctioning});
    int first = -1;
    EXPECT_EQ(port.countCables(first), 1);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(d2xx.callsTo("FT_ListDevices(0)").size(), 14u);
    EXPECT_EQ(d2xx.callsTo("FT_ListDevices(1)").size(), 2u);
    ASSERT_EQ(sleeps.size(), 14u);
    EXPECT_EQ(sleeps.front(), std::chrono::milliseconds(500));
    EXPECT_EQ(sleeps.back(), std::chrono::milliseconds(10));
}

TEST_F(USBSerialTest, OtherFailuresSkipTheIndexWithoutRetry) {
    d2xx.descriptions = {"NV PGM Cable", "NV PGM Cable"};
    d2xx.descriptionAnswers.push_back({FT_DEVICE_NOT_OPENED, 2});
    d2xx.descriptionAnswers.push_back({FT_IO_ERROR, 0});
    int first = -1;
    EXPECT_EQ(port.countCables(first), 0);
    EXPECT_TRUE(sleeps.empty());
    EXPECT_EQ(port.lastStatus(), FT_IO_ERROR);
}

TEST_F(USBSerialTest, DeviceCountResetsStatus) {
    d2xx.descriptions = {"a", "b", "c"};
    EXPECT_EQ(port.deviceCount(), 3);
    d2xx.failNext("FT_ListDevices", FT_IO_ERROR);
    EXPECT_EQ(port.deviceCount(), 0);
    EXPECT_EQ(port.lastStatus(), FT_OK);
}

TEST_F(USBSerialTest, ClosedPortDoesNothing) {
    uint8_t buffer[4] = {};
    EXPECT_FALSE(port.close());
    EXPECT_FALSE(port.setBaudRate(16406));
    EXPECT_FALSE(port.setDataCharacteristics());
    EXPECT_FALSE(port.setFlowControl());
    EXPECT_FALSE(port.setTimeouts(250, 300));
    EXPECT_FALSE(port.purge(3));
    EXPECT_EQ(port.read(buffer, 4), 0);
    EXPECT_EQ(port.write(buffer, 4), 0);
    EXPECT_TRUE(d2xx.calls.empty());
    EXPECT_TRUE(ErrorChain::records().empty());
}

TEST_F(USBSerialTest, OpenClosesAnOpenDeviceFirst) {
    ASSERT_TRUE(port.open(0));
    ASSERT_TRUE(port.open(1));
    EXPECT_THAT(d2xx.calls, ElementsAre("FT_Open(0)", "FT_Close()", "FT_Open(1)"));
}

TEST_F(USBSerialTest, FailedCloseKeepsHandleAndBlocksReopen) {
    ASSERT_TRUE(port.open(0));
    d2xx.failNext("FT_Close", FT_IO_ERROR);
    EXPECT_FALSE(port.open(1));
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(ErrorChain::firstMessage(), L"Error:failed to close port");
    EXPECT_TRUE(d2xx.callsTo("FT_Open(1)").empty());
}

TEST_F(USBSerialTest, FailuresRecordTheirMessages) {
    struct Case {
        const char* function;
        std::function<bool(USBSerial&)> call;
        const wchar_t* message;
    };
    const Case cases[] = {
        {"FT_Open", [](USBSerial& p) { return p.open(2); },
         L"Error:failed to open the port refered by the index [2]"},
        {"FT_SetBaudRate", [](USBSerial& p) { return p.setBaudRate(16406); },
         L"Error:failed to set baud rade [16406]."},
        {"FT_SetDataCharacteristics", [](USBSerial& p) { return p.setDataCharacteristics(); },
         L"Error:failed to set parity data stop."},
        {"FT_SetFlowControl", [](USBSerial& p) { return p.setFlowControl(); },
         L"Error:failed to set flow."},
        {"FT_SetTimeouts", [](USBSerial& p) { return p.setTimeouts(250, 300); },
         L"Error:failed to configure time out."},
    };
    for (const Case& c : cases) {
        ErrorChain::remove(0);
        if (std::string(c.function) != "FT_Open") {
            ASSERT_TRUE(port.open(0));
        }
        d2xx.failNext(c.function, FT_IO_ERROR);
        EXPECT_FALSE(c.call(port)) << c.function;
        EXPECT_EQ(port.lastStatus(), FT_IO_ERROR);
        auto records = ErrorChain::records();
        ASSERT_EQ(records.size(), 1u) << c.function;
        EXPECT_EQ(records[0].category, 3);
        EXPECT_EQ(records[0].message, c.message);
    }
}

TEST_F(USBSerialTest, OpenProblemNamesTheCauseBeforeTheIndexRecord) {
    d2xx.openProblem = L"Permission denied on /dev/ttyUSB0";
    d2xx.failNext("FT_Open", FT_DEVICE_NOT_OPENED);
    EXPECT_FALSE(port.open(0));
    EXPECT_EQ(port.handle(), nullptr);
    EXPECT_EQ(ErrorChain::firstMessage(), L"Permission denied on /dev/ttyUSB0");
    EXPECT_EQ(ErrorChain::records().size(), 2u);
}

TEST_F(USBSerialTest, SettersStoreOnlyOnSuccess) {
    ASSERT_TRUE(port.open(0));
    EXPECT_EQ(port.baudRate(), 57600u);
    ASSERT_TRUE(port.setBaudRate(16406));
    ASSERT_TRUE(port.setTimeouts(250, 300));
    d2xx.failNext("FT_SetBaudRate", FT_INVALID_BAUD_RATE);
    d2xx.failNext("FT_SetTimeouts", FT_IO_ERROR);
    port.setBaudRate(57600);
    port.setTimeouts(20, 30);
    EXPECT_EQ(port.baudRate(), 16406u);
    EXPECT_EQ(port.readTimeout(), 250u);
    EXPECT_EQ(port.writeTimeout(), 300u);
    EXPECT_THAT(d2xx.callsTo("FT_SetDataCharacteristics"), ElementsAre());
    port.setDataCharacteristics();
    port.setFlowControl();
    EXPECT_THAT(d2xx.callsTo("FT_Set"), ::testing::IsSupersetOf({"FT_SetDataCharacteristics(8,0,0)",
                                                                 "FT_SetFlowControl(0,0,0)"}));
}

TEST_F(USBSerialTest, ShortReadIsTheTimeoutSignal) {
    ASSERT_TRUE(port.open(0));
    d2xx.queueRx({1, 2, 3});
    uint8_t buffer[10] = {};
    EXPECT_EQ(port.read(buffer, 10), 3);
    EXPECT_EQ(buffer[2], 3);
    EXPECT_EQ(port.read(nullptr, 10), 0);
}

// A driver refusing mask 4, which FTDI's guide does not define, is no failure to record.
TEST_F(USBSerialTest, WritePurgesWithMaskFourAndGoesOnWhenPurgeFails) {
    for (const FT_STATUS purged : {FT_IO_ERROR, FT_INVALID_PARAMETER}) {
        ErrorChain::remove(0);
        d2xx.calls.clear();
        d2xx.tx.clear();
        ASSERT_TRUE(port.open(0));
        d2xx.failNext("FT_Purge", purged);
        const uint8_t frame[] = {0xF1, 0x40, 0xCE};
        EXPECT_EQ(port.write(frame, 3), 3);
        EXPECT_THAT(d2xx.calls, ElementsAre("FT_Open(0)", "FT_Purge(4)", "FT_Write(3)"));
        EXPECT_THAT(d2xx.tx, ElementsAre(0xF1, 0x40, 0xCE));
        EXPECT_TRUE(port.isUsable());
        if (purged == FT_IO_ERROR) {
            EXPECT_EQ(ErrorChain::firstMessage(), L"Error:failed to purge port.");
        } else {
            EXPECT_TRUE(ErrorChain::records().empty());
        }
        ASSERT_TRUE(port.close());
    }
}

TEST_F(USBSerialTest, FailedWriteReturnsWhatWasWritten) {
    ASSERT_TRUE(port.open(0));
    d2xx.failNext("FT_Write", FT_IO_ERROR);
    const uint8_t frame[] = {1, 2};
    EXPECT_EQ(port.write(frame, 2), 0);
    EXPECT_EQ(port.lastStatus(), FT_IO_ERROR);
    EXPECT_FALSE(port.isUsable());
}

}  // namespace
}  // namespace plugshift

namespace plugshift {
namespace {

TEST_F(USBSerialTest, EnumerationLeavesTheOpenDevicesStatusAlone) {
    d2xx.descriptions = {"NV PGM Cable"};
    ASSERT_TRUE(port.open(0));
    d2xx.failNext("FT_ListDevices", FT_IO_ERROR);
    int first = -1;
    EXPECT_EQ(port.countCables(first), 0);
    EXPECT_TRUE(port.isUsable());  // the poll's failure must not stop a conversion

    d2xx.failNext("FT_Purge", FT_IO_ERROR);
    port.purge(3);
    port.clearEnumerationStatus();
    EXPECT_EQ(port.lastStatus(), FT_IO_ERROR);  // a real device failure is not wiped by the poll

    ASSERT_TRUE(port.close());
    d2xx.failNext("FT_ListDevices", FT_IO_ERROR);
    EXPECT_EQ(port.countCables(first), 0);
    EXPECT_EQ(port.lastStatus(), FT_IO_ERROR);
    port.clearEnumerationStatus();
    EXPECT_EQ(port.lastStatus(), FT_OK);
}

}  // namespace
}  // namespace plugshift
