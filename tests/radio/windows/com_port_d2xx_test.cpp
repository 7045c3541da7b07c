#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "radio/windows/com_port_d2xx.h"

// The COM-port backend without a port behind it: a named port is the one cable, and what a
// failed open or a stale handle gives. scripts/windows-check.sh converts a radio through it.
namespace plugshift {
namespace {

TEST(ComPortD2xxTest, ANamedPortIsTheOneProgrammingCable) {
    const auto ports = ComPortD2xx::forPort("COM7");
    uint32_t count = 0;
    ASSERT_EQ(ports->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 1u);
    char description[FT_DESCRIPTION_SIZE] = {};
    ASSERT_EQ(ports->FT_ListDevices(nullptr, description, FT_LIST_DESCRIPTION_BY_INDEX), FT_OK);
    EXPECT_STREQ(description, "NV PGM Cable");
    EXPECT_EQ(ports->FT_ListDevices(reinterpret_cast<void*>(1), description,
                                    FT_LIST_DESCRIPTION_BY_INDEX),
              FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(ports->devicePath(0), "COM7");
    EXPECT_EQ(ComPortD2xx::devicePathOf("COM12"), L"\\\\.\\COM12");
}

TEST(ComPortD2xxTest, APortThatIsNotThereIsNotOpenedAndSaysWhy) {
    const auto ports = ComPortD2xx::forPort("COM250");
    FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(1);
    EXPECT_EQ(ports->FT_Open(0, &handle), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(ports->lastOpenProblem(),
              L"There is no COM250: plug the cable in and look up its port in the Device "
              L"Manager (Ports (COM & LPT)).");
    EXPECT_EQ(ports->FT_Open(1, &handle), FT_DEVICE_NOT_FOUND);
}

TEST(ComPortD2xxTest, EveryCallOnAHandleThatIsNotOpenIsRefused) {
    const auto ports = ComPortD2xx::forPort("COM7");
    const auto stale = reinterpret_cast<FT_HANDLE>(42);
    uint8_t byte = 0;
    uint32_t moved = 7;
    EXPECT_EQ(ports->FT_SetBaudRate(stale, 57600), FT_INVALID_HANDLE);
    EXPECT_EQ(ports->FT_SetTimeouts(stale, 250, 300), FT_INVALID_HANDLE);
    EXPECT_EQ(ports->FT_Purge(stale, 3), FT_INVALID_HANDLE);
    EXPECT_EQ(ports->FT_Read(stale, &byte, 1, &moved), FT_INVALID_HANDLE);
    EXPECT_EQ(moved, 0u);
    EXPECT_EQ(ports->FT_Write(stale, &byte, 1, &moved), FT_INVALID_HANDLE);
    EXPECT_EQ(ports->FT_Close(stale), FT_INVALID_HANDLE);
}

TEST(ComPortD2xxTest, OpenProblemsNameTheFix) {
    EXPECT_EQ(ComPortD2xx::describeOpenProblem("COM3", 5),  // access denied
              L"COM3 is in use by another program; close it and try again.");
    EXPECT_EQ(ComPortD2xx::describeOpenProblem("COM3", 2).rfind(L"There is no COM3:", 0), 0u);
}

}  // namespace
}  // namespace plugshift
