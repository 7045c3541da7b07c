#include "radio/cable_probe.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "errors/error_chain.h"
#include "fake_d2xx.h"
#include "radio/sbep.h"

namespace plugshift {
namespace {

using test::FakeD2xx;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kItemReplyOpcode = 0xA3;

// A long reply frame after the lead-in: two leading data bytes, then the value.
Bytes itemReply(const Bytes& value) {
    Bytes data = {0x00, 0x00};
    data.insert(data.end(), value.begin(), value.end());
    const auto follow = static_cast<uint16_t>(data.size() + 1);
    Bytes frame = {0xFF, kItemReplyOpcode, static_cast<uint8_t>(follow >> 8),
                   static_cast<uint8_t>(follow)};
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(SBEP::sbepChecksum(frame));
    frame.insert(frame.begin(), 0x50);
    return frame;
}

// A radio that answers the item reads it knows and stays silent otherwise.
void answerItems(FakeD2xx& cable, const std::map<uint8_t, Bytes>& items) {
    cable.onWrite = [items](FakeD2xx& fake, std::span<const uint8_t> bytes) {
        if (bytes.size() == 4 && bytes[0] == 0xF2 && bytes[1] == 0x23) {
            const auto it = items.find(bytes[2]);
            if (it != items.end()) {
                fake.queueRx(itemReply(it->second));
            }
        }
    };
}

const std::map<uint8_t, Bytes> kRadio = {
    {0, {'R', 'Q', 'X', 7, 7, 0, 'A', 'B', 'C', 1, 2}},
    {1, {'1', '2', '3', 'A', 'B', '4', '5', 'C', '6', '7'}},
    {3, {'r', 1, 2, 30}},
};

struct ProbeRig {
    ProbeRig() { ErrorChain::remove(0); }
    ~ProbeRig() { ErrorChain::remove(0); }

    std::vector<DoctorCheck> run() {
        const CableProbe probe([this](const std::string& path) {
            paths.push_back(path);
            return cable;
        });
        return probe.run("/dev/ttyUSB0");
    }

    std::shared_ptr<FakeD2xx> cable = std::make_shared<FakeD2xx>();
    std::vector<std::string> paths;
};

std::vector<std::string> verdicts(const std::vector<DoctorCheck>& checks) {
    std::vector<std::string> out;
    for (const DoctorCheck& c : checks) {
        out.push_back(std::string(verdictName(c.verdict)) + " " + c.name);
    }
    return out;
}

TEST(CableProbe, DigitalCableAndAnsweringRadioGiveTheIdentity) {
    ProbeRig rig;
    answerItems(*rig.cable, kRadio);
    const std::vector<DoctorCheck> checks = rig.run();
    EXPECT_THAT(verdicts(checks), ElementsAre("OK cable-mode", "OK identity"));
    EXPECT_EQ(checks[1].detail,
              "the radio answered: model RQX770ABC12, serial 123AB45C67, firmware R01.02.30");
    EXPECT_EQ(checks[1].device, "/dev/ttyUSB0");
    EXPECT_THAT(rig.paths, ElementsAre("/dev/ttyUSB0"));
    // Connected as the tool connects: the probe at 16406 baud, 8N1, then the radio at 57600.
    const std::vector<std::string>& calls = rig.cable->calls;
    const auto at = [&](const std::string& call) {
        return std::find(calls.begin(), calls.end(), call) - calls.begin();
    };
    EXPECT_LT(at("FT_Open(0)"), at("FT_SetBaudRate(16406)"));
    EXPECT_LT(at("FT_SetBaudRate(16406)"), at("FT_SetDataCharacteristics(8,0,0)"));
    EXPECT_LT(at("FT_SetDataCharacteristics(8,0,0)"), at("FT_SetBaudRate(57600)"));
    EXPECT_LT(at("FT_SetBaudRate(57600)"), static_cast<ptrdiff_t>(calls.size()));
    ASSERT_GE(rig.cable->tx.size(), 7u);
    EXPECT_THAT(Bytes(rig.cable->tx.begin(), rig.cable->tx.begin() + 7),
                ElementsAre(0xF1, 0x40, 0xCE, 0xF2, 0x23, 0x00,
                            SBEP::sbepChecksum(Bytes{0xF2, 0x23, 0x00})));
    EXPECT_FALSE(rig.cable->isOpen());
}

TEST(CableProbe, WhatGoesWrongIsNamed) {
    struct Case {
        const char* situation;
        void (*setUp)(FakeD2xx&);
        std::vector<std::string> verdicts;
        std::string mentions;  // in the last check's detail or advice
    };
    const Case cases[] = {
        {"echoing cable",
         [](FakeD2xx& c) { c.echo = true; },
         {"FAIL cable-mode"},
         "Please toggle the USB cable to DIGITAL (Flash) mode."},
        {"cable answering the probe with its own bytes",
         [](FakeD2xx& c) {
             c.onWrite = [](FakeD2xx& fake, std::span<const uint8_t>) {
                 fake.queueRx({0x00, 0x11, 0x22});
             };
         },
         {"FAIL cable-mode"},
         "The USB cable is unsupported."},
        {"no radio on the cable",
         [](FakeD2xx&) {},
         {"OK cable-mode", "FAIL identity"},
         "no radio answered the identity read"},
        {"radio that gives its model only",
         [](FakeD2xx& c) {
             answerItems(c, {{0, kRadio.at(0)}});
         },
         {"OK cable-mode", "FAIL identity"},
         "gave model RQX770ABC12 but not its serial"},
        {"device that does not open",
         [](FakeD2xx& c) {
             c.failNext("FT_Open", FT_DEVICE_NOT_OPENED);
             c.openProblem = L"/dev/ttyUSB0 is in use by another program; close it and try again.";
         },
         {"FAIL cable-mode"},
         "cannot open it: /dev/ttyUSB0 is in use by another program"},
        {"adapter refusing the probe rate",
         [](FakeD2xx& c) { c.failNext("FT_SetBaudRate", FT_INVALID_BAUD_RATE); },
         {"FAIL cable-mode"},
         "Error:failed to set baud rade [16406]."},
    };
    for (const Case& c : cases) {
        ProbeRig rig;
        c.setUp(*rig.cable);
        const std::vector<DoctorCheck> checks = rig.run();
        EXPECT_EQ(verdicts(checks), c.verdicts) << c.situation;
        ASSERT_FALSE(checks.empty()) << c.situation;
        EXPECT_THAT(checks.back().detail + " -> " + checks.back().advice, HasSubstr(c.mentions))
            << c.situation;
        EXPECT_FALSE(rig.cable->isOpen()) << c.situation;
    }
}

// Without a factory the named tty itself is opened: a pseudo-terminal whose master stays silent
// is a digital cable without a radio.
TEST(CableProbe, OpensTheNamedTtyByDefault) {
    ErrorChain::remove(0);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    char slave[128] = {};
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    ASSERT_EQ(::ptsname_r(master, slave, sizeof slave), 0);

    EXPECT_EQ(verdicts(CableProbe().run(slave)),
              (std::vector<std::string>{"OK cable-mode", "FAIL identity"}));
    uint8_t sent[3] = {};
    pollfd entry{master, POLLIN, 0};
    ASSERT_EQ(::poll(&entry, 1, 1000), 1);
    ASSERT_EQ(::read(master, sent, sizeof sent), 3);
    EXPECT_THAT(sent, ElementsAre(0xF1, 0x40, 0xCE));
    ::close(master);
    ErrorChain::remove(0);
}

}  // namespace
}  // namespace plugshift
