#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "sim/sim_cable.h"
#include "sim/sim_d2xx.h"
#include "wire.h"

// The simulated cable as the driver interface shows it: enumeration, the time-out rule, the
// cable's modes, line faults and pacing.
namespace plugshift {
namespace {

using namespace std::chrono_literals;
using test::shortFrame;
using test::WireHost;
using Bytes = std::vector<uint8_t>;

SimD2xx::Options withFaults(std::vector<SimFault> faults) {
    SimD2xx::Options o;
    o.faults = std::move(faults);
    return o;
}

// Exchanges without line, latency or device time, for tests of the time-out rules themselves.
SimD2xx::Options instant() {
    SimD2xx::Options o;
    o.timing = SimTiming::instant();
    return o;
}

std::string description(SimD2xx& d2xx, int index) {
    char buffer[FT_DESCRIPTION_SIZE] = {};
    if (d2xx.FT_ListDevices(reinterpret_cast<void*>(static_cast<intptr_t>(index)), buffer,
                            FT_LIST_DESCRIPTION_BY_INDEX) != FT_OK) {
        return "<none>";
    }
    return buffer;
}

uint32_t deviceCount(SimD2xx& d2xx) {
    uint32_t n = 99;
    EXPECT_EQ(d2xx.FT_ListDevices(&n, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    return n;
}

const Bytes kItem0 = shortFrame(0x23, {0x00});

TEST(SimD2xxTest, PresentsZeroOneOrTwoCablesBesideOtherDevices) {
    for (int cables = 0; cables <= 2; ++cables) {
        SimD2xx::Options o;
        o.cables = cables;
        SimD2xx d2xx(o);
        d2xx.addForeignDevice("FT232R USB UART");
        EXPECT_EQ(deviceCount(d2xx), static_cast<uint32_t>(cables + 1));
        for (int i = 0; i < cables; ++i) {
            EXPECT_EQ(description(d2xx, i), "NV PGM Cable");
        }
        EXPECT_EQ(description(d2xx, cables), "FT232R USB UART");
        EXPECT_EQ(description(d2xx, cables + 1), "<none>");
    }
    SimD2xx two([] {
        SimD2xx::Options o;
        o.cables = 2;
        return o;
    }());
    // Each cable has a radio of its own.
    WireHost a(two, 0);
    WireHost b(two, 1);
    a.request(shortFrame(0x22, {8, 0, 0}));
    EXPECT_EQ(two.radio(0).mode(), SimRadio::Mode::FlashTest);
    EXPECT_EQ(two.radio(1).mode(), SimRadio::Mode::Normal);
    EXPECT_TRUE(b.request(kItem0));
}

TEST(SimD2xxTest, OpenCloseAndHandles) {
    SimD2xx d2xx;
    FT_HANDLE h = nullptr;
    ASSERT_EQ(d2xx.FT_Open(0, &h), FT_OK);
    FT_HANDLE second = nullptr;
    EXPECT_EQ(d2xx.FT_Open(0, &second), FT_DEVICE_NOT_OPENED);  // busy
    EXPECT_EQ(d2xx.FT_Open(1, &second), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(d2xx.hostBaud(), SimD2xx::kOpenBaud);
    EXPECT_EQ(d2xx.FT_SetBaudRate(h, 100), FT_INVALID_BAUD_RATE);
    EXPECT_EQ(d2xx.FT_SetBaudRate(h, 16406), FT_OK);
    EXPECT_EQ(d2xx.hostBaud(), 16406u);
    EXPECT_EQ(d2xx.FT_SetDataCharacteristics(h, 8, 0, 0), FT_OK);
    EXPECT_EQ(d2xx.FT_SetDataCharacteristics(h, 9, 0, 0), FT_INVALID_PARAMETER);
    EXPECT_EQ(d2xx.FT_SetFlowControl(h, 0, 0, 0), FT_OK);
    EXPECT_EQ(d2xx.FT_SetFlowControl(h, 0x0800, 0, 0), FT_INVALID_PARAMETER);
    EXPECT_EQ(d2xx.FT_Purge(h, 4), FT_OK);
    ASSERT_EQ(d2xx.FT_Close(h), FT_OK);
    EXPECT_EQ(d2xx.FT_Close(h), FT_INVALID_HANDLE);
    uint32_t done = 0;
    EXPECT_EQ(d2xx.FT_Write(h, "x", 1, &done), FT_INVALID_HANDLE);
    uint32_t rx = 0;
    uint32_t tx = 0;
    uint32_t events = 0;
    EXPECT_EQ(d2xx.FT_GetStatus(h, &rx, &tx, &events), FT_INVALID_HANDLE);
}

TEST(SimD2xxTest, ListsSerialNumbersAndLocationsByIndex) {
    SimD2xx d2xx;
    d2xx.addForeignDevice("FT232R USB UART");
    char serial[FT_DESCRIPTION_SIZE] = {};
    uint32_t location = 0;
    const auto index = [](intptr_t i) { return reinterpret_cast<void*>(i); };
    ASSERT_EQ(d2xx.FT_ListDevices(index(1), serial, FT_LIST_SERIAL_NUMBER_BY_INDEX), FT_OK);
    EXPECT_STREQ(serial, "KMVSIM02");
    ASSERT_EQ(d2xx.FT_ListDevices(index(0), &location, FT_LIST_LOCATION_BY_INDEX), FT_OK);
    EXPECT_EQ(location, 0x1001u);
    d2xx.setSerialNumber(0, "");
    ASSERT_EQ(d2xx.FT_ListDevices(index(0), serial, FT_LIST_SERIAL_NUMBER_BY_INDEX), FT_OK);
    EXPECT_STREQ(serial, "");
    EXPECT_EQ(d2xx.FT_ListDevices(index(2), serial, FT_LIST_SERIAL_NUMBER_BY_INDEX),
              FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(d2xx.FT_ListDevices(index(0), serial, FT_LIST_BY_INDEX), FT_INVALID_PARAMETER);
}

TEST(SimD2xxTest, ReadsReturnShortWhenTheirTimeOutPassesWithoutRealWaiting) {
    SimD2xx d2xx(instant());
    WireHost host(d2xx);
    uint8_t buffer[64];
    uint32_t got = 99;
    const auto wallStart = std::chrono::steady_clock::now();
    const SimTime start = d2xx.now();
    ASSERT_EQ(d2xx.FT_Read(host.handle(), buffer, 1, &got), FT_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(d2xx.now() - start, 250ms);  // the whole read time-out passed...
    EXPECT_LT(std::chrono::steady_clock::now() - wallStart, 200ms);  // ...on the virtual clock

    uint32_t written = 0;
    ASSERT_EQ(d2xx.FT_Write(host.handle(), kItem0.data(), 4, &written), FT_OK);
    ASSERT_EQ(d2xx.FT_Read(host.handle(), buffer, 3, &got), FT_OK);
    EXPECT_EQ(got, 3u);  // a read that can be filled returns at once
    EXPECT_EQ(d2xx.now() - start, 250ms);
    ASSERT_EQ(d2xx.FT_Read(host.handle(), buffer, 64, &got), FT_OK);
    EXPECT_EQ(got, 14u);  // the rest of the 17-byte reply, then the time-out
    EXPECT_EQ(d2xx.now() - start, 500ms);
}

TEST(SimD2xxTest, LatencyAndDeviceTimesDelayTheReply) {
    SimD2xx::Options o = instant();
    o.timing.latency = 16ms;
    o.timing.eraseTime = 40ms;
    SimD2xx d2xx(o);
    WireHost host(d2xx);
    d2xx.FT_SetTimeouts(host.handle(), 10, 300);
    uint8_t buffer[32];
    uint32_t got = 0;
    uint32_t written = 0;
    d2xx.FT_Write(host.handle(), kItem0.data(), 4, &written);
    d2xx.FT_Read(host.handle(), buffer, 1, &got);
    EXPECT_EQ(got, 0u);  // not within 10 ms
    d2xx.FT_Read(host.handle(), buffer, 1, &got);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(d2xx.now(), 16ms);

    d2xx.FT_SetTimeouts(host.handle(), 250, 300);
    ASSERT_TRUE(host.request(shortFrame(0x22, {8, 0, 0})));
    const SimTime before = d2xx.now();
    const Bytes dynErase = test::longFrame(0x72, {0x06, 0x0E, 0x00, 0x00});
    d2xx.FT_Write(host.handle(), dynErase.data(), static_cast<uint32_t>(dynErase.size()), &written);
    d2xx.FT_Read(host.handle(), buffer, 1, &got);
    EXPECT_EQ(d2xx.now() - before, 56ms);  // erase time, then the adapter's latency
    EXPECT_EQ(d2xx.cable().deviceTime(), 40ms);
}

TEST(SimD2xxTest, CableModes) {
    const auto probe = Bytes{0xF1, 0x40, 0xCE};
    struct Case {
        SimCableMode mode;
        bool echo;
        bool radioAnswers;
    };
    for (const Case c :
         {Case{SimCableMode::Digital, false, true}, Case{SimCableMode::Echo, true, true},
          Case{SimCableMode::Unsupported, false, false}}) {
        SimD2xx::Options o;
        o.mode = c.mode;
        SimD2xx d2xx(o);
        WireHost host(d2xx, 0, 16406);
        const Bytes back = host.exchange(probe);  // at the probe's rate the radio hears noise
        if (c.mode == SimCableMode::Digital) {
            EXPECT_TRUE(back.empty());
        } else {
            ASSERT_EQ(back.size(), 3u);
            EXPECT_EQ(back == probe, c.echo);
            if (!c.echo) {
                for (size_t i = 0; i < 3; ++i) {
                    EXPECT_NE(back[i], probe[i]);
                }
            }
        }
        host.setBaud(57600);
        Bytes reply = host.exchange(kItem0);
        if (c.echo) {
            ASSERT_GE(reply.size(), 4u);
            EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 4), kItem0);
            reply.erase(reply.begin(), reply.begin() + 4);
        }
        EXPECT_EQ(test::parseReply(reply).has_value(), c.radioAnswers);
    }
}

TEST(SimD2xxTest, DroppedCorruptedAndDelayedReplies) {
    SimD2xx d2xx(withFaults({{SimFaultKind::DropReply, 2, 0},
                             {SimFaultKind::CorruptReply, 3, 0},
                             {SimFaultKind::DelayReply, 5, 400}}));
    WireHost host(d2xx);
    const Bytes good = host.exchange(kItem0);
    ASSERT_TRUE(test::parseReply(good));
    EXPECT_TRUE(host.exchange(kItem0).empty());     // 2: dropped
    const Bytes corrupted = host.exchange(kItem0);  // 3: one bit flipped
    ASSERT_EQ(corrupted.size(), good.size());
    int flipped = 0;
    for (size_t i = 0; i < good.size(); ++i) {
        flipped += __builtin_popcount(good[i] ^ corrupted[i]);
    }
    EXPECT_EQ(flipped, 1);
    EXPECT_EQ(host.exchange(kItem0), good);  // 4
    EXPECT_EQ(d2xx.cable().hostBytes(), 4u * 4);
    EXPECT_EQ(d2xx.cable().radioBytes(), 4u * good.size());  // the lost reply was sent too
    // 5 comes 400 ms late: after this read's 250 ms, and a purge does not catch what is still
    // on its way, so the late reply turns up in the next exchange ahead of its own reply.
    EXPECT_TRUE(host.exchange(kItem0).empty());
    Bytes both = good;
    both.insert(both.end(), good.begin(), good.end());
    EXPECT_EQ(host.exchange(kItem0), both);
}

TEST(SimD2xxTest, RefusedAndWrongOpcodeRepliesCountTheirTimes) {
    SimD2xx d2xx(
        withFaults({{SimFaultKind::RefuseOpcode, 0x23, 2}, {SimFaultKind::WrongOpcode, 0x22, 0}}));
    WireHost host(d2xx);
    for (int i = 0; i < 2; ++i) {
        const auto r = host.request(kItem0);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->opcode, 0x85);
        EXPECT_EQ(d2xx.cable().responder().lastRefusal(), SimRefusal::Injected);
    }
    EXPECT_EQ(host.request(kItem0)->opcode, 0xA3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(host.request(shortFrame(0x22, {8, 0, 0}))->opcode, 0x8D);
    }
    EXPECT_EQ(d2xx.radio().mode(), SimRadio::Mode::FlashTest);  // the request itself took effect
}

TEST(SimD2xxTest, PulledCableFailsTheWriteAndLeavesTheBus) {
    SimD2xx d2xx(withFaults({{SimFaultKind::PullCable, 6, 0}}));
    WireHost host(d2xx);
    ASSERT_TRUE(host.request(kItem0));  // bytes 1-4
    uint32_t written = 0;
    EXPECT_EQ(d2xx.FT_Write(host.handle(), kItem0.data(), 4, &written), FT_IO_ERROR);
    EXPECT_EQ(written, 2u);
    uint8_t buffer[8];
    uint32_t got = 0;
    EXPECT_EQ(d2xx.FT_Read(host.handle(), buffer, 8, &got), FT_IO_ERROR);
    EXPECT_EQ(d2xx.FT_SetBaudRate(host.handle(), 57600), FT_IO_ERROR);
    EXPECT_EQ(deviceCount(d2xx), 0u);
    EXPECT_EQ(d2xx.FT_Close(host.handle()), FT_OK);
}

// After a re-plug the host opens the cable again and finds the radio as the pull left it.
TEST(SimD2xxTest, APulledCablePluggedBackInAnswersAgain) {
    SimD2xx d2xx(withFaults({{SimFaultKind::PullCable, 8, 0}}));
    {
        WireHost host(d2xx);
        ASSERT_TRUE(host.request(shortFrame(0x22, {8, 0, 0})));  // bytes 1-6
        EXPECT_FALSE(host.request(kItem0));
    }
    EXPECT_EQ(deviceCount(d2xx), 0u);
    d2xx.faults().clear();
    d2xx.plugIn();
    EXPECT_EQ(deviceCount(d2xx), 1u);
    WireHost again(d2xx);
    EXPECT_TRUE(again.request(kItem0));
    EXPECT_EQ(d2xx.radio().mode(), SimRadio::Mode::FlashTest);
}

// As a real cable's driver, a write returns once the line has carried its bytes: the radio's
// reply window starts then, not when the bytes were handed over.
TEST(SimD2xxTest, AWriteTakesItsLineTimeAndSendsOnlyWhatFitsItsTimeOut) {
    SimD2xx::Options o = instant();
    o.timing.pacing = true;
    SimD2xx d2xx(o);
    WireHost host(d2xx);
    d2xx.FT_SetTimeouts(host.handle(), 250, 3000);
    // A 4105-byte flash frame (the longest request) is 712.7 ms at 57600 baud.
    const Bytes program = test::longFrame(0x72, Bytes(4100, 0xFF));
    ASSERT_EQ(program.size(), 4105u);
    uint32_t written = 0;
    SimTime start = d2xx.now();
    ASSERT_EQ(d2xx.FT_Write(host.handle(), program.data(), 4105, &written), FT_OK);
    EXPECT_EQ(written, 4105u);
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::microseconds>(d2xx.now() - start).count(),
              712673);
    EXPECT_EQ(d2xx.cable().hostBytes(), 4105u);

    // Within 300 ms only 1728 bytes leave; the rest never reaches the radio.
    d2xx.FT_SetTimeouts(host.handle(), 250, 300);
    start = d2xx.now();
    EXPECT_EQ(d2xx.FT_Write(host.handle(), program.data(), 4105, &written), FT_OK);
    EXPECT_EQ(written, 1728u);
    EXPECT_EQ(d2xx.now() - start, 1728 * SimCable::byteTime(57600));
    EXPECT_EQ(d2xx.cable().hostBytes(), 4105u + 1728u);
}

// A pseudo-terminal hands a long request over in pieces of any size, all at once; to the radio
// it is still one request whose bytes follow each other on the line, answered only after the last.
TEST(SimCableTest, ALongRequestTakenInPiecesIsOneRequestAnsweredAfterItsLastByte) {
    SimRadio radio;
    SimFaults faults;
    SimCable cable(radio, faults);
    const Bytes program = test::longFrame(0x72, Bytes(4100, 0xFF));
    for (size_t piece : {size_t{2048}, size_t{1}, size_t{2056}}) {
        const size_t at = cable.hostBytes();
        cable.send(std::span(program).subspan(at, piece), 57600, SimTime{0});
    }
    ASSERT_EQ(cable.hostBytes(), program.size());
    ASSERT_FALSE(cable.pending().empty());
    EXPECT_GE(cable.pending().front().at, 4105 * SimCable::byteTime(57600));
}

struct Queues {
    uint32_t rx = 0;
    uint32_t tx = 0;
};

Queues queues(SimD2xx& d2xx, FT_HANDLE handle) {
    Queues q;
    uint32_t events = 7;
    EXPECT_EQ(d2xx.FT_GetStatus(handle, &q.rx, &q.tx, &events), FT_OK);
    EXPECT_EQ(events, 0u);
    return q;
}

// FTDI's library may return from a write once its driver holds the bytes: the write waits only
// for room in the transmit queue, which the line empties at its rate. The adapter's chip holds
// the last bytes before the line besides that queue, and FT_GetStatus does not count them.
TEST(SimD2xxTest, ATransmitQueueTakesTheWriteAsSoonAsItHasRoom) {
    const Bytes program = test::longFrame(0x72, Bytes(4100, 0xFF));
    const SimTime byte = SimCable::byteTime(57600);
    struct Case {
        uint32_t queue;
        uint32_t chip;
        uint32_t writeTimeoutMs;
        FT_STATUS status;
        uint32_t written;
        SimTime returnsAfter;
        uint32_t queuedThen;
    };
    const Case cases[] = {
        {8192, 0, 3000, FT_OK, 4105, SimTime{0}, 4105},
        {1024, 0, 3000, FT_OK, 4105, 3081 * byte, 1024},
        // 1728 bytes leave within 300 ms and make room for as many more.
        {1024, 0, 300, FT_IO_ERROR, 1728 + 1024, 300ms, 1024},
        {8192, 256, 3000, FT_OK, 4105, SimTime{0}, 4105 - 256},
        {1024, 256, 3000, FT_OK, 4105, (3081 - 256) * byte, 1024},
        // Without a queue the write returns once the chip holds the rest.
        {0, 256, 3000, FT_OK, 4105, (4105 - 256) * byte, 0},
    };
    for (const Case& c : cases) {
        SimD2xx::Options o;
        o.transmitQueue = c.queue;
        o.chipBuffer = c.chip;
        SimD2xx d2xx(o);
        WireHost host(d2xx);
        d2xx.FT_SetTimeouts(host.handle(), 250, c.writeTimeoutMs);
        const SimTime start = d2xx.now();
        uint32_t written = 0;
        EXPECT_EQ(d2xx.FT_Write(host.handle(), program.data(), 4105, &written), c.status);
        EXPECT_EQ(written, c.written);
        EXPECT_EQ(d2xx.now() - start, c.returnsAfter)
            << c.queue << " " << c.chip << " " << c.writeTimeoutMs;
        EXPECT_EQ(queues(d2xx, host.handle()).tx, c.queuedThen);
    }
}

TEST(SimD2xxTest, AQueuedRequestIsAnsweredOnceTheLineHasCarriedIt) {
    SimD2xx::Options o;
    o.transmitQueue = 8192;
    SimD2xx d2xx(o);
    WireHost host(d2xx);
    d2xx.FT_SetTimeouts(host.handle(), 250, 3000);
    const Bytes program = test::longFrame(0x72, Bytes(4100, 0xFF));
    uint32_t written = 0;
    const SimTime start = d2xx.now();
    ASSERT_EQ(d2xx.FT_Write(host.handle(), program.data(), 4105, &written), FT_OK);
    Bytes reply(64);
    uint32_t got = 9;
    // 250 ms carry 1440 bytes; nothing answers yet.
    ASSERT_EQ(d2xx.FT_Read(host.handle(), reply.data(), 1, &got), FT_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(queues(d2xx, host.handle()).tx, 4105u - 1440u);
    for (int i = 0; i < 4 && got == 0; ++i) {
        ASSERT_EQ(d2xx.FT_Read(host.handle(), reply.data(), 1, &got), FT_OK);
    }
    ASSERT_EQ(got, 1u);
    // The frame's line time and the adapter's latency.
    EXPECT_GE(d2xx.now() - start, 4105 * SimCable::byteTime(57600) + SimTiming::kAdapterLatency);
    EXPECT_EQ(queues(d2xx, host.handle()).tx, 0u);
}

TEST(SimD2xxTest, PurgingTheTransmitSideDropsWhatTheLineHasNotCarried) {
    SimD2xx::Options o;
    o.transmitQueue = 8192;
    SimD2xx d2xx(o);
    WireHost host(d2xx);
    const Bytes program = test::longFrame(0x72, Bytes(4100, 0xFF));
    uint32_t written = 0;
    ASSERT_EQ(d2xx.FT_Write(host.handle(), program.data(), 4105, &written), FT_OK);
    Bytes reply(64);
    uint32_t got = 0;
    ASSERT_EQ(d2xx.FT_Read(host.handle(), reply.data(), 1, &got), FT_OK);  // 1440 bytes out
    ASSERT_EQ(d2xx.FT_Purge(host.handle(), FT_PURGE_TX), FT_OK);
    EXPECT_EQ(queues(d2xx, host.handle()).tx, 0u);
    EXPECT_EQ(d2xx.cable().hostBytes(), 1440u);
    // The radio never had the whole request, so nothing answers it.
    ASSERT_EQ(d2xx.FT_Read(host.handle(), reply.data(), 64, &got), FT_OK);
    EXPECT_EQ(got, 0u);
}

TEST(SimD2xxTest, AStrictDriverRefusesPurgeMasksItDoesNotDefine) {
    for (const bool strict : {false, true}) {
        SimD2xx::Options o;
        o.strictPurge = strict;
        SimD2xx d2xx(o);
        WireHost host(d2xx);
        EXPECT_EQ(d2xx.FT_Purge(host.handle(), FT_PURGE_RX | FT_PURGE_TX), FT_OK);
        EXPECT_EQ(d2xx.FT_Purge(host.handle(), 4), strict ? FT_INVALID_PARAMETER : FT_OK);
    }
}

TEST(SimD2xxTest, PacingTakesTheLineTimeForReal) {
    SimD2xx::Options o = instant();
    o.timing.pacing = true;
    o.realTime = true;
    SimD2xx d2xx(o);
    WireHost host(d2xx);
    // 9 request bytes and a 230-byte reply: 239 bytes at 5760 bytes/s, about 41.5 ms.
    const Bytes request = test::longFrame(0x11, {220, 0x82, 0x00, 0x00});
    Bytes reply(230);
    uint32_t written = 0;
    uint32_t got = 0;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(d2xx.FT_Write(host.handle(), request.data(), 9, &written), FT_OK);
    ASSERT_EQ(d2xx.FT_Read(host.handle(), reply.data(), 230, &got), FT_OK);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(got, 230u);
    EXPECT_TRUE(test::parseReply(reply));
    EXPECT_GE(elapsed, 41ms);
    EXPECT_LT(elapsed, 240ms);  // it did not sit out the 250 ms read time-out
}

}  // namespace
}  // namespace plugshift
