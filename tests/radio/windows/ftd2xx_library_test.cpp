#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "errors/error_chain.h"
#include "platform/process_environment.h"
#include "radio/sbep.h"
#include "radio/usb_serial.h"
#include "radio/windows/ftd2xx_library.h"

// FTDI's library as the program loads it, against the stand-in ftd2xx.dll built from the
// simulated radio: the functions are found by name and a radio answers through them.
namespace plugshift {
namespace {

// Built beside bin/, where the suites are.
std::wstring standIn() {
    return (executableFolder() / ".." / "stand-in" / "ftd2xx.dll").wstring();
}

TEST(Ftd2xxLibraryTest, RefusesALibraryThatIsMissingOrLacksTheFunctions) {
    EXPECT_EQ(Ftd2xxLibrary::load(L"no-such-library.dll"), nullptr);
    // A library that loads but exports none of the FT_* functions.
    EXPECT_EQ(Ftd2xxLibrary::load(L"kernel32.dll"), nullptr);
}

TEST(Ftd2xxLibraryTest, ReadsTheRadioIdentityThroughTheLoadedLibrary) {
    const auto library = Ftd2xxLibrary::load(standIn());
    ASSERT_NE(library, nullptr);
    ErrorChain::remove(0);
    USBSerial port(*library);
    SBEP engine(&port);

    int first = -1;
    ASSERT_EQ(port.countCables(first), 1);
    EXPECT_EQ(first, 0);
    ASSERT_TRUE(port.open(first));
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
}

}  // namespace
}  // namespace plugshift
