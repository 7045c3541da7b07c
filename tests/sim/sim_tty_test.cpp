#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>

#include "errors/error_chain.h"
#include "kmv_sim_process.h"
#include "radio/sbep.h"
#include "radio/tty_d2xx.h"
#include "radio/usb_serial.h"

// The real serial backend and the host's engine against kmv-sim's pseudo-terminal.
namespace plugshift {
namespace {

using Bytes = std::vector<uint8_t>;

class KmvSimTtyTest : public ::testing::Test {
protected:
    void SetUp() override { ErrorChain::remove(0); }
    void TearDown() override { ErrorChain::remove(0); }

    bool connect(TtyD2xx& tty, USBSerial& port, SBEP& engine, uint32_t rate, int& probe) {
        int first = -1;
        if (port.countCables(first) != 1 || !port.open(first) || !port.setBaudRate(16406) ||
            !port.setDataCharacteristics() || !port.setFlowControl() ||
            !port.setTimeouts(250, 300)) {
            return false;
        }
        probe = engine.probeCableMode();
        ErrorChain::remove(0);
        return port.setBaudRate(rate) && tty.devicePath(first) != "";
    }

    std::array<uint8_t, sbep::kMaxReplyData> reply{};
    uint8_t lastOpc = 0;
};

TEST_F(KmvSimTtyTest, ReadsTheIdentityThroughThePseudoTerminal) {
    test::KmvSimProcess sim({"--serial", "246XY80Z13", "--codeplug", "R01.05.02"});
    ASSERT_FALSE(sim.path().empty());
    auto tty = TtyD2xx::forDevice(sim.path());
    USBSerial port(*tty);
    SBEP engine(&port);
    int probe = -1;
    ASSERT_TRUE(connect(*tty, port, engine, 57600, probe));
    EXPECT_EQ(probe, SBEP::kCableDigital);
    int n = engine.readRadioItem(0, lastOpc, reply);
    ASSERT_EQ(n, 13);
    EXPECT_EQ(Bytes(reply.begin() + 2, reply.begin() + n),
              Bytes({'R', 'Q', 'X', 7, 7, 0, 'H', 'J', 'N', 'W', 'A'}));
    n = engine.readRadioItem(1, lastOpc, reply);
    EXPECT_EQ(std::string(reply.begin() + 2, reply.begin() + n), "246XY80Z13");
    n = engine.readRadioItem(4, lastOpc, reply);
    EXPECT_EQ(Bytes(reply.begin() + 2, reply.begin() + n), Bytes({'R', 1, 5, 2}));
    EXPECT_EQ(engine.softpotRead(lastOpc, reply), 14);
    EXPECT_TRUE(ErrorChain::records().empty());
    port.close();
    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(KmvSimTtyTest, BaudSwitchAndEchoCableThroughThePseudoTerminal) {
    test::KmvSimProcess sim({"--baud", "19200", "--cable", "echo"});
    auto tty = TtyD2xx::forDevice(sim.path());
    USBSerial port(*tty);
    SBEP engine(&port);
    int probe = -1;
    ASSERT_TRUE(connect(*tty, port, engine, 19200, probe));
    EXPECT_EQ(probe, SBEP::kCableEcho);
    ASSERT_GE(engine.requestTestMode(8, {0, 0}, lastOpc, reply), 0);
    ASSERT_GE(engine.setRadioBaudRate(0, lastOpc, reply), 0);
    EXPECT_EQ(port.baudRate(), 57600u);
    EXPECT_EQ(engine.readRadioItem(3, lastOpc, reply), 6);
    port.setBaudRate(19200);
    EXPECT_LT(engine.readRadioItem(3, lastOpc, reply), 0);
    port.close();
    EXPECT_EQ(sim.stop(), 0);
}

}  // namespace
}  // namespace plugshift
