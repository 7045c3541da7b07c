#include "radio/first_finding_d2xx.h"

#include <gtest/gtest.h>

#include "errors/error_chain.h"
#include "fake_d2xx.h"
#include "radio/usb_serial.h"

namespace plugshift {
namespace {

using test::FakeD2xx;

// The D2XX library first, the COM ports second, as the Windows program asks them.
class FirstFindingD2xxTest : public ::testing::Test {
protected:
    FirstFindingD2xxTest() {
        auto libraryOwned = std::make_unique<FakeD2xx>();
        auto comPortsOwned = std::make_unique<FakeD2xx>();
        library = libraryOwned.get();
        comPorts = comPortsOwned.get();
        std::vector<std::unique_ptr<D2xx>> drivers;
        drivers.push_back(std::move(libraryOwned));
        drivers.push_back(std::move(comPortsOwned));
        cables = std::make_unique<FirstFindingD2xx>(std::move(drivers));
        serial = std::make_unique<USBSerial>(*cables, [](std::chrono::milliseconds) {});
    }
    void TearDown() override { ErrorChain::remove(0); }

    FakeD2xx* library;
    FakeD2xx* comPorts;
    std::unique_ptr<FirstFindingD2xx> cables;
    std::unique_ptr<USBSerial> serial;
};

TEST_F(FirstFindingD2xxTest, TheCableIsFoundByWhicheverDriverShowsItAndCountedOnce) {
    const std::string cable = USBSerial::kCableDescription;
    struct Case {
        std::vector<std::string> library;
        std::vector<std::string> comPorts;
        int cables;
        const char* openedBy;  // the driver that opens the first cable
    };
    const Case cases[] = {
        {{}, {cable}, 1, "com ports"},
        {{"FT232R USB UART"}, {"Communications Port", cable}, 1, "com ports"},
        // FTDI's package shows one cable to both: it stays one cable.
        {{cable}, {cable}, 1, "library"},
        {{cable, cable}, {}, 2, "library"},
        {{"FT232R USB UART"}, {"Communications Port"}, 0, nullptr},
        {{}, {}, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.library) + " / " +
                     ::testing::PrintToString(c.comPorts));
        library->descriptions = c.library;
        comPorts->descriptions = c.comPorts;
        library->calls.clear();
        comPorts->calls.clear();
        int first = -1;
        ASSERT_EQ(serial->countCables(first), c.cables);
        if (c.openedBy == nullptr) {
            continue;
        }
        ASSERT_TRUE(serial->open(first));
        FakeD2xx* expected = std::string(c.openedBy) == "library" ? library : comPorts;
        FakeD2xx* other = expected == library ? comPorts : library;
        EXPECT_EQ(expected->callsTo("FT_Open").size(), 1u);
        EXPECT_TRUE(other->callsTo("FT_Open").empty());
        ASSERT_TRUE(serial->close());
    }
}

TEST_F(FirstFindingD2xxTest, ALibraryThatCannotListLeavesTheComPorts) {
    library->descriptions = {USBSerial::kCableDescription};
    library->failNext("FT_ListDevices", FT_OTHER_ERROR);
    comPorts->descriptions = {USBSerial::kCableDescription};
    int first = -1;
    ASSERT_EQ(serial->countCables(first), 1);
    ASSERT_TRUE(serial->open(first));
    EXPECT_TRUE(comPorts->isOpen());
    EXPECT_FALSE(library->isOpen());
}

TEST_F(FirstFindingD2xxTest, AnOpenPortStaysWithItsDriverWhileThePollMovesOn) {
    comPorts->descriptions = {USBSerial::kCableDescription};
    int first = -1;
    ASSERT_EQ(serial->countCables(first), 1);
    ASSERT_TRUE(serial->open(first));
    // The next poll finds a cable through the library: the open port's bytes still go to the
    // COM port, and closing closes it there.
    library->descriptions = {USBSerial::kCableDescription};
    ASSERT_EQ(serial->countCables(first), 1);
    const uint8_t frame[] = {0x01, 0x02, 0x03};
    EXPECT_EQ(serial->write(frame, sizeof frame), 3);
    EXPECT_EQ(comPorts->tx, std::vector<uint8_t>(std::begin(frame), std::end(frame)));
    EXPECT_TRUE(library->tx.empty());
    ASSERT_TRUE(serial->close());
    EXPECT_FALSE(comPorts->isOpen());
    EXPECT_TRUE(library->callsTo("FT_Close").empty());
}

TEST_F(FirstFindingD2xxTest, AHandleItDidNotGiveOrAlreadyClosedIsRefused) {
    comPorts->descriptions = {USBSerial::kCableDescription};
    uint32_t count = 0;
    ASSERT_EQ(cables->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(cables->FT_Open(0, &handle), FT_OK);
    ASSERT_EQ(cables->FT_Close(handle), FT_OK);
    uint32_t written = 0;
    EXPECT_EQ(cables->FT_Write(handle, "x", 1, &written), FT_INVALID_HANDLE);
    EXPECT_EQ(cables->FT_Close(handle), FT_INVALID_HANDLE);
    EXPECT_EQ(comPorts->callsTo("FT_Close").size(), 1u);
}

}  // namespace
}  // namespace plugshift
