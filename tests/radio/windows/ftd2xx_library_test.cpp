#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "errors/error_chain.h"
#include "platform/process_environment.h"
#include "radio/sbep.h"
#include "radio/usb_serial.h"
#include "radio/windows/ftd2xx_library.h"

// FTDI's library as the program loads it, against the stand-in ftd2xx.dll built from the
// simulated radio: taken from the system folder only, its functions found by name, a write that
// returns only once its bytes have left the line, and a radio answers through them.
namespace plugshift {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const wchar_t* kWithoutStatus = L"ftd2xx-without-status.dll";
// What the stand-in reads when it is loaded.
constexpr const wchar_t* kSettings[] = {L"STAND_IN_FTD2XX_TX_QUEUE", L"STAND_IN_FTD2XX_CHIP_BUFFER",
                                        L"STAND_IN_FTD2XX_LINE_TIMING",
                                        L"STAND_IN_FTD2XX_GET_STATUS", L"STAND_IN_FTD2XX_SERIAL"};

// Built beside bin/, where the suites are.
fs::path standIn(const wchar_t* name = Ftd2xxLibrary::kLibraryName) {
    return executableFolder() / ".." / "stand-in" / name;
}

fs::path systemFolder() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    EXPECT_GT(length, 0u);
    return fs::path(std::wstring(folder, length));
}

// Copies of the stand-in where a program might pick up a library; each is removed again. The
// suite runs alone (RUN_SERIAL), so no other program of the build meets the system folder's copy.
class Ftd2xxLibraryTest : public ::testing::Test {
protected:
    void SetUp() override { remove(systemFolder() / Ftd2xxLibrary::kLibraryName); }
    void TearDown() override {
        for (const fs::path& copy : copies_) {
            remove(copy);
        }
        for (const wchar_t* name : kSettings) {
            ::SetEnvironmentVariableW(name, nullptr);
        }
    }

    void place(const fs::path& copy, const wchar_t* name = Ftd2xxLibrary::kLibraryName) {
        std::error_code ec;
        fs::copy_file(standIn(name), copy, fs::copy_options::overwrite_existing, ec);
        ASSERT_FALSE(ec) << copy << ": " << ec.message();
        copies_.push_back(copy);
    }
    static void remove(const fs::path& copy) {
        std::error_code ec;
        fs::remove(copy, ec);
        EXPECT_FALSE(ec) << copy << ": " << ec.message();
    }

private:
    std::vector<fs::path> copies_;
};

TEST_F(Ftd2xxLibraryTest, RefusesALibraryThatIsMissingOrLacksTheFunctions) {
    EXPECT_EQ(Ftd2xxLibrary::load(L"no-such-library.dll"), nullptr);
    // A library of the system folder that loads but exports none of the FT_* functions.
    EXPECT_EQ(Ftd2xxLibrary::load(L"kernel32.dll"), nullptr);
    // A path, even to a complete library, leads elsewhere than the system folder.
    EXPECT_EQ(Ftd2xxLibrary::load(standIn().wstring()), nullptr);
    EXPECT_EQ(Ftd2xxLibrary::load(L".\\ftd2xx.dll"), nullptr);
}

TEST_F(Ftd2xxLibraryTest, ACopyBesideTheProgramOrInTheWorkingFolderIsNeverLoaded) {
    place(executableFolder() / Ftd2xxLibrary::kLibraryName);
    place(fs::current_path() / Ftd2xxLibrary::kLibraryName);
    EXPECT_EQ(Ftd2xxLibrary::load(), nullptr);
    // Not even mapped into the process, where its start-up code would already have run.
    EXPECT_EQ(::GetModuleHandleW(Ftd2xxLibrary::kLibraryName), nullptr);
}

TEST_F(Ftd2xxLibraryTest, ReadsTheRadioIdentityThroughTheSystemLibrary) {
    place(systemFolder() / Ftd2xxLibrary::kLibraryName);
    auto library = Ftd2xxLibrary::load();
    ASSERT_NE(library, nullptr);
    ErrorChain::remove(0);
    USBSerial port(*library);
    SBEP engine(&port);

    int first = -1;
    ASSERT_EQ(port.countCables(first), 1);
    EXPECT_EQ(first, 0);
    ASSERT_TRUE(port.open(first));
    // Opening set the adapter's latency timer, so replies are not held back 16 ms each.
    using LatencyFn = UCHAR(WINAPI*)();
    const auto latency = reinterpret_cast<LatencyFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(Ftd2xxLibrary::kLibraryName), "StandIn_LatencyTimer")));
    ASSERT_NE(latency, nullptr);
    EXPECT_EQ(latency(), Ftd2xxLibrary::kLatencyTimerMs);

    ASSERT_TRUE(port.setBaudRate(16406) && port.setDataCharacteristics() && port.setFlowControl() &&
                port.setTimeouts(250, 300));
    EXPECT_EQ(engine.probeCableMode(), SBEP::kCableDigital);
    ASSERT_TRUE(port.setBaudRate(57600));
    ErrorChain::remove(0);  // a silent (digital) cable leaves a read record behind

    std::array<uint8_t, sbep::kMaxReplyData> reply{};
    uint8_t opcode = 0;
    const int n = engine.readRadioItem(1, opcode, reply);  // the serial number
    ASSERT_EQ(n, 12);
    EXPECT_EQ(std::string(reply.begin() + 2, reply.begin() + n), "752TRX4F21");
    EXPECT_TRUE(port.close());
    EXPECT_TRUE(ErrorChain::records().empty());
    library.reset();  // unloaded, so its file can be removed
}

// The library's FT_Write may return once its driver holds the bytes, long before they have left;
// ours returns when they have, whatever the library does, and costs nothing where they already
// have. The driver's queue reads empty while the adapter's chip still sends the last bytes, so
// an empty queue never ends the wait before the frame's line time. A stand-in's line runs at 10
// bits a byte whatever the handle says.
TEST_F(Ftd2xxLibraryTest, AWriteReturnsOnceItsBytesHaveLeftTheLine) {
    constexpr uint32_t kBytes = 2048;
    const auto at8N1 = std::chrono::microseconds(kBytes * 10 * 1'000'000LL / 57600);  // 355.6 ms
    const auto at8N2 = std::chrono::microseconds(kBytes * 11 * 1'000'000LL / 57600);  // 391.1 ms
    struct Case {
        const char* what;
        const wchar_t* library;
        const wchar_t* queue;
        const wchar_t* chip;  // the adapter's own transmit buffer
        const wchar_t* getStatus;
        uint8_t stopBits;
        std::chrono::microseconds atLeast;  // from the call
    };
    const Case cases[] = {
        {"FT_GetStatus shows the queue empty", Ftd2xxLibrary::kLibraryName, L"8192", L"0", L"", 0,
         at8N1},
        {"the library waits for the line itself", Ftd2xxLibrary::kLibraryName, L"0", L"0", L"", 0,
         at8N1},
        // An FT232R's 256 bytes: the queue reads empty some 44 ms before the line is.
        {"the chip still sends the end of a queued frame", Ftd2xxLibrary::kLibraryName, L"8192",
         L"256", L"", 0, at8N1},
        {"the library returns once the chip holds the frame's end", Ftd2xxLibrary::kLibraryName,
         L"0", L"256", L"", 0, at8N1},
        // Without an answer, the line time of the handle's characteristics.
        {"FT_GetStatus fails", Ftd2xxLibrary::kLibraryName, L"8192", L"0", L"fail", 2, at8N2},
        {"the library has no FT_GetStatus", kWithoutStatus, L"8192", L"0", L"", 2, at8N2},
    };
    const std::vector<uint8_t> bytes(kBytes, 0x55);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::SetEnvironmentVariableW(L"STAND_IN_FTD2XX_LINE_TIMING", L"1");
        ::SetEnvironmentVariableW(L"STAND_IN_FTD2XX_TX_QUEUE", c.queue);
        ::SetEnvironmentVariableW(L"STAND_IN_FTD2XX_CHIP_BUFFER", c.chip);
        ::SetEnvironmentVariableW(L"STAND_IN_FTD2XX_GET_STATUS", c.getStatus);
        place(systemFolder() / c.library, c.library);
        auto library = Ftd2xxLibrary::load(c.library);
        ASSERT_NE(library, nullptr);
        FT_HANDLE handle = nullptr;
        ASSERT_EQ(library->FT_Open(0, &handle), FT_OK);
        ASSERT_EQ(library->FT_SetBaudRate(handle, 57600), FT_OK);
        ASSERT_EQ(library->FT_SetDataCharacteristics(handle, 8, c.stopBits, 0), FT_OK);
        ASSERT_EQ(library->FT_SetTimeouts(handle, 250, 3000), FT_OK);
        uint32_t written = 0;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(library->FT_Write(handle, bytes.data(), kBytes, &written), FT_OK);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(written, kBytes);
        EXPECT_GE(took, c.atLeast);
        // Not the margin for a queue that was seen empty.
        EXPECT_LT(took, c.atLeast + Ftd2xxLibrary::kDrainMargin - 10ms);
        EXPECT_EQ(library->FT_Close(handle), FT_OK);
        library.reset();
    }
}

TEST_F(Ftd2xxLibraryTest, ACableIsShownByItsSerialNumberElseItsLocation) {
    struct Case {
        const wchar_t* serial;  // null: the stand-in's own
        const char* shown;
    };
    const Case cases[] = {
        {nullptr, "serial number KMVSIM01"},
        {L"FT5XQ2AB", "serial number FT5XQ2AB"},
        {L"", "location ID 0x1001"},
    };
    for (const Case& c : cases) {
        ::SetEnvironmentVariableW(L"STAND_IN_FTD2XX_SERIAL", c.serial);
        place(systemFolder() / Ftd2xxLibrary::kLibraryName);
        auto library = Ftd2xxLibrary::load();
        ASSERT_NE(library, nullptr);
        EXPECT_EQ(library->devicePath(0), c.shown);
        EXPECT_EQ(library->devicePath(1), "");
        library.reset();
    }
}

}  // namespace
}  // namespace plugshift
