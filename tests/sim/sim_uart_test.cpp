#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/sim_request_parser.h"
#include "sim/sim_uart.h"
#include "wire.h"

namespace plugshift {
namespace {

std::vector<uint8_t> everyByte() {
    std::vector<uint8_t> bytes;
    for (int b = 0; b < 256; ++b) {
        bytes.push_back(static_cast<uint8_t>(b));
    }
    return bytes;
}

TEST(SimUartTest, RatesWithinTheReceiversToleranceCarryBytesUnchanged) {
    const auto bytes = everyByte();
    struct Case {
        uint32_t sender;
        uint32_t receiver;
    };
    // 2 % apart is within what a UART absorbs over one 10-bit frame
    for (const Case c : {Case{57600, 57600}, Case{57600, 56448}, Case{56448, 57600},
                         Case{16406, 16406}, Case{9600, 9792}}) {
        EXPECT_EQ(SimUart::carry(bytes, c.sender, c.receiver), bytes)
            << c.sender << " -> " << c.receiver;
    }
}

TEST(SimUartTest, MismatchedRatesTurnRequestsIntoNoise) {
    // The cable probe sent at 16406 to a radio listening at 57600, and identity requests sent
    // across the other mismatches the host can make: the radio must not find a request in them.
    const std::vector<std::vector<uint8_t>> frames = {
        {0xF1, 0x40, 0xCE},
        test::shortFrame(0x23, {0x00}),
        test::longFrame(0x20, {0x31, 0x00, 0x00}),
    };
    struct Case {
        uint32_t sender;
        uint32_t receiver;
    };
    for (const Case c : {Case{16406, 57600}, Case{57600, 16406}, Case{38400, 57600},
                         Case{57600, 115200}, Case{9600, 57600}}) {
        for (const auto& frame : frames) {
            const auto received = SimUart::carry(frame, c.sender, c.receiver);
            EXPECT_NE(received, frame);
            SimRequestParser parser;
            for (uint8_t b : received) {
                EXPECT_FALSE(parser.feed(b)) << c.sender << " -> " << c.receiver;
            }
        }
    }
}

TEST(SimUartTest, SlowBytesAtAFastReceiverReadAsFramingErrors) {
    // At a quarter of the receiver's rate, a zero byte holds the line low for 36 receiver bits:
    // the stop bit reads low and the tty delivers NUL; all-ones bytes show only their start bit.
    const std::vector<uint8_t> zeros(3, 0x00);
    EXPECT_EQ(SimUart::carry(zeros, 14400, 57600), std::vector<uint8_t>(3, 0x00));
    const auto ones = SimUart::carry(std::vector<uint8_t>(2, 0xFF), 14400, 57600);
    ASSERT_EQ(ones.size(), 2u);
    EXPECT_EQ(ones[0], 0xF8);  // start bit seen as the first three data bits
}

}  // namespace
}  // namespace plugshift
