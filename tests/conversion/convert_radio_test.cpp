#include "conversion/convert_radio.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "conversion/convert_decisions.h"
#include "conversion/personality_backup.h"
#include "formats/codeplug_image.h"
#include "formats/ftf_image.h"
#include "recording_target.h"
#include "sim_rig.h"
#include "tasks/messages.h"
#include "tasks/task.h"
#include "tasks/task_waiter.h"

// Whole conversions against the simulated radio, on the sample installation's files.
namespace plugshift::test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr uint8_t kOpMemRead = 0x11;
constexpr uint8_t kOpReset = 0x10;
constexpr uint8_t kOpTestMode = 0x22;
constexpr uint8_t kOpSoftpot = 0x38;
constexpr uint8_t kOpFlash = 0x72;
constexpr uint8_t kOpContact = 0x9B;

class ConvertRadioTest : public ::testing::Test {
protected:
    void SetUp() override { ErrorChain::remove(0); }
    void TearDown() override { ErrorChain::remove(0); }

    TempFolder folder;
    std::filesystem::path backups = folder.path() / "backup";
};

// The way the program runs it: on the Task's worker thread while a loop serves the windows.
TEST_F(ConvertRadioTest, KeepingThePersonalityRestoresItOnTheNewCodeplug) {
    SimRig rig;
    rig.seedDyn();
    const Bytes dynBefore = rig.dynBytes(kKeptDyn.length);
    const std::vector<Bytes> contactsBefore = rig.contacts();
    ASSERT_EQ(contactsBefore.size(), 12u);
    const ConversionSetup setup;
    Conversion conversion(rig, backups, setup);
    auto window = std::make_shared<RecordingTarget>();
    conversion.command.window = window;

    MessageLoop loop;
    Task task;
    auto taskWindow = loop.createWindow([&](const Message& m) { return task.handleMessage(m); });
    task.createEventWindow(taskWindow);
    TaskWaiter waiter(task);
    ASSERT_TRUE(waiter.run(&conversion.command, loop));
    taskWindow->destroy();

    ASSERT_TRUE(conversion.command.ok) << toUtf8(ErrorChain::text());
    EXPECT_THAT(ErrorChain::records(), IsEmpty());
    const auto def = rig.sim().flash().block(SimBlock::Def);
    EXPECT_EQ(Bytes(def.begin(), def.end()), expectedDefaultBlock(setup));
    EXPECT_EQ(rig.dynBytes(kKeptDyn.length), dynBefore);
    EXPECT_EQ(rig.contacts(), inRestoreOrder(contactsBefore));
    EXPECT_EQ(rig.sim().mode(), SimRadio::Mode::Normal);
    EXPECT_EQ(rig.sim().protectionMode(), SimRadio::lockMode(rig.sim().flashType()));

    ASSERT_TRUE(rig.radio.readIdentity());
    EXPECT_EQ(RadioInfo::modelText(rig.radio.model()), fromUtf8(kTargetModel));
    EXPECT_EQ(RadioInfo::versionText(rig.radio.codeplugVersion()), L"R01.02.00");
    EXPECT_EQ(RadioInfo::userPrivateIdText(rig.radio.userPrivateId()),
              RadioInfo::userPrivateIdText(dynBefore));
    EXPECT_THAT(conversion.waits, ElementsAre(100ms, 200ms, 1000ms, 100ms, 100ms));
    EXPECT_EQ(conversion.command.flags(), 0);
    EXPECT_THAT(conversion.command.steps(), IsEmpty());

    // The backup stays after success and holds what was kept.
    PersonalityBackup backup;
    ASSERT_TRUE(PersonalityBackup::load(conversion.command.lastBackupPath(), backup));
    EXPECT_EQ(conversion.command.lastBackupPath().parent_path(), backups);
    ASSERT_EQ(backup.personality.blocks.size(), 1u);
    EXPECT_EQ(backup.personality.blocks[0].data, dynBefore);
    EXPECT_EQ(backup.personality.blocks[0].address, kKeptDyn.address);
    EXPECT_EQ(backup.personality.contactCount(), contactsBefore.size());
    EXPECT_EQ(RadioInfo::serialText(backup.serial), L"752TRX4F21");
    EXPECT_EQ(RadioInfo::modelText(backup.model), L"RQX770HJNWA");
}

TEST_F(ConvertRadioTest, WithoutThePersonalityNothingIsKeptAndTheSbepTestModeStillRuns) {
    SimRig rig;
    rig.seedDyn();
    ConversionSetup setup;
    setup.keep = false;
    Conversion conversion(rig, backups, setup);
    ASSERT_TRUE(conversion.run()) << toUtf8(ErrorChain::text());

    EXPECT_EQ(rig.count(kOpMemRead), 0u);
    EXPECT_EQ(rig.count(kOpContact), 0u);
    EXPECT_EQ(rig.count(kOpTestMode, 1), 1u);
    EXPECT_FALSE(std::filesystem::exists(backups));
    EXPECT_TRUE(conversion.command.lastBackupPath().empty());
    EXPECT_EQ(rig.dynBytes(kKeptDyn.length), Bytes(kKeptDyn.length, 0));
    EXPECT_THAT(rig.contacts(), IsEmpty());
    ASSERT_TRUE(rig.radio.readIdentity());
    EXPECT_EQ(RadioInfo::modelText(rig.radio.model()), fromUtf8(kTargetModel));
}

// Steps 1, 6 and 9 weigh 1 each: with a range of 1000 each step's share is trunc(1000 / 3).
TEST_F(ConvertRadioTest, ProgressRisesThroughTheStepSharesToTheEndAndReturnsToZero) {
    SimRig rig;
    Conversion conversion(rig, backups);
    auto window = std::make_shared<RecordingTarget>();
    conversion.command.window = window;
    conversion.command.progressEnd = 1000;
    ASSERT_TRUE(conversion.run());

    const std::vector<Message> messages = window->messages();
    ASSERT_GE(messages.size(), 4u);
    EXPECT_EQ(messages.front().id, kMsgCommandStarted);
    EXPECT_EQ(messages.front().delivery, Delivery::Posted);
    EXPECT_EQ(messages.back().id, kMsgCommandEnded);
    std::vector<uintptr_t> positions;
    for (const Message& m : messages) {
        if (m.id == kMsgProgress) {
            EXPECT_EQ(m.delivery, Delivery::Notified);
            positions.push_back(m.wParam);
        }
    }
    ASSERT_GE(positions.size(), 3u);
    EXPECT_EQ(positions.back(), 0u);
    positions.pop_back();
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_EQ(positions.back(), 1000u);
    for (uintptr_t stepEnd : {333u, 666u, 999u}) {
        EXPECT_NE(std::find(positions.begin(), positions.end(), stepEnd), positions.end())
            << stepEnd;
    }
    EXPECT_EQ(conversion.command.progressPos, 1000);
}

TEST_F(ConvertRadioTest, AGoneWindowIsNotSentAnything) {
    SimRig rig;
    Conversion conversion(rig, backups);
    auto window = std::make_shared<RecordingTarget>();
    window->setAlive(false);
    conversion.command.window = window;
    ASSERT_TRUE(conversion.run());
    EXPECT_THAT(window->messages(), IsEmpty());
}

// A first reply counting more than 200 contacts carries none; with 201 the rest are read.
// More than 201 cannot be kept: the run stops before anything is erased.
TEST_F(ConvertRadioTest, ContactCountsAtTheEdges) {
    struct Case {
        int contacts;
        size_t reads;
        size_t keptFrom;  // index of the first contact kept; none when past the end
    };
    // A radio without contacts reports 0: nothing is kept and nothing is reported.
    for (const Case& c : {Case{201, 201, 1}, Case{0, 1, 0}}) {
        SCOPED_TRACE(c.contacts);
        ErrorChain::remove(0);
        SimD2xx::Options options = SimRig::defaultOptions();
        options.radio.contacts = c.contacts;
        SimRig rig(options);
        const std::vector<Bytes> before = rig.contacts();
        Conversion conversion(rig, backups);
        ASSERT_TRUE(conversion.run()) << toUtf8(ErrorChain::text());

        EXPECT_EQ(rig.count(kOpContact, 0x30), c.reads);
        const std::vector<Bytes> kept(
            before.begin() + static_cast<ptrdiff_t>(std::min(c.keptFrom, before.size())),
            before.end());
        EXPECT_EQ(rig.contacts(), inRestoreOrder(kept));
        EXPECT_EQ(rig.count(kOpContact, 0x31), kept.size());
        EXPECT_EQ(rig.count(kOpContact, 0x36), kept.empty() ? 0u : 1u);
        EXPECT_THAT(ErrorChain::records(), IsEmpty());
    }
}

// Past 201 contacts the reading stops and the run with it: what cannot be kept is not erased.
TEST_F(ConvertRadioTest, ContactsThatCouldNotComeBackAreNeverErased) {
    SimD2xx::Options options = SimRig::defaultOptions();
    options.radio.contacts = 202;
    SimRig rig(options);
    const std::vector<Bytes> before = rig.contacts();
    Conversion conversion(rig, backups);
    EXPECT_FALSE(conversion.run());
    EXPECT_EQ(rig.count(kOpContact, 0x30), 1u);
    EXPECT_EQ(rig.count(kOpFlash), 0u);  // no protection, erase or program request was sent
    EXPECT_EQ(rig.contacts(), before);
    const auto records = ErrorChain::records();
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records[0].message,
              L"Error:the radio reports [202] contacts, more than can be kept across the "
              L"conversion.");
    EXPECT_EQ(records.back().message, L"Finalize flashing data.");
}

// A contact whose group byte names none of the four groups is the owner's all the same: it is
// kept in the backup and written back after the four groups, counted in the total.
TEST_F(ConvertRadioTest, ContactsOfNoGroupAreKeptAndWrittenBackAfterTheGroups) {
    SimRig rig;
    std::vector<Bytes> before = rig.contacts();
    before[3][Personality::kGroupByte] = 5;
    before[6][Personality::kGroupByte] = 0;
    ASSERT_TRUE(rig.sim().setContacts(before));
    Conversion conversion(rig, backups);
    ASSERT_TRUE(conversion.run()) << toUtf8(ErrorChain::text());
    EXPECT_THAT(ErrorChain::records(), IsEmpty());

    const std::vector<Bytes> after = rig.contacts();
    EXPECT_EQ(after, inRestoreOrder(before));
    ASSERT_EQ(after.size(), 12u);
    EXPECT_EQ(after[10], before[3]);
    EXPECT_EQ(after[11], before[6]);
    for (const Request& write : rig.requestsTo({kOpContact, 0x31})) {
        EXPECT_EQ(write.body()[3], 12);  // the total every write carries
    }
    PersonalityBackup backup;
    ASSERT_TRUE(PersonalityBackup::load(conversion.command.lastBackupPath(), backup));
    EXPECT_THAT(backup.personality.ungrouped, ElementsAre(before[3], before[6]));
    EXPECT_EQ(backup.personality.contactCount(), 12u);
}

// A contact reply too short for its count byte is a failed read, not a reply to be completed
// from an older one's bytes.
TEST_F(ConvertRadioTest, AContactReplyWithoutItsCountIsAFailedRead) {
    for (const Bytes& data : {Bytes{0x8C, 0x00, 0x02}, Bytes{0x8C}}) {
        SCOPED_TRACE(data.size());
        ErrorChain::remove(0);
        SimRig rig;
        const std::vector<Bytes> before = rig.contacts();
        rig.scripted.answer({kOpContact, 0x30, 3}, ScriptedReplies::reply(0x41, data));
        Conversion conversion(rig, backups);
        EXPECT_FALSE(conversion.run());

        EXPECT_EQ(rig.count(kOpContact, 0x30), 3u);
        EXPECT_EQ(rig.count(kOpFlash), 0u);
        EXPECT_EQ(rig.contacts(), before);
        EXPECT_THAT(numbersIn(ErrorChain::records()), ElementsAre(0x00b));
        EXPECT_EQ(ErrorChain::records().front().message,
                  L"Error:failed to read contact index [3] (0x00b).");
    }
}

// A contact that one contact write cannot carry could never come back after the erase: the run
// stops before anything is erased, whether the contact comes from the radio or from a backup.
// The longest that passes is sent whole.
TEST_F(ConvertRadioTest, AContactTooLongToWriteBackStopsTheRunBeforeAnyErase) {
    // A contact write's frame: FF, opcode, two length bytes, sub, three header bytes, the
    // contact, checksum; the engine sends at most 220 bytes.
    constexpr size_t kLongest = 220 - 9;
    const auto longContact = [](size_t length) {
        Bytes contact(length, 0x33);
        contact[Personality::kGroupByte] = 2;
        return contact;
    };
    for (const bool fromBackup : {false, true}) {
        SCOPED_TRACE(fromBackup ? "from a backup" : "from the radio");
        ErrorChain::remove(0);
        SimRig rig;
        rig.seedDyn();
        const Bytes dynBefore = rig.dynBytes(kKeptDyn.length);
        const std::vector<Bytes> contacts = rig.contacts();
        ConversionSetup setup;
        setup.keep = !fromBackup;
        Conversion conversion(rig, backups, setup);
        if (fromBackup) {
            PersonalityBackup backup;
            backup.personality.blocks.push_back({kBlockDyn, kKeptDyn.address, dynBefore});
            backup.personality.addContact(contacts[0]);
            backup.personality.addContact(longContact(kLongest + 1));
            conversion.command.takePersonalityFrom(backup, backups / "the.pbk");
        } else {
            // The radio's second contact is the long one.
            Bytes reply = {0x8C, 0x00, 0x01, 12};
            const Bytes contact = longContact(kLongest + 1);
            reply.insert(reply.end(), contact.begin(), contact.end());
            rig.scripted.answer({kOpContact, 0x30, 2}, ScriptedReplies::reply(0x41, reply));
        }
        EXPECT_FALSE(conversion.run());

        EXPECT_EQ(rig.count(kOpFlash), 0u);
        EXPECT_EQ(rig.dynBytes(kKeptDyn.length), dynBefore);
        EXPECT_EQ(rig.contacts(), contacts);
        EXPECT_FALSE(std::filesystem::exists(backups));
        const auto records = ErrorChain::records();
        ASSERT_EQ(records.size(), 2u) << toUtf8(ErrorChain::text());
        EXPECT_EQ(records[0].category, 9);
        // Numbered in restore order (groups 4, 2, 3, 1): the radio's three contacts of group 4
        // go first; the backup has none.
        EXPECT_EQ(records[0].message, L"Error:contact [" + std::to_wstring(fromBackup ? 1 : 4) +
                                          L"] holds [212] bytes, more than a contact write can "
                                          L"carry back ([211]); nothing is erased.");
        EXPECT_EQ(records[1].message, L"Finalize flashing data.");
    }

    // The longest contact the check lets through goes out whole, in one 220-byte frame.
    SimRig rig;
    PersonalityBackup backup;
    backup.personality.blocks.push_back({kBlockDyn, kKeptDyn.address, rig.dynBytes(0x10)});
    backup.personality.addContact(longContact(kLongest));
    ConversionSetup setup;
    setup.keep = false;
    Conversion conversion(rig, backups, setup);
    conversion.command.takePersonalityFrom(backup, backups / "the.pbk");
    conversion.run();  // the simulated radio holds contacts of at most 32 bytes
    const auto writes = rig.requestsTo({kOpContact, 0x31});
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes[0].frame.size(), 220u);
}

// Backups of the radio stamped later than today (a clock set back, files copied from another PC)
// never push out the backup a run has just written; and only a successful run prunes at all,
// since until then the older backups may be all the owner has. A recovery writes no backup, and
// the one it reads may lie among the dealer's own files: it prunes nothing.
TEST_F(ConvertRadioTest, OnlyASuccessPrunesBackupsAndNeverItsOwn) {
    enum class Run { kFailure, kSuccess, kRecovery };
    constexpr int64_t kNextYear = 365LL * 24 * 3600 * 1000;
    for (const Run kind : {Run::kFailure, Run::kSuccess, Run::kRecovery}) {
        SCOPED_TRACE(static_cast<int>(kind));
        ErrorChain::remove(0);
        TempFolder backupFolder;
        SimRig rig;
        std::vector<std::filesystem::path> later;
        for (int i = 0; i < 6; ++i) {
            PersonalityBackup backup;
            backup.model.assign(rig.radio.model().begin(), rig.radio.model().end());
            const auto serial = rig.radio.serialValue();
            backup.serial.assign(serial.begin(), serial.end());
            backup.createdAtMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count() +
                                 kNextYear + i * 1000;
            later.emplace_back();
            ASSERT_TRUE(backup.save(backupFolder.path(), later.back()));
        }
        ConversionSetup setup;
        setup.keep = kind != Run::kRecovery;
        Conversion conversion(rig, backupFolder.path(), setup);
        if (kind == Run::kFailure) {
            rig.faults().add({SimFaultKind::FailErase, 0x84000, 0});
        }
        if (kind == Run::kRecovery) {
            PersonalityBackup backup;
            ASSERT_TRUE(PersonalityBackup::load(later[0], backup));
            conversion.command.takePersonalityFrom(backup, later[0]);
        }
        EXPECT_EQ(conversion.run(), kind != Run::kFailure) << toUtf8(ErrorChain::text());

        std::vector<std::filesystem::path> expected;
        if (kind != Run::kRecovery) {
            expected.push_back(conversion.command.lastBackupPath());
        }
        // The four newest of the others stay beside it after a success; all stay otherwise.
        expected.insert(expected.end(), later.begin() + (kind == Run::kSuccess ? 2 : 0),
                        later.end());
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(backupFolder.path())) {
            found.push_back(entry.path());
        }
        EXPECT_THAT(found, ::testing::UnorderedElementsAreArray(expected));
    }
}

// The hard reset's status word: 0x40 says the factory block is intact, 0x80 and 0x200 that the
// new default block did not take. A reply without a status word reads as 0.
TEST_F(ConvertRadioTest, HardResetStatusBits) {
    struct Case {
        const char* name;
        SimFault fault;
        bool restoresFactory;
        bool ok;
    };
    const Case cases[] = {
        {"no extra bit", {SimFaultKind::ResetStatus, 1, 0}, true, true},
        {"factory intact", {SimFaultKind::ResetStatus, 1, 0x40}, false, true},
        {"default blank", {SimFaultKind::ResetStatus, 1, 0x80}, false, false},
        {"default unverified", {SimFaultKind::ResetStatus, 1, 0x200}, false, false},
        {"no status word", {SimFaultKind::RefuseOpcode, 0x10, 1}, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ErrorChain::remove(0);
        SimRig rig;
        // A factory block unlike its backup: the radio's own status lacks 0x40.
        rig.sim().flash().block(SimBlock::Bac)[0] ^= 0xFF;
        rig.faults().add(c.fault);
        Conversion conversion(rig, backups);
        EXPECT_EQ(conversion.run(), c.ok) << toUtf8(ErrorChain::text());

        EXPECT_EQ(rig.count(kOpSoftpot, 0x27), c.restoresFactory ? 1u : 0u);
        EXPECT_EQ(rig.count(kOpSoftpot, 0x2E), c.ok ? 1u : 0u);
        if (!c.ok) {
            EXPECT_THAT(numbersIn(ErrorChain::records()), ElementsAre(0x01c));
            EXPECT_EQ(ErrorChain::records().back().message, L"Finalize flashing data.");
            EXPECT_THAT(conversion.waits, ElementsAre(100ms, 200ms, 1000ms, 100ms));
        }
    }
}

// Each kept block goes back where it was read from, also when two are kept.
TEST_F(ConvertRadioTest, EveryKeptBlockIsRestoredAtItsOwnAddress) {
    SimRig rig;
    rig.seedDyn();
    const Bytes dynBefore = rig.dynBytes(0x1000);
    ConversionSetup setup;
    setup.blocks = {{0, 0x820000, 0x100}, {2, 0x830000, 0x2000}, {0, 0x820800, 0x300}};
    Conversion conversion(rig, backups, setup);
    ASSERT_TRUE(conversion.run()) << toUtf8(ErrorChain::text());

    const Bytes dynAfter = rig.dynBytes(0x1000);
    EXPECT_TRUE(std::equal(dynAfter.begin(), dynAfter.begin() + 0x100, dynBefore.begin()));
    EXPECT_TRUE(
        std::equal(dynAfter.begin() + 0x800, dynAfter.begin() + 0xB00, dynBefore.begin() + 0x800));
    EXPECT_EQ(dynAfter[0x100], 0);  // not kept: left as the block reset leaves it
}

// A reply that comes after its request gave up must not be taken as the answer to the next one:
// a late answer to query 24 (reply 2) or to the second DYN read (reply 5) would otherwise be
// stored as DYN bytes, in the backup and back in the radio.
TEST_F(ConvertRadioTest, ALateReplyIsNeverStoredAsTheNextRequestsData) {
    for (const SimFault& late : {SimFault{SimFaultKind::DelayReply, 2, 1072},
                                 SimFault{SimFaultKind::DelayReply, 5, 600}}) {
        SCOPED_TRACE(SimFaults::format(late));
        ErrorChain::remove(0);
        // The delays are placed against exchanges without line or device time.
        SimD2xx::Options instant = SimRig::defaultOptions();
        instant.timing = SimTiming::instant();
        SimRig rig(instant);
        rig.seedDyn();
        const Bytes dynBefore = rig.dynBytes(kKeptDyn.length);
        const std::vector<Bytes> contactsBefore = rig.contacts();
        // Replies count from the start of the run.
        rig.faults() = SimFaults();
        rig.faults().add(late);
        Conversion conversion(rig, backups);
        ASSERT_TRUE(conversion.run()) << toUtf8(ErrorChain::text());

        EXPECT_EQ(rig.dynBytes(kKeptDyn.length), dynBefore);
        EXPECT_EQ(rig.contacts(), inRestoreOrder(contactsBefore));
        PersonalityBackup backup;
        ASSERT_TRUE(PersonalityBackup::load(conversion.command.lastBackupPath(), backup));
        EXPECT_EQ(backup.personality.blocks.at(0).data, dynBefore);
    }
}

// Nothing is erased unless the kept personality is safe on disk.
TEST_F(ConvertRadioTest, ABackupThatCannotBeWrittenStopsTheRunBeforeAnyErase) {
    SimRig rig;
    rig.seedDyn();
    const Bytes dynBefore = rig.dynBytes(0x1000);
    const auto def = rig.sim().flash().block(SimBlock::Def);
    const Bytes defBefore(def.begin(), def.end());
    std::filesystem::create_directories(folder.path());
    const std::filesystem::path notAFolder = folder.path() / "occupied";
    { std::ofstream(notAFolder) << "a file where the folder should be"; }
    Conversion conversion(rig, notAFolder / "backup");
    EXPECT_FALSE(conversion.run());

    EXPECT_EQ(rig.count(kOpFlash), 0u);
    EXPECT_EQ(rig.count(kOpReset), 0u);
    EXPECT_EQ(rig.dynBytes(0x1000), dynBefore);
    EXPECT_EQ(Bytes(def.begin(), def.end()), defBefore);
    EXPECT_TRUE(conversion.command.lastBackupPath().empty());
    const auto records = ErrorChain::records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].category, 1);
    EXPECT_EQ(records[1].category, 1);
    EXPECT_EQ(records[1].message, L"Error:failed to save the personality backup [" +
                                      (notAFolder / "backup").wstring() + L"].");
    EXPECT_EQ(records[2].message, L"Finalize flashing data.");

    // Not a damaged installation: the message names the folder the dealer can put right.
    const WorkflowOutcome shown = concludeFailedConversion(conversion.command, {}, true, nullptr);
    EXPECT_EQ(shown.stringId, kStrBackupNotSaved);
    EXPECT_EQ(shown.argument, (notAFolder / "backup").wstring());
}

// A run that fails while programming leaves part of a default block. Converting again with the
// personality from its backup ends converted with the owner's data, without reading the radio
// (what it holds now is no longer the owner's) or writing a second backup.
TEST_F(ConvertRadioTest, ConvertingAgainFromTheBackupMendsAHalfWrittenRadio) {
    std::vector<Request> clean;
    {
        SimRig rig;
        Conversion conversion(rig, folder.path() / "clean");
        ASSERT_TRUE(conversion.run());
        clean = rig.requests;
    }
    SimRig rig;
    rig.seedDyn();
    const Bytes dynBefore = rig.dynBytes(kKeptDyn.length);
    const std::vector<Bytes> contactsBefore = rig.contacts();
    dropReplies(rig, FaultAim(clean).replyTo({kOpFlash, 0x01, 6}));
    Conversion failed(rig, backups);
    ASSERT_FALSE(failed.run());
    EXPECT_THAT(numbersIn(ErrorChain::records()), ElementsAre(0x015));
    const auto def = rig.sim().flash().block(SimBlock::Def);
    const Bytes expected = expectedDefaultBlock({});
    ASSERT_NE(Bytes(def.begin(), def.end()), expected);
    const std::filesystem::path path = failed.command.lastBackupPath();
    ASSERT_FALSE(path.empty());
    rig.faults().clear();
    rig.requests.clear();
    ErrorChain::remove(0);

    PersonalityBackup backup;
    ASSERT_TRUE(PersonalityBackup::load(path, backup));
    ConversionSetup setup;
    setup.keep = false;
    Conversion again(rig, backups, setup);
    again.command.takePersonalityFrom(backup, path);
    ASSERT_TRUE(again.run()) << toUtf8(ErrorChain::text());

    EXPECT_EQ(Bytes(def.begin(), def.end()), expected);
    EXPECT_EQ(rig.dynBytes(kKeptDyn.length), dynBefore);
    EXPECT_EQ(rig.contacts(), inRestoreOrder(contactsBefore));
    EXPECT_EQ(rig.sim().mode(), SimRadio::Mode::Normal);
    EXPECT_EQ(rig.sim().protectionMode(), SimRadio::lockMode(rig.sim().flashType()));
    EXPECT_EQ(rig.count(kOpMemRead), 0u);
    EXPECT_EQ(rig.count(kOpContact, 0x30), 0u);
    EXPECT_EQ(again.command.lastBackupPath(), path);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(backups),
                            std::filesystem::directory_iterator()),
              1);
}

// The backup's blocks are checked against the address map like configured ones, before anything
// is touched; and a backup names the one radio it may go back into.
TEST_F(ConvertRadioTest, ABackupOnlyGoesBackIntoItsRadioAndItsMapsDynBlock) {
    SimRig rig;
    PersonalityBackup backup;
    backup.serial = {'9', '9', '9', 'Z', 'Z', '9', '9', 'Z', '9', '9'};
    WorkflowOutcome outcome;
    EXPECT_FALSE(backupBelongsTo(backup, rig.radio, outcome));
    EXPECT_EQ(outcome.stringId, kStrRecoveryOtherRadio);
    EXPECT_EQ(outcome.argument, L"999ZZ99Z99");
    const auto serial = rig.radio.serialValue();
    backup.serial.assign(serial.begin(), serial.end());
    EXPECT_TRUE(backupBelongsTo(backup, rig.radio, outcome));

    backup.personality.blocks.push_back({kBlockDyn, 0x820FF0, Bytes(0x20, 0x11)});
    ConversionSetup setup;
    setup.keep = false;
    Conversion conversion(rig, backups, setup);
    conversion.command.takePersonalityFrom(backup, backups / "the.pbk");
    EXPECT_FALSE(conversion.run());
    EXPECT_THAT(numbersIn(ErrorChain::records()), ElementsAre(0x008));
    EXPECT_EQ(rig.count(kOpFlash), 0u);
}

// A test station converts radio after radio through one RadioInfo, whose block table lives as
// long as the program: an old-layout radio (default block 0xC000) and then a new-layout one
// (0x10000). Each must get its whole default block; a capacity the first map lowered must not
// cut the second radio's short and leave stale bytes in it.
TEST_F(ConvertRadioTest, EachRadioIsLaidOutByItsOwnAddressMap) {
    struct FlashRow {
        int flashType;
        uint32_t defaultBlock;
        uint32_t dynamicErase;
        uint16_t openMode;
        uint16_t endMode;
    };
    constexpr FlashRow kRows[] = {
        {0, 0x64000, 0x70000, 0x840, 0x440},
        {1, 0x84000, 0xE0000, 0x3000, 0x840},
        {2, 0x84000, 0x180000, 0x3000, 0x1040},
    };
    struct Side {
        const char* addressMap;
        const char* codeplug;
        SimVersion radioVersion;
        uint32_t capacity;
    };
    const Side kSides[] = {
        {"KMVADDR_A01.03.00.ftf", "RQX770HJNWE_DEF_R01.03.00.ftf", SimVersion{{'R', 1, 3, 0}},
         0xC000},
        {kNewAddressMap, kNewCodeplug, SimVersion{{'R', 1, 2, 0}}, 0x10000},
    };
    for (const FlashRow& row : kRows) {
        SCOPED_TRACE("flash type " + std::to_string(row.flashType));
        SimD2xx::Options options = SimRig::defaultOptions();
        options.radio.flashType = row.flashType;
        SimRig rig(options);
        for (const Side& side : kSides) {
            SCOPED_TRACE(side.addressMap);
            ErrorChain::remove(0);
            // The next radio on the same cable, with bytes in its default block that only a
            // whole erase and program replace.
            SimRadioConfig radio = options.radio;
            radio.codeplug = side.radioVersion;
            rig.sim() = SimRadio(radio);
            auto def = rig.sim().flash().block(SimBlock::Def);
            std::fill(def.begin() + 0x20, def.end(), 0xA5);
            ASSERT_TRUE(rig.radio.readIdentity());
            rig.requests.clear();

            ConversionSetup setup;
            setup.addressFile = sampleFile(side.addressMap);
            setup.codeplugFile = sampleFile(side.codeplug);
            Conversion conversion(rig, backups, setup);
            if (row.defaultBlock + side.capacity > row.dynamicErase &&
                row.defaultBlock < row.dynamicErase) {
                // The dynamic block's erase would wipe the end of what was just programmed:
                // refused before the radio is touched.
                EXPECT_FALSE(conversion.run());
                EXPECT_THAT(toUtf8(ErrorChain::firstMessage()),
                            HasSubstr("reaches the dynamic block erased at [458752]"));
                EXPECT_TRUE(rig.requestsTo({kOpFlash}).empty());
                continue;
            }
            ASSERT_TRUE(conversion.run()) << toUtf8(ErrorChain::text());

            const Bytes expected = expectedDefaultBlock(setup);
            ASSERT_EQ(expected.size(), side.capacity);
            EXPECT_TRUE(Bytes(def.begin(), def.begin() + side.capacity) == expected)
                << "the default block differs from its codeplug";

            std::vector<std::string> flash;
            for (const Request& request : rig.requestsTo({kOpFlash})) {
                const auto body = request.body();
                const uint32_t address = uint32_t{body[1]} << 16 | body[2] << 8 | body[3];
                char line[40];
                switch (body[0]) {
                    case 8:
                        std::snprintf(line, sizeof line, "protect %#x", body[2] << 8 | body[3]);
                        break;
                    case 4:
                        std::snprintf(line, sizeof line, "erase sector %#x", address);
                        break;
                    case 6:
                        std::snprintf(line, sizeof line, "erase dynamic %#x", address);
                        break;
                    default:
                        std::snprintf(line, sizeof line, "write %#x %zu", address, body.size() - 4);
                }
                flash.push_back(line);
            }
            std::vector<std::string> expectedFlash;
            const auto add = [&](const char* format, auto... values) {
                char line[40];
                std::snprintf(line, sizeof line, format, values...);
                expectedFlash.push_back(line);
            };
            add("protect %#x", row.openMode);
            for (uint32_t offset = 0; offset < side.capacity; offset += 0x1000) {
                add("erase sector %#x", row.defaultBlock + offset);
            }
            for (uint32_t offset = 0; offset < side.capacity; offset += 0x1000) {
                add("write %#x %zu", row.defaultBlock + offset, size_t{0x1000});
            }
            add("erase dynamic %#x", row.dynamicErase);
            add("protect %#x", row.endMode);
            EXPECT_EQ(flash, expectedFlash);
        }
    }
}

}  // namespace
}  // namespace plugshift::test
