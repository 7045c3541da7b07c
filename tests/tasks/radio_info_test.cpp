#include "tasks/radio_info.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "fake_d2xx.h"
#include "radio/frame_ring.h"
#include "radio/sbep.h"
#include "scripted_radio.h"

namespace plugshift {
namespace {

using test::Bytes;
using test::FakeD2xx;
using test::ScriptedRadio;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::EndsWith;
using Text = std::optional<std::wstring>;

constexpr int kSoftpot = ScriptedRadio::kSoftpot;

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// One radio's identity as it answers it: every value, and the reply data that carry them.
struct Identity {
    Bytes model;
    Bytes firmware;
    Bytes keypad;
    Bytes codeplug;
    Bytes serial;
    Bytes userId;

    void answerOn(ScriptedRadio& radio) const {
        radio.data = {{0, ScriptedRadio::itemData(0, model)},
                      {3, ScriptedRadio::itemData(3, firmware)},
                      {8, ScriptedRadio::itemData(8, keypad)},
                      {4, ScriptedRadio::itemData(4, codeplug)},
                      {1, ScriptedRadio::itemData(1, serial)},
                      {kSoftpot, ScriptedRadio::itemData(0x31, userId)}};
    }
};

const Identity kFirst = {
    {'R', 'Q', 'X', 7, 7, 0, 'H', 'J', 'N', 'U', 'S'},
    {'r', 1, 2, 30},
    {'k', 0, 1, 5},
    {'r', 1, 2, 0},
    bytesOf("123ABC4D56"),
    {0, 0, 0, 0, 0, 0, 0x30, 0x39, 0xA1, 0xA2, 0xA3, 0xA4},
};
const Identity kSecond = {
    {'R', 'Q', 'X', 7, 7, 0, 'H', 'J', 'N', 'W', 'E'},
    {'r', 2, 0, 1},
    {'k', 0, 2, 0},
    {'r', 1, 1, 0},
    bytesOf("987ZYX6W54A"),
    {0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0},
};

template <class Field>
Bytes bytes(const Field& field) {
    return Bytes(field.begin(), field.end());
}

// A radio record on a scripted cable with one programming cable plugged in.
struct Rig {
    Rig() { cable.descriptions = {"NV PGM Cable"}; }

    // Connects, reads the first identity and forgets what that took.
    void readFirstIdentity() {
        kFirst.answerOn(radio);
        ASSERT_TRUE(info.connectPort(0));
        ASSERT_TRUE(info.readIdentity());
        radio.requests.clear();
        cable.calls.clear();
        ErrorChain::remove(0);
    }

    void expectFields(const Identity& id) const {
        EXPECT_EQ(bytes(info.model()), id.model);
        EXPECT_EQ(bytes(info.firmwareVersion()), id.firmware);
        EXPECT_EQ(bytes(info.keypadVersion()), id.keypad);
        EXPECT_EQ(bytes(info.codeplugVersion()), id.codeplug);
        EXPECT_EQ(bytes(info.serialValue()), id.serial);
        EXPECT_EQ(bytes(info.userPrivateId()), id.userId);
    }

    FakeD2xx cable;
    ScriptedRadio radio{cable};
    RadioInfo info{cable};
};

class RadioInfoTest : public ::testing::Test, protected Rig {
protected:
    RadioInfoTest() { ErrorChain::remove(0); }
    ~RadioInfoTest() override { ErrorChain::remove(0); }
};

TEST_F(RadioInfoTest, ConnectingSetsTheLineUpAroundTheProbe) {
    ASSERT_TRUE(info.connectPort(0));

    std::vector<std::string> setUp;
    for (const std::string& call : cable.calls) {
        if (call.rfind("FT_Purge", 0) != 0 && call.rfind("FT_Read", 0) != 0 &&
            call.rfind("FT_Write", 0) != 0) {
            setUp.push_back(call);
        }
    }
    EXPECT_THAT(setUp, ElementsAre("FT_Open(0)", "FT_SetBaudRate(16406)",
                                   "FT_SetDataCharacteristics(8,0,0)", "FT_SetFlowControl(0,0,0)",
                                   "FT_SetTimeouts(250,300)", "FT_SetTimeouts(20,300)",
                                   "FT_SetBaudRate(57600)"));
    EXPECT_THAT(radio.requests, ElementsAre(Bytes{0xF1, 0x40, 0xCE}));
    EXPECT_TRUE(info.isConnected());
    EXPECT_FALSE(info.infoValid());
    EXPECT_EQ(info.portIndex(), 0);
    EXPECT_EQ(info.port()->baudRate(), 57600u);
    EXPECT_FALSE(info.sbep()->echoCable());
    ASSERT_NE(info.cpg(), nullptr);
    ASSERT_NE(info.flash(), nullptr);
}

TEST_F(RadioInfoTest, AFailedSetUpStepLeavesThePortClosed) {
    struct Case {
        const char* failing;
        const wchar_t* record;
        size_t closes;
    };
    const Case cases[] = {
        {"FT_Open", L"Error:failed to open the port refered by the index [0]", 0},
        {"FT_SetBaudRate", L"Error:failed to set baud rade [16406].", 1},
        {"FT_SetDataCharacteristics", L"Error:failed to set parity data stop.", 1},
        {"FT_SetFlowControl", L"Error:failed to set flow.", 1},
        {"FT_SetTimeouts", L"Error:failed to configure time out.", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        cable.calls.clear();
        ErrorChain::remove(0);
        cable.failNext(c.failing, FT_IO_ERROR);

        EXPECT_FALSE(info.connectPort(0));
        EXPECT_FALSE(info.isConnected());
        EXPECT_EQ(info.portIndex(), -1);
        EXPECT_FALSE(cable.isOpen());
        EXPECT_EQ(cable.callsTo("FT_Close").size(), c.closes);
        EXPECT_EQ(ErrorChain::firstMessage(), c.record);
        EXPECT_TRUE(cable.callsTo("FT_Write").empty());
    }
}

TEST_F(RadioInfoTest, ConnectingAgainClosesTheOpenPortFirst) {
    ASSERT_TRUE(info.connectPort(0));
    cable.calls.clear();
    ASSERT_TRUE(info.connectPort(0));
    ASSERT_GE(cable.calls.size(), 2u);
    EXPECT_EQ(cable.calls[0], "FT_Close()");
    EXPECT_EQ(cable.calls[1], "FT_Open(0)");
}

// A failure report carries the frames of the connection it happened on, and only those.
TEST_F(RadioInfoTest, TheTraceRingHoldsTheFramesOfTheLastConnection) {
    const FrameRing* ring = info.frameRing();
    ASSERT_NE(ring, nullptr);
    kFirst.answerOn(radio);
    ASSERT_TRUE(info.connectPort(0));
    ASSERT_TRUE(info.readIdentity());
    const std::vector<std::string> first = ring->lines();
    const auto sent = std::count_if(first.begin(), first.end(), [](const std::string& line) {
        return line.find(" TX ") != std::string::npos;
    });
    EXPECT_EQ(static_cast<size_t>(sent), radio.requests.size());
    ASSERT_FALSE(first.empty());
    EXPECT_THAT(first.front(), EndsWith(" TX F1 40 CE"));

    ASSERT_TRUE(info.connectPort(0));
    const std::vector<std::string> second = ring->lines();
    EXPECT_LT(second.size(), first.size());
    ASSERT_FALSE(second.empty());
    EXPECT_THAT(second.front(), EndsWith(" TX F1 40 CE"));
}

TEST_F(RadioInfoTest, DisconnectClearsTheFlagsEvenWhenTheCloseFails) {
    readFirstIdentity();
    cable.failNext("FT_Close", FT_IO_ERROR);
    EXPECT_FALSE(info.disconnect());
    EXPECT_FALSE(info.isConnected());
    EXPECT_FALSE(info.infoValid());
    EXPECT_EQ(info.portIndex(), -1);
    // The port that would not close is tried again.
    EXPECT_TRUE(info.disconnect());
    EXPECT_FALSE(cable.isOpen());
}

TEST_F(RadioInfoTest, ProbeReportsTheCableModeAtItsOwnRate) {
    struct Case {
        bool echo;
        Bytes answer;
        int mode;
        bool echoCable;  // what the engine believes afterwards
    };
    const Case cases[] = {
        {false, {}, SBEP::kCableDigital, false},
        {true, {}, SBEP::kCableEcho, true},
        // An answer that is no echo tells nothing about echoing: the engine keeps its belief.
        {false, {0x12, 0x34, 0x56}, SBEP::kCableUnsupported, true},
    };
    ASSERT_TRUE(info.connectPort(0));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        cable.echo = c.echo;
        radio.probeAnswer = c.answer;
        cable.calls.clear();
        EXPECT_EQ(info.probeCable(), c.mode);
        EXPECT_THAT(cable.callsTo("FT_SetBaudRate"),
                    ElementsAre("FT_SetBaudRate(16406)", "FT_SetBaudRate(57600)"));
        EXPECT_EQ(info.sbep()->echoCable(), c.echoCable);
    }
}

TEST_F(RadioInfoTest, IdentityIsReadItemByItemInItsOrder) {
    EXPECT_EQ(info.regionCode(), RadioInfo::kNoRegion);
    kFirst.answerOn(radio);
    ASSERT_TRUE(info.connectPort(0));
    radio.requests.clear();

    EXPECT_TRUE(info.readIdentity());
    EXPECT_TRUE(info.infoValid());
    EXPECT_THAT(radio.identityRequests(), ElementsAre(0, 3, 8, 4, 1, kSoftpot));
    expectFields(kFirst);
    EXPECT_EQ(info.serialLength(), 10);
    EXPECT_EQ(info.regionCode(), 1);
    EXPECT_EQ(RadioInfo::modelText(info.model()), L"RQX770HJNUS");
    EXPECT_EQ(RadioInfo::userPrivateIdText(info.userPrivateId()), L"12345");
}

TEST_F(RadioInfoTest, WithoutAConnectionNothingIsRead) {
    kFirst.answerOn(radio);
    EXPECT_FALSE(info.readIdentity());
    EXPECT_FALSE(info.infoValid());
    EXPECT_TRUE(radio.requests.empty());
    EXPECT_EQ(info.regionCode(), RadioInfo::kNoRegion);
}

TEST_F(RadioInfoTest, AFailedFirmwareReadKeepsTheEarlierValuesOfEverythingAfterTheModel) {
    readFirstIdentity();
    kSecond.answerOn(radio);
    radio.data.erase(3);

    EXPECT_FALSE(info.readIdentity());
    EXPECT_FALSE(info.infoValid());
    // The item is asked twice and nothing after it.
    EXPECT_THAT(radio.identityRequests(), ElementsAre(0, 3, 3));
    EXPECT_EQ(bytes(info.model()), kSecond.model);
    EXPECT_EQ(info.regionCode(), 1);
    Identity kept = kFirst;
    kept.model = kSecond.model;
    expectFields(kept);
    ASSERT_FALSE(ErrorChain::records().empty());
    EXPECT_EQ(ErrorChain::records().back().message, L"Error:failed to read radio item 3.");
}

TEST_F(RadioInfoTest, RepliesThatDoNotFitTheirFieldsAreRefusedAndChangeNothing) {
    struct Case {
        const char* name;
        int key;
        Bytes data;  // the whole reply data, the two bytes before the value included
        std::vector<int> requests;
        const wchar_t* record;
    };
    const Case cases[] = {
        {"model without a value",
         0,
         {0},
         {0},
         L"Error:the reply to radio item 0 has 1 data bytes, no value."},
        {"short model",
         0,
         ScriptedRadio::itemData(0, bytesOf("RQX770HJNW")),
         {0},
         L"Error:the value of radio item 0 has 10 bytes; its field holds 11 bytes."},
        {"short version",
         8,
         ScriptedRadio::itemData(8, {'k', 1, 2}),
         {0, 3, 8},
         L"Error:the value of radio item 8 has 3 bytes; its field holds 4 bytes."},
        {"long serial number",
         1,
         ScriptedRadio::itemData(1, bytesOf("123ABC4D5678")),
         {0, 3, 8, 4, 1},
         L"Error:the value of radio item 1 has 12 bytes; its field holds 11 bytes."},
        {"serial number without a value",
         1,
         {1},
         {0, 3, 8, 4, 1},
         L"Error:the reply to radio item 1 has 1 data bytes, no value."},
        {"long user private id",
         kSoftpot,
         ScriptedRadio::itemData(0x31, Bytes(13, 7)),
         {0, 3, 8, 4, 1, kSoftpot},
         L"Error:the value of the softpot read has 13 bytes; its field holds 12 bytes."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.readFirstIdentity();
        rig.radio.data[c.key] = c.data;

        EXPECT_FALSE(rig.info.readIdentity());
        EXPECT_FALSE(rig.info.infoValid());
        // Nothing of the refused reply was taken, and the read went no further.
        EXPECT_THAT(rig.radio.identityRequests(), ElementsAreArray(c.requests));
        rig.expectFields(kFirst);
        EXPECT_EQ(rig.info.regionCode(), 1);
        ASSERT_FALSE(ErrorChain::records().empty());
        EXPECT_EQ(ErrorChain::records().back().category, kErrorSbep);
        EXPECT_EQ(ErrorChain::records().back().message, c.record);
        ErrorChain::remove(0);
    }
}

TEST_F(RadioInfoTest, ValuesAtTheEdgesOfTheirFields) {
    readFirstIdentity();
    // A model longer than its field: the field's width is taken, the rest is the radio's.
    radio.data[0] = ScriptedRadio::itemData(0, bytesOf("RQX770HJNWE9"));
    // Variable values that fill their fields exactly.
    radio.data[1] = ScriptedRadio::itemData(1, kSecond.serial);
    radio.data[kSoftpot] = ScriptedRadio::itemData(0x31, Bytes(12, 0x5A));
    ASSERT_TRUE(info.readIdentity());
    EXPECT_EQ(bytes(info.model()), bytesOf("RQX770HJNWE"));
    EXPECT_EQ(bytes(info.serialValue()), kSecond.serial);
    EXPECT_EQ(info.serialLength(), 11);
    EXPECT_EQ(bytes(info.userPrivateId()), Bytes(12, 0x5A));

    // No serial number at all, and a shorter user private id that leaves no byte of the
    // earlier one behind.
    radio.data[1] = ScriptedRadio::itemData(1, {});
    radio.data[kSoftpot] = ScriptedRadio::itemData(0x31, {0, 0, 0, 0, 0, 0, 0, 9});
    ASSERT_TRUE(info.readIdentity());
    EXPECT_EQ(info.serialLength(), 0);
    EXPECT_EQ(RadioInfo::serialText(info.serialValue()), L"");
    EXPECT_EQ(bytes(info.userPrivateId()), (Bytes{0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0}));
}

TEST(RadioInfoTextTest, RegionText) {
    const std::pair<uint8_t, Text> cases[] = {
        {0, L"00"},     {1, L"01"},           {42, L"42"},
        {0x7F, L"127"}, {0x80, std::nullopt}, {0xFF, std::nullopt},
    };
    for (const auto& [code, text] : cases) {
        EXPECT_EQ(RadioInfo::regionText(code), text) << static_cast<int>(code);
    }
}

TEST(RadioInfoTextTest, ModelText) {
    const std::pair<Bytes, Text> cases[] = {
        {{0x52, 0x51, 0x58, 7, 7, 0, 'H', 'J', 'N', 'W', 'E'}, L"RQX770HJNWE"},
        // Values 10..15 follow '9' in the character set; letters of either case are kept.
        {{10, 11, 12, 13, 14, 15, 'a', 'z', 'A', 'Z', 9}, L":;<=>?azAZ9"},
        {{'R', 'Q', 'X', ' ', 7, 0, 'H', 'J', 'N', 'W', 'E'}, L"RQX"},
        {{16, 'Q', 'X', 7, 7, 0, 'H', 'J', 'N', 'W', 'E'}, L""},
        {{'R', 'Q', 'X', 7, 7, 0, 'H', 'J', 'N', 'W', 0xC9}, L"RQX770HJNW"},
        {{'R', 'Q', 'X', 7, 7, 0, 'H', 'J', 'N', 'W', 'E', 'X'}, L"RQX770HJNWE"},
        {{'R', 'Q', 'X', 7, 7, 0, 'H', 'J', 'N', 'W'}, std::nullopt},
    };
    for (const auto& [model, text] : cases) {
        EXPECT_EQ(RadioInfo::modelText(model), text) << ::testing::PrintToString(model);
    }
}

TEST(RadioInfoTextTest, SerialText) {
    const std::pair<Bytes, Text> cases[] = {
        {bytesOf("123ABC4D56"), L"123ABC4D56"},
        {bytesOf("123ABC4D56X"), L"123ABC4D56X"},
        {bytesOf("123ABC4D56XY"), std::nullopt},
        {{}, L""},
        {{'1', '2', 0, '3'}, L"12"},
        // Erased flash, as a radio whose conversion stopped half-way may answer.
        {Bytes(11, 0xFF), L""},
        {{'1', '2', 0xFF}, L"12\u00FF"},
    };
    for (const auto& [serial, text] : cases) {
        EXPECT_EQ(RadioInfo::serialText(serial), text) << ::testing::PrintToString(serial);
    }
}

TEST(RadioInfoTextTest, VersionText) {
    const std::pair<Bytes, Text> cases[] = {
        {{'r', 1, 2, 30}, L"R01.02.30"},
        {{'A', 0, 0, 0}, L"A00.00.00"},
        {{'b', 255, 10, 9}, L"B255.10.09"},
        {{'1', 1, 2, 3}, L"101.02.03"},
        {{0, 1, 2, 3}, L""},
        {{0xFF, 0xFF, 0xFF, 0xFF}, L""},  // erased
        {{'R', 0xFF, 0xFF, 0xFF}, L"R255.255.255"},
        {{'r', 1, 2, 30, 99}, L"R01.02.30"},
        {{'r', 1, 2}, std::nullopt},
    };
    for (const auto& [version, text] : cases) {
        EXPECT_EQ(RadioInfo::versionText(version), text) << ::testing::PrintToString(version);
    }
}

TEST(RadioInfoTextTest, UserPrivateIdText) {
    const std::pair<Bytes, Text> cases[] = {
        {{0, 0, 0, 0, 0, 0, 0x30, 0x39}, L"12345"},
        {{0, 0, 0, 0, 0, 0, 0x30, 0x39, 0xFF, 0xFF, 0xFF, 0xFF}, L"12345"},
        {{1, 0, 0, 0, 0, 0, 0, 0}, L"72057594037927936"},
        // The whole unsigned range, not a negative number for the top bit.
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}, L"18446744073709551614"},
        // Erased: the number's bytes all 0xFF, whatever follows.
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, L""},
        {{0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4}, std::nullopt},
        {{0, 0, 0, 0, 0, 0, 0x30}, std::nullopt},
    };
    for (const auto& [id, text] : cases) {
        EXPECT_EQ(RadioInfo::userPrivateIdText(id), text) << ::testing::PrintToString(id);
    }
}

// The format rule holds over the examples that contradict it, so no serial number it forbids
// is written into a radio.
TEST(RadioInfoTextTest, ASerialNumberTheFormatRuleForbidsIsNeverAccepted) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"123ABC4D56", true},
        {L"123IBC4D56", true},   // I may stand fourth
        {L"1234BC4D56", true},   // so may a digit
        {L"123ABCDE56", true},   // seventh and eighth: letters
        {L"123AB99956", false},  // sixth must be a letter
        {L"123OBC4D56", false},  // O never
        {L"123AIC4D56", false},  // I not fifth
        {L"123ABO4D56", false},
        {L"123ABCID56", false},
        {L"123ABC4O56", false},
        {L"12XABC4D56", false},
        {L"123aBC4D56", false},  // upper case only
        {L"123ABC4D5X", false},
        {L"123ABC4D5", false},          // too short to judge
        {L"123ABC4D56anything", true},  // only ten characters count
        // Read with the rule of the fifth and sixth characters, these fail: their sixth is a
        // digit.
        {L"123AB45C67", false},
        {L"123IB45C67", false},
    };
    for (const auto& [text, valid] : cases) {
        EXPECT_EQ(RadioInfo::isSerialFormat(text), valid) << toUtf8(text);
    }
}

}  // namespace
}  // namespace plugshift
