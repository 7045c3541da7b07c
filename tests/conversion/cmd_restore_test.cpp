#include "conversion/cmd_restore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <utility>

#include "recording_target.h"
#include "sim_rig.h"
#include "tasks/messages.h"

// A conversion that fails after the erase leaves its backup; the restore writes it back with the
// conversion's own restore requests.
namespace plugshift::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

using Step = std::pair<uint8_t, std::optional<uint8_t>>;

std::vector<Step> steps(const std::vector<Request>& requests) {
    std::vector<Step> out;
    for (const Request& request : requests) {
        out.emplace_back(request.opcode(), request.sub());
    }
    return out;
}

class CmdRestoreTest : public ::testing::Test {
protected:
    void SetUp() override { ErrorChain::remove(0); }
    void TearDown() override { ErrorChain::remove(0); }

    // Converts with the memory writes refused: the DYN block is erased and the contacts reset
    // when the run gives up.
    std::filesystem::path failAfterTheErase(SimRig& rig) {
        Conversion conversion(rig, folder.path() / "backup");
        rig.faults().add({SimFaultKind::RefuseOpcode, 0x17, 0});
        EXPECT_FALSE(conversion.run());
        EXPECT_EQ(ErrorChain::records().back().message, L"Restore user-infor.");
        rig.faults().clear();
        rig.requests.clear();
        ErrorChain::remove(0);
        return conversion.command.lastBackupPath();
    }

    void prepare(CmdRestore& restore, SimRig& rig) {
        restore.radio = &rig.radio;
        restore.setSleeper([](std::chrono::milliseconds) {});
    }

    TempFolder folder;
};

TEST_F(CmdRestoreTest, BringsBackWhatAFailedConversionErased) {
    SimRig rig;
    rig.seedDyn();
    const Bytes dynBefore = rig.dynBytes(kKeptDyn.length);
    const std::vector<Bytes> contactsBefore = rig.contacts();
    const std::filesystem::path backup = failAfterTheErase(rig);
    ASSERT_FALSE(backup.empty());
    ASSERT_NE(rig.dynBytes(kKeptDyn.length), dynBefore);
    ASSERT_THAT(rig.contacts(), IsEmpty());

    CmdRestore restore;
    prepare(restore, rig);
    auto window = std::make_shared<RecordingTarget>();
    restore.window = window;
    ASSERT_TRUE(restore.loadBackup(backup));
    ASSERT_TRUE(restore.run()) << toUtf8(ErrorChain::text());

    EXPECT_THAT(ErrorChain::records(), IsEmpty());
    EXPECT_EQ(rig.dynBytes(kKeptDyn.length), dynBefore);
    EXPECT_EQ(rig.contacts(), inRestoreOrder(contactsBefore));
    EXPECT_EQ(rig.sim().mode(), SimRadio::Mode::Normal);

    // SBEP test mode, ten DYN writes of up to 220 bytes, the contacts, the master reset, and back
    // to normal: FLASH test mode, protection mode, soft reset.
    std::vector<Step> expected = {{0x22, 0x01}};
    expected.insert(expected.end(), 10, {0x17, 0x01});
    expected.insert(expected.end(), contactsBefore.size(), {0x9B, 0x31});
    expected.insert(expected.end(), {{0x9B, 0x36}, {0x22, 0x08}, {0x72, 0x08}, {0x10, 0x00}});
    EXPECT_THAT(steps(rig.requests), ElementsAreArray(expected));

    const auto messages = window->messages();
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages.front().id, kMsgCommandStarted);
    EXPECT_EQ(messages.back().id, kMsgCommandEnded);
    EXPECT_EQ(messages[messages.size() - 2].wParam, 0u);
    EXPECT_EQ(messages[messages.size() - 3].wParam, 100u);

    // The backup stays loaded: a second run writes it again.
    rig.requests.clear();
    ASSERT_TRUE(restore.run());
    EXPECT_EQ(steps(rig.requests).size(), expected.size());
}

// The restore's failures are the conversion's, with its last record.
TEST_F(CmdRestoreTest, FailuresCarryTheConversionsNumbers) {
    struct Case {
        bool connect;
        std::optional<SimFault> fault;
        int number;
    };
    for (const Case& c : {Case{false, std::nullopt, 0x001},
                          Case{true, SimFault{SimFaultKind::RefuseOpcode, 0x22, 2}, 0x01d},
                          Case{true, SimFault{SimFaultKind::RefuseOpcode, 0x17, 0}, 0x020}}) {
        SCOPED_TRACE(c.number);
        ErrorChain::remove(0);
        SimRig source;
        PersonalityBackup backup;
        backup.personality.blocks.push_back({0, kKeptDyn.address, source.dynBytes(0x100)});
        backup.personality.addContact(source.contacts().at(0));
        SimRig rig(SimRig::defaultOptions(), c.connect);
        if (c.fault) {
            rig.faults().add(*c.fault);
        }
        CmdRestore restore;
        prepare(restore, rig);
        restore.setBackup(backup);
        EXPECT_FALSE(restore.run());

        EXPECT_THAT(numbersIn(ErrorChain::records()), ElementsAre(c.number));
        EXPECT_EQ(ErrorChain::records().back().message, L"Restore user-infor.");
        EXPECT_EQ(ErrorChain::records().back().category, 9);
        EXPECT_EQ(rig.count(0x9B), 0u);
    }
}

TEST_F(CmdRestoreTest, ADamagedBackupIsNotLoadedAndNothingIsWritten) {
    SimRig rig;
    const std::filesystem::path backup = failAfterTheErase(rig);
    {
        std::fstream file(backup, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(-1, std::ios::end);
        file.put('\x55');
    }
    CmdRestore restore;
    prepare(restore, rig);
    EXPECT_FALSE(restore.loadBackup(backup));
    EXPECT_FALSE(restore.hasBackup());
    EXPECT_FALSE(restore.run());
    EXPECT_THAT(rig.requests, IsEmpty());
}

}  // namespace
}  // namespace plugshift::test
