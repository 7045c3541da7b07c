#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "sbep_rig.h"

namespace plugshift {
namespace {

using test::Bytes;
using test::Record;
using test::SbepRig;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using Call = std::function<int(SbepRig&)>;

// Replies, checksums worked out by hand.
const Bytes kAccepted = {0x50, 0xF2, 0x8C, 0x07, 0x7A};  // 0x8C, data 07
const Bytes kDeclined = {0x50, 0xF2, 0x8D, 0x07, 0x79};  // 0x8D, data 07
const Bytes kDamagedAccept = {0x50, 0xF2, 0x8C, 0x07, 0x00};
const Bytes kWriteDone = {0x50, 0xFF, 0x84, 0x00, 0x05, 0x00, 0x01, 0x02, 0x03, 0x71};
const Bytes kFlashAccepted = {0x50, 0xF2, 0x95, 0x00, 0x78};
const Bytes kSoftpotReadDone = {0x50, 0xF3, 0x8A, 0x01, 0x02, 0x7F};
const Bytes kSoftpotReadEmpty = {0x50, 0xFF, 0x8A, 0x00, 0x00, 0x76};
const Bytes kThreeBytes = {0x50, 0xF4, 0x8C, 0x01, 0x02, 0x03, 0x79};
const Bytes kEmpty = {0x50, 0xFF, 0x8C, 0x00, 0x00, 0x74};
const Bytes kFourBytes = {0x50, 0xF5, 0x8C, 0x11, 0x22, 0x33, 0x44, 0xD4};
// memRead reply echoing 0x010203, data 11 22 33 44
const Bytes kReadAt010203 = {0x50, 0xF9, 0x80, 0x00, 0x01, 0x02,
                             0x03, 0x11, 0x22, 0x33, 0x44, 0xD6};
const Bytes kWrongLeadIn = {0x60, 0xF2, 0x8C, 0x07, 0x7A};
const Bytes kContactWritten = {0x50, 0xF2, 0x41, 0x50, 0x7C};
const Bytes kContactRead = {0x50, 0xF2, 0x41, 0x8C, 0x40};
const Bytes kContactEmpty = {0x50, 0xFF, 0x41, 0x00, 0x00, 0xBF};
const Bytes kOtherWith50 = {0x50, 0xF2, 0x8C, 0x50, 0x31};

const Bytes kSerial = {'1', '2', '3', 'A', 'B', '4', '5', 'C', '6', '7', '8'};
const Bytes kRate57600 = {0x00, 0x00, 0xE1, 0x00};
const Bytes kFlashData = {0x11, 0x22, 0x33};

Bytes counting(int n) {
    Bytes bytes(static_cast<size_t>(n));
    std::iota(bytes.begin(), bytes.end(), uint8_t{1});
    return bytes;
}

int memRead(SbepRig& r, int n, uint32_t address) {
    return r.engine.memRead(n, address, r.lastOpc, r.reply);
}
int memWrite(SbepRig& r, const Bytes& data, uint32_t address) {
    return r.engine.memWrite(data, address, r.lastOpc, r.reply);
}

TEST(SbepFramesTest, EveryRequestIsSentByteForByte) {
    struct Case {
        const char* name;
        Call call;
        Bytes frame;
    };
    const Case cases[] = {
        {"memRead",
         [](SbepRig& r) { return memRead(r, 16, 0x010203); },
         {0xFF, 0x11, 0x00, 0x05, 0x10, 0x01, 0x02, 0x03, 0xD4}},
        {"memRead 220",
         [](SbepRig& r) { return memRead(r, 220, 0x123456); },
         {0xFF, 0x11, 0x00, 0x05, 0xDC, 0x12, 0x34, 0x56, 0x72}},
        {"memWrite",
         [](SbepRig& r) {
             return memWrite(r, {0xAA, 0xBB}, 0x0A0B0C);
         },
         {0xFF, 0x17, 0x00, 0x07, 0x01, 0x0A, 0x0B, 0x0C, 0xAA, 0xBB, 0x5B}},
        {"resetDevice",
         [](SbepRig& r) { return r.engine.resetDevice(1, r.lastOpc, r.reply); },
         {0xFF, 0x10, 0x00, 0x02, 0x01, 0xED}},
        {"requestTestMode",
         [](SbepRig& r) {
             return r.engine.requestTestMode(8, {0, 0}, r.lastOpc, r.reply);
         },
         {0xF4, 0x22, 0x08, 0x00, 0x00, 0xE1}},
        {"requestTestMode parameters",
         [](SbepRig& r) {
             return r.engine.requestTestMode(1, {0x12, 0x34}, r.lastOpc, r.reply);
         },
         {0xF4, 0x22, 0x01, 0x12, 0x34, 0xA2}},
        {"softpotWrite reset all",
         [](SbepRig& r) { return r.engine.softpotWrite(0x2E, 0, {}, r.lastOpc, r.reply); },
         {0xFF, 0x38, 0x00, 0x05, 0x2E, 0x00, 0x00, 0x00, 0x95}},
        {"softpotWrite baud",
         [](SbepRig& r) { return r.engine.softpotWrite(0x2A, 1, kRate57600, r.lastOpc, r.reply); },
         {0xFF, 0x38, 0x00, 0x09, 0x2A, 0x00, 0x00, 0x01, 0x00, 0x00, 0xE1, 0x00, 0xB3}},
        {"softpotRead",
         [](SbepRig& r) { return r.engine.softpotRead(r.lastOpc, r.reply); },
         {0xFF, 0x20, 0x00, 0x04, 0x31, 0x00, 0x00, 0xAB}},
        {"readRadioItem",
         [](SbepRig& r) { return r.engine.readRadioItem(3, r.lastOpc, r.reply); },
         {0xF2, 0x23, 0x03, 0xE7}},
        {"updateSN 11 bytes",
         [](SbepRig& r) { return r.engine.updateSN(kSerial, r.lastOpc, r.reply); },
         {0xFE, 0x18, 0x01, 0x01, 0x31, 0x32, 0x33, 0x41, 0x42, 0x34, 0x35, 0x43, 0x36, 0x37, 0x38,
          0x7D}},
        {"requestProtectionMode",
         [](SbepRig& r) { return r.engine.requestProtectionMode(0x1234, r.lastOpc, r.reply); },
         {0xF5, 0x72, 0x08, 0x00, 0x12, 0x34, 0x4A}},
        {"eraseFlash",
         [](SbepRig& r) { return r.engine.eraseFlash(4, 0x0A1000, r.lastOpc, r.reply); },
         {0xFF, 0x72, 0x00, 0x05, 0x04, 0x0A, 0x10, 0x00, 0x6B}},
        {"writeFlash",
         [](SbepRig& r) { return r.engine.writeFlash(kFlashData, 0x001000, r.lastOpc, r.reply); },
         {0xFF, 0x72, 0x00, 0x08, 0x01, 0x00, 0x10, 0x00, 0x11, 0x22, 0x33, 0x0F}},
        {"factoryBlockBackup",
         [](SbepRig& r) { return r.engine.factoryBlockBackup(r.lastOpc, r.reply); },
         {0xF5, 0x38, 0x26, 0x00, 0x00, 0x00, 0xAC}},
        {"contact read",
         [](SbepRig& r) {
             return r.engine.contactCommand(0x30, Bytes{0x00, 0x01, 0x00}, r.lastOpc, r.reply);
         },
         {0xF5, 0x9B, 0x30, 0x00, 0x01, 0x00, 0x3E}},
        {"contact 12 bytes, last short frame",
         [](SbepRig& r) { return r.engine.contactCommand(0x31, counting(12), r.lastOpc, r.reply); },
         {0xFE, 0x9B, 0x31, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C,
          0xE7}},
        {"contact 13 bytes, long frame",
         [](SbepRig& r) { return r.engine.contactCommand(0x31, counting(13), r.lastOpc, r.reply); },
         {0xFF, 0x9B, 0x00, 0x0F, 0x31, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A,
          0x0B, 0x0C, 0x0D, 0xCA}},
        {"performMasterReset",
         [](SbepRig& r) { return r.engine.performMasterReset(r.lastOpc, r.reply); },
         {0xF2, 0x9B, 0x36, 0x3C}},
        {"queryFlashMode",
         [](SbepRig& r) { return r.engine.queryFlashMode(r.lastOpc, r.reply); },
         {0xF3, 0x24, 0x02, 0x00, 0xE6}},
        {"setRadioBaudRate",
         [](SbepRig& r) {
             r.port.setBaudRate(16406);
             return r.engine.setRadioBaudRate(1, r.lastOpc, r.reply);
         },
         {0xFF, 0x38, 0x00, 0x09, 0x2A, 0x00, 0x00, 0x01, 0x00, 0x00, 0xE1, 0x00, 0xB3}},
        {"probeCableMode",
         [](SbepRig& r) { return r.engine.probeCableMode(); },
         {0xF1, 0x40, 0xCE}},
    };
    for (const Case& c : cases) {
        SbepRig rig;
        c.call(rig);
        ASSERT_FALSE(rig.writes.empty()) << c.name;
        EXPECT_THAT(rig.writes, Each(c.frame)) << c.name;
    }
}

TEST(SbepOperationsTest, SuccessTestsResultsAndRecords) {
    struct Case {
        const char* name;
        Call call;
        std::vector<Bytes> replies;
        int result;
        size_t attempts;
        std::vector<Record> records;
    };
    const Call readItem = [](SbepRig& r) { return r.engine.readRadioItem(3, r.lastOpc, r.reply); };
    const Call reset = [](SbepRig& r) { return r.engine.resetDevice(1, r.lastOpc, r.reply); };
    const Call testMode = [](SbepRig& r) {
        return r.engine.requestTestMode(8, {0, 0}, r.lastOpc, r.reply);
    };
    const Call resetBlocks = [](SbepRig& r) {
        return r.engine.softpotWrite(0x2E, 0, {}, r.lastOpc, r.reply);
    };
    const Call softpotRead = [](SbepRig& r) { return r.engine.softpotRead(r.lastOpc, r.reply); };
    const Call updateSN = [](SbepRig& r) { return r.engine.updateSN(kSerial, r.lastOpc, r.reply); };
    const Call protection = [](SbepRig& r) {
        return r.engine.requestProtectionMode(0x1234, r.lastOpc, r.reply);
    };
    const Call erase = [](SbepRig& r) {
        return r.engine.eraseFlash(4, 0x0A1000, r.lastOpc, r.reply);
    };
    const Call writeFlash = [](SbepRig& r) {
        return r.engine.writeFlash(kFlashData, 0x001000, r.lastOpc, r.reply);
    };
    const Call backup = [](SbepRig& r) { return r.engine.factoryBlockBackup(r.lastOpc, r.reply); };
    const Call queryFlashMode = [](SbepRig& r) {
        return r.engine.queryFlashMode(r.lastOpc, r.reply);
    };
    const Call read16 = [](SbepRig& r) { return memRead(r, 16, 0x010203); };
    const Call write2 = [](SbepRig& r) { return memWrite(r, {0xAA, 0xBB}, 0x010203); };
    const Call writeElsewhere = [](SbepRig& r) { return memWrite(r, {0xAA, 0xBB}, 0x0A0B0C); };

    const Case cases[] = {
        {"memRead", read16, {kReadAt010203}, 4, 1, {}},
        // A reply that does not match the request (no echo of its address, another opcode than
        // its test names) is dropped: the attempt ends without a reply of its own (status -1)
        // and the record names the opcode heard.
        {"memRead answered without its address",
         read16,
         {kFourBytes, kFourBytes},
         -1,
         2,
         {{2,
           L"Error:failed to do memRead after 2 trials. Address is 0, length is 16, the status "
           L"is -1, the last OPC is 140."}}},
        {"memRead silent",
         read16,
         {},
         -1,
         2,
         {{2,
           L"Error:failed to do memRead after 2 trials. Address is 0, length is 16, the status "
           L"is -1, the last OPC is 0."}}},
        {"memRead wrong lead-in",
         read16,
         {kWrongLeadIn, kWrongLeadIn},
         -1,
         2,
         {{2,
           L"Error:failed to do memRead after 2 trials. Address is 0, length is 16, the status "
           L"is -1, the last OPC is 96."}}},
        {"memWrite", write2, {kWriteDone}, 0, 1, {}},
        {"memWrite acknowledged for another address",
         writeElsewhere,
         {kWriteDone, kWriteDone},
         -1,
         2,
         {{2,
           L"Error:failed to do memWrite after 2 trials. Address is 66051, length is 2, the "
           L"status is -1, the last OPC is 132."}}},
        // another opcode ends the attempts at once
        {"memWrite answered 0x8C",
         write2,
         {kAccepted, kAccepted},
         -1,
         1,
         {{2,
           L"Error:failed to do memWrite after 2 trials. Address is 0, length is 2, the status "
           L"is 1, the last OPC is 140."}}},
        {"resetDevice", reset, {kAccepted}, 1, 1, {}},
        {"resetDevice silent",
         reset,
         {},
         -1,
         2,
         {{2,
           L"Error:failed to reset device after 2 trials. Reset type is 1, the status is -1, "
           L"the last OPC is 0."}}},
        {"requestTestMode", testMode, {kAccepted}, 1, 1, {}},
        {"requestTestMode declined",
         testMode,
         {kDeclined, kDeclined},
         -1,
         2,
         {{2,
           L"Error:failed to request for test mode after 2 trials. Test mode type is 8, the "
           L"status is -1, the last OPC is 141."}}},
        // recorded only when the final opcode is not 0x8C
        {"requestTestMode damaged 0x8C", testMode, {kDamagedAccept, kDamagedAccept}, -1, 2, {}},
        {"softpotWrite", resetBlocks, {kAccepted}, 1, 1, {}},
        {"softpotWrite silent",
         resetBlocks,
         {},
         -1,
         2,
         {{2,
           L"Error:failed to do softport write after 2 trials. Softpot type is 46, the status "
           L"is -1, the last OPC is 0."}}},
        {"softpotRead", softpotRead, {kSoftpotReadDone}, 2, 1, {}},
        {"softpotRead empty", softpotRead, {kSoftpotReadEmpty, kSoftpotReadEmpty}, -1, 2, {}},
        {"softpotRead silent", softpotRead, {}, -1, 2, {{2, L"Error:failed to do softport read."}}},
        {"readRadioItem", readItem, {kThreeBytes}, 3, 1, {}},
        {"readRadioItem empty", readItem, {kEmpty, kEmpty}, -1, 2, {}},
        {"readRadioItem silent", readItem, {}, -1, 2, {}},
        {"updateSN", updateSN, {kAccepted}, 1, 1, {}},
        // the reply passes the test, yet only 0x8C means the number was taken
        {"updateSN declined",
         updateSN,
         {kDeclined},
         -1,
         1,
         {{2, L"Error:failed to request to update SN."}}},
        {"requestProtectionMode", protection, {kFlashAccepted}, 1, 1, {}},
        {"requestProtectionMode silent",
         protection,
         {},
         -1,
         2,
         {{2,
           L"Error:failed to request for protection model after 2 trials. Mode type is 4660, "
           L"the status is -1, the last OPC is 0."}}},
        {"eraseFlash", erase, {kFlashAccepted}, 1, 1, {}},
        // the record shows the address the radio echoed into the operation's copy
        {"eraseFlash answered 0x84",
         erase,
         {kWriteDone, kWriteDone},
         -1,
         2,
         {{2,
           L"Error:failed to request for erase falsh after 2 trials. Erase type is 4, the "
           L"address is 66051, the status is -1, the last OPC is 132."}}},
        {"writeFlash", writeFlash, {kFlashAccepted}, 1, 1, {}},
        {"writeFlash silent",
         writeFlash,
         {},
         -1,
         2,
         {{2,
           L"Error:failed to request to write flash with 12 bytes after 2 trials. The address "
           L"is 4096, the status is -1, the last OPC is 0."}}},
        {"factoryBlockBackup", backup, {kAccepted}, 1, 1, {}},
        {"factoryBlockBackup silent",
         backup,
         {},
         -1,
         2,
         {{2, L"Error:failed to request to do factory block backup."}}},
        {"queryFlashMode", queryFlashMode, {kEmpty}, 0, 1, {}},
        {"queryFlashMode silent", queryFlashMode, {}, -1, 2, {}},
    };
    for (const Case& c : cases) {
        SbepRig rig;
        rig.replies.assign(c.replies.begin(), c.replies.end());
        EXPECT_EQ(c.call(rig), c.result) << c.name;
        EXPECT_EQ(rig.writes.size(), c.attempts) << c.name;
        EXPECT_EQ(SbepRig::chain(), c.records) << c.name;
    }
}

TEST(SbepOperationsTest, MemoryAccessKeepsTheEchoedAddress) {
    SbepRig rig;
    rig.answer({kWriteDone});
    uint32_t address = 0x010203;
    const Bytes data = {0xAA, 0xBB};
    EXPECT_EQ(rig.engine.memWrite(data, address, rig.lastOpc, rig.reply), 0);
    EXPECT_EQ(rig.lastOpc, 0x84);
    EXPECT_EQ(address, 0x00010203u);
}

// A late reply to an earlier request is passed over; the retry takes this request's own.
TEST(SbepOperationsTest, ALateReplyForAnotherAddressIsNeverTakenAsThisReadsData) {
    SbepRig rig;
    rig.answer({kFourBytes, kReadAt010203});
    uint32_t address = 0x010203;
    EXPECT_EQ(rig.engine.memRead(16, address, rig.lastOpc, rig.reply), 4);
    EXPECT_EQ(rig.writes.size(), 2u);
    EXPECT_THAT(Bytes(rig.reply.begin(), rig.reply.begin() + 4),
                ElementsAre(0x11, 0x22, 0x33, 0x44));
    EXPECT_THAT(SbepRig::chain(), IsEmpty());
}

TEST(SbepOperationsTest, OversizedOrMissingArgumentsSendNothing) {
    const Bytes big(221, 0x00);
    const Call cases[] = {
        [](SbepRig& r) { return memRead(r, 221, 0); },
        [](SbepRig& r) { return memRead(r, -1, 0); },
        [&big](SbepRig& r) { return memWrite(r, big, 0); },
        // 12 bytes would make the start byte FF, which the radio reads as a long frame
        [](SbepRig& r) { return r.engine.updateSN(counting(12), r.lastOpc, r.reply); },
        // long contact frame of 215 + 6 = 221 bytes
        [](SbepRig& r) { return r.engine.contactCommand(0x31, counting(215), r.lastOpc, r.reply); },
        [](SbepRig& r) { return r.engine.contactCommand(0x31, {}, r.lastOpc, r.reply); },
        [](SbepRig& r) {
            return r.engine.contactCommand(0x31, counting(3), r.lastOpc, std::span<uint8_t>());
        },
    };
    for (const Call& call : cases) {
        SbepRig rig;
        EXPECT_EQ(call(rig), -1);
        EXPECT_THAT(rig.d2xx.calls, IsEmpty());
        EXPECT_THAT(SbepRig::chain(), IsEmpty());
    }
    SbepRig rig;
    rig.engine.contactCommand(0x31, counting(214), rig.lastOpc, rig.reply);
    ASSERT_FALSE(rig.writes.empty());
    EXPECT_EQ(rig.writes[0].size(), 220u);
    EXPECT_THAT(Bytes(rig.writes[0].begin(), rig.writes[0].begin() + 5),
                ElementsAre(0xFF, 0x9B, 0x00, 0xD8, 0x31));
}

TEST(SbepOperationsTest, WriteFlashSendsAtMostOneChunk) {
    SbepRig rig;
    Bytes data(5000, 0xEE);
    std::fill(data.begin(), data.begin() + 4096, 0x00);
    rig.answer({kFlashAccepted});
    EXPECT_EQ(rig.engine.writeFlash(data, 0xA2A1A0, rig.lastOpc, rig.reply), 1);
    Bytes expected = {0xFF, 0x72, 0x10, 0x05, 0x01, 0xA2, 0xA1, 0xA0};
    expected.resize(expected.size() + 4096, 0x00);
    expected.push_back(0x95);
    EXPECT_THAT(rig.writes, ElementsAre(expected));
}

TEST(SbepOperationsTest, UnusablePortSendsNothingAndRecordsOnlyTheFlashWrite) {
    const Call quiet[] = {
        [](SbepRig& r) { return memRead(r, 16, 0); },
        [](SbepRig& r) { return memWrite(r, {1}, 0); },
        [](SbepRig& r) { return r.engine.resetDevice(1, r.lastOpc, r.reply); },
        [](SbepRig& r) {
            return r.engine.requestTestMode(8, {0, 0}, r.lastOpc, r.reply);
        },
        [](SbepRig& r) { return r.engine.softpotWrite(0x2E, 0, {}, r.lastOpc, r.reply); },
        [](SbepRig& r) { return r.engine.softpotRead(r.lastOpc, r.reply); },
        [](SbepRig& r) { return r.engine.readRadioItem(0, r.lastOpc, r.reply); },
        [](SbepRig& r) { return r.engine.updateSN(kSerial, r.lastOpc, r.reply); },
        [](SbepRig& r) { return r.engine.requestProtectionMode(1, r.lastOpc, r.reply); },
        [](SbepRig& r) { return r.engine.eraseFlash(6, 0, r.lastOpc, r.reply); },
        [](SbepRig& r) { return r.engine.factoryBlockBackup(r.lastOpc, r.reply); },
        [](SbepRig& r) { return r.engine.contactCommand(0x30, counting(3), r.lastOpc, r.reply); },
        [](SbepRig& r) { return r.engine.performMasterReset(r.lastOpc, r.reply); },
        [](SbepRig& r) { return r.engine.queryFlashMode(r.lastOpc, r.reply); },
        [](SbepRig& r) { return r.engine.setRadioBaudRate(0, r.lastOpc, r.reply); },
    };
    for (const Call& call : quiet) {
        SbepRig rig;
        rig.d2xx.failNext("FT_SetTimeouts", FT_IO_ERROR);
        rig.port.setTimeouts(1, 1);  // leaves a failing status: the port is open but unusable
        ErrorChain::remove(0);
        rig.d2xx.calls.clear();
        EXPECT_EQ(call(rig), -1);
        EXPECT_THAT(rig.d2xx.calls, IsEmpty());
        EXPECT_THAT(SbepRig::chain(), IsEmpty());
    }

    SbepRig rig;
    rig.port.close();
    rig.d2xx.calls.clear();
    EXPECT_EQ(rig.engine.probeCableMode(), SBEP::kCableUnsupported);
    EXPECT_EQ(rig.engine.factoryBlockBackup(rig.lastOpc, rig.reply), -1);
    EXPECT_EQ(rig.lastOpc, 0x60);
    EXPECT_EQ(rig.engine.writeFlash(Bytes(5000), 0xA2A1A0, rig.lastOpc, rig.reply), -1);
    EXPECT_THAT(rig.d2xx.calls, IsEmpty());
    EXPECT_THAT(SbepRig::chain(),
                ElementsAre(Record(2,
                                   L"Error:failed to request to write flash with 4105 bytes "
                                   L"after 2 trials. The address is 10658208, the status is "
                                   L"-1, the last OPC is 0.")));
}

TEST(SbepContactTest, SuccessDependsOnSubAndFirstReplyByte) {
    struct Case {
        uint8_t sub;
        Bytes reply;
        size_t attempts;
    };
    const Case cases[] = {
        {0x31, kContactWritten, 1}, {0x30, kContactRead, 1},    {0x30, kContactWritten, 2},
        {0x31, kContactRead, 2},    {0x32, kContactWritten, 2},  // no reply passes for other subs
        {0x31, kOtherWith50, 2},
    };
    for (const Case& c : cases) {
        SbepRig rig;
        rig.answer({c.reply, c.reply});
        // a reply that never passes is a failure for the caller
        const int expected = c.attempts == 1 ? 1 : SBEP::kReplyRefused;
        EXPECT_EQ(rig.engine.contactCommand(c.sub, counting(3), rig.lastOpc, rig.reply), expected);
        EXPECT_EQ(rig.writes.size(), c.attempts) << int(c.sub) << " " << int(c.reply[3]);
        EXPECT_THAT(SbepRig::chain(), IsEmpty());
    }
}

TEST(SbepContactTest, MasterResetMapsItsOutcome) {
    struct Case {
        const char* name;
        std::vector<Bytes> replies;
        int result;
        size_t attempts;
    };
    const Case cases[] = {
        {"done", {kContactWritten}, 1, 1},
        {"silent", {}, SBEP::kMasterResetFailed, 2},
        {"no data", {kContactEmpty, kContactEmpty}, SBEP::kMasterResetNoData, 2},
        {"wrong first byte", {kContactRead}, SBEP::kMasterResetRefused, 1},
        {"wrong opcode", {kOtherWith50}, SBEP::kMasterResetRefused, 1},
    };
    for (const Case& c : cases) {
        SbepRig rig;
        rig.replies.assign(c.replies.begin(), c.replies.end());
        EXPECT_EQ(rig.engine.performMasterReset(rig.lastOpc, rig.reply), c.result) << c.name;
        EXPECT_EQ(rig.writes.size(), c.attempts) << c.name;
    }
    // Records are dropped only between attempts, so the last attempt's stays. The wait covers
    // the radio clearing its contact store, 13 reads of 250 ms, and the resend's as many again
    // for the first attempt's reply, which may still come before the resend's own.
    SbepRig rig;
    rig.engine.performMasterReset(rig.lastOpc, rig.reply);
    EXPECT_THAT(SbepRig::chain(),
                ElementsAre(Record(3, L"Error:failed to read port for 1 bytes after 26 trials.")));
}

class SbepBaudRateTest : public ::testing::Test {
protected:
    void SetUp() override {
        rig.port.setBaudRate(16406);
        rig.d2xx.calls.clear();
    }
    SbepRig rig;
};

TEST_F(SbepBaudRateTest, AtTheRadioRateNothingIsSent) {
    rig.port.setBaudRate(57600);
    rig.d2xx.calls.clear();
    EXPECT_EQ(rig.engine.setRadioBaudRate(0, rig.lastOpc, rig.reply), 0);
    EXPECT_THAT(rig.d2xx.calls, IsEmpty());
}

TEST_F(SbepBaudRateTest, AcceptedSwitchMovesThePortAfterTheReply) {
    rig.answer({kAccepted});
    EXPECT_EQ(rig.engine.setRadioBaudRate(0, rig.lastOpc, rig.reply), 1);
    EXPECT_EQ(rig.port.baudRate(), 57600u);
    EXPECT_EQ(rig.d2xx.calls.back(), "FT_SetBaudRate(57600)");
    EXPECT_THAT(SbepRig::chain(), IsEmpty());
}

// A request the radio declines gives a negative result, so no step it refused counts as done.
TEST_F(SbepBaudRateTest, ADeclinedSwitchIsNeverReportedAsDone) {
    rig.answer({kDeclined, kDeclined, kDeclined, kDeclined});
    EXPECT_EQ(rig.engine.setRadioBaudRate(0, rig.lastOpc, rig.reply), -1);
    EXPECT_EQ(rig.writes.size(), 4u);
    EXPECT_EQ(rig.port.baudRate(), 16406u);
    EXPECT_THAT(rig.d2xx.callsTo("FT_SetBaudRate"), IsEmpty());
    const Record declined(2,
                          L"Error:failed to do softport write after 2 trials. Softpot type is "
                          L"42, the status is -1, the last OPC is 141.");
    EXPECT_THAT(SbepRig::chain(), ElementsAre(declined, declined));
}

TEST_F(SbepBaudRateTest, FailedPortSwitchIsRecorded) {
    rig.answer({kAccepted});
    rig.d2xx.failNext("FT_SetBaudRate", FT_IO_ERROR);
    EXPECT_EQ(rig.engine.setRadioBaudRate(0, rig.lastOpc, rig.reply), -1);
    EXPECT_EQ(rig.port.baudRate(), 16406u);
    EXPECT_THAT(SbepRig::chain(),
                ElementsAre(Record(3, L"Error:failed to set baud rade [57600].")));
}

TEST(SbepProbeTest, SilentCableIsDigitalAndLeavesTheReadRecord) {
    SbepRig rig;
    EXPECT_EQ(rig.engine.probeCableMode(), SBEP::kCableDigital);
    EXPECT_FALSE(rig.engine.echoCable());
    EXPECT_THAT(rig.d2xx.calls, ElementsAre("FT_SetTimeouts(20,300)", "FT_Purge(3)", "FT_Purge(4)",
                                            "FT_Write(3)", "FT_Read(3)", "FT_Read(3)"));
    EXPECT_THAT(SbepRig::chain(),
                ElementsAre(Record(3, L"Error:failed to read port for 3 bytes after 2 trials.")));
}

TEST(SbepProbeTest, EchoingCableIsReportedAndPurged) {
    SbepRig rig;
    rig.d2xx.echo = true;
    EXPECT_EQ(rig.engine.probeCableMode(), SBEP::kCableEcho);
    EXPECT_TRUE(rig.engine.echoCable());
    EXPECT_EQ(rig.d2xx.calls.back(), "FT_Purge(3)");
    EXPECT_TRUE(rig.d2xx.rx.empty());
    EXPECT_THAT(SbepRig::chain(), IsEmpty());
}

TEST(SbepProbeTest, OtherAnswersMeanUnsupportedAndKeepTheEchoFlag) {
    SbepRig rig;
    rig.d2xx.echo = true;
    ASSERT_EQ(rig.engine.probeCableMode(), SBEP::kCableEcho);
    rig.d2xx.echo = false;
    rig.writes.clear();
    rig.answer({{0xF1, 0x40, 0xCD}, {0x00, 0x00, 0x00}});
    EXPECT_EQ(rig.engine.probeCableMode(), SBEP::kCableUnsupported);
    EXPECT_EQ(rig.writes.size(), 2u);
    EXPECT_TRUE(rig.engine.echoCable());
    EXPECT_THAT(SbepRig::chain(), IsEmpty());
}

TEST(SbepProbeTest, FailedTimeoutsAreRecordedAndTheProbeGoesOn) {
    SbepRig rig;
    rig.d2xx.failNext("FT_SetTimeouts", FT_IO_ERROR);
    EXPECT_EQ(rig.engine.probeCableMode(), SBEP::kCableDigital);
    EXPECT_THAT(SbepRig::chain(),
                ElementsAre(Record(3, L"Error:failed to configure time out."),
                            Record(3, L"Error:failed to read port for 3 bytes after 2 trials.")));
}

}  // namespace
}  // namespace plugshift
