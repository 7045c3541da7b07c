#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "errors/error_chain.h"
#include "platform/process_environment.h"
#include "radio/sbep.h"
#include "radio/usb_serial.h"
#include "radio/windows/ftd2xx_library.h"

// FTDI's library as the program loads it, against the stand-in ftd2xx.dll built from the
// simulated radio: taken from the system folder only, its functions found by name, and a radio
// answers through them.
namespace plugshift {
namespace {

namespace fs = std::filesystem;

// Built beside bin/, where the suites are.
fs::path standIn() {
    return executableFolder() / ".." / "stand-in" / "ftd2xx.dll";
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
    }

    void place(const fs::path& copy) {
        std::error_code ec;
        fs::copy_file(standIn(), copy, fs::copy_options::overwrite_existing, ec);
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

}  // namespace
}  // namespace plugshift
