// The conversion record: its lines on the disk, torn writes, and the runs that write it.

#include "conversion/conversion_record.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>
#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include "conversion/recorded_run.h"
#include "errors/error_chain.h"
#include "radio/sbep.h"
#include "radio/sbep_protocol.h"
#include "sim_rig.h"

namespace plugshift::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using Result = ConversionRecord::Result;

class ConversionRecordTest : public ::testing::Test {
protected:
    void TearDown() override { ErrorChain::remove(0); }

    // An entry whose run reached the radio's flash (erased), or one that stopped before.
    ConversionRecord::Conversion opened(const std::string& serial, const std::string& backup = "",
                                        bool erased = true) {
        ConversionRecord::Conversion c;
        c.serial = serial;
        c.model = "RQX770HJNWA";
        c.firmware = "R02.00.01";
        c.codeplug = "R01.02.00";
        c.codeplugFile = "/inst/RQX770HJNWE_DEF_R01.02.00.ftf";
        c.addressFile = "/inst/KMVADDR_A01.02.00.ftf";
        c.backup = backup;
        std::string reason;
        EXPECT_TRUE(record.open(c, reason)) << reason;
        if (erased) {
            EXPECT_TRUE(record.markStep(c.id, RunStep::EraseDefaultBlock, reason)) << reason;
        }
        return c;
    }
    std::optional<ConversionRecord::Conversion> unfinishedFor(const std::string& serial) const {
        std::optional<ConversionRecord::Conversion> unfinished;
        std::string reason;
        EXPECT_TRUE(record.findUnfinished(serial, unfinished, reason)) << reason;
        return unfinished;
    }
    ConversionRecord::History history() const {
        ConversionRecord::History h;
        std::string reason;
        EXPECT_TRUE(record.read(h, reason)) << reason;
        return h;
    }
    void appendRaw(const std::string& bytes) const {
        std::ofstream(record.file(), std::ios::binary | std::ios::app) << bytes;
    }

    TempFolder folder;
    ConversionRecord record{folder.path() / "data"};
};

TEST_F(ConversionRecordTest, OpenAndCloseMakeOneConversionAndTheLastOfARadioDecides) {
    const auto first = opened("752TRX4F21", "/data/backup/a.pbk");
    const auto other = opened("111AAA1A11");
    std::string reason;
    ASSERT_TRUE(record.close(other.id, Result::Converted, "", reason)) << reason;

    // The first never closed: the tool did not see it end.
    const auto unfinished = unfinishedFor("752TRX4F21");
    ASSERT_TRUE(unfinished);
    EXPECT_EQ(unfinished->id, first.id);
    EXPECT_EQ(unfinished->result, Result::Open);
    EXPECT_EQ(unfinished->backup, "/data/backup/a.pbk");
    EXPECT_EQ(unfinished->codeplugFile, first.codeplugFile);
    EXPECT_FALSE(unfinishedFor("111AAA1A11"));
    EXPECT_FALSE(unfinishedFor("999ZZZ9Z99"));
    EXPECT_FALSE(unfinishedFor(""));

    // A failed or stopped end is unfinished too; the conversion that finishes it ends that.
    ASSERT_TRUE(record.close(first.id, Result::Stopped, "Error:stopped.", reason));
    EXPECT_EQ(unfinishedFor("752TRX4F21")->result, Result::Stopped);
    auto finishing = RecordedRun::finishing(*unfinishedFor("752TRX4F21"));
    EXPECT_EQ(finishing.finishes, first.id);
    ASSERT_TRUE(record.open(finishing, reason));
    ASSERT_TRUE(record.markStep(finishing.id, RunStep::EraseDefaultBlock, reason));
    ASSERT_TRUE(record.close(finishing.id, Result::Converted, "", reason));
    EXPECT_FALSE(unfinishedFor("752TRX4F21"));

    const auto h = history();
    ASSERT_EQ(h.conversions.size(), 3u);
    EXPECT_EQ(h.conversions[0].error, "Error:stopped.");
    EXPECT_FALSE(h.conversions[0].end.empty());
    EXPECT_EQ(h.conversions[2].finishes, first.id);
    EXPECT_EQ(h.skippedLines, 0u);
}

// Only runs that reached the flash say how the radio is: one that stopped before its first erase
// (refused at protection mode, a failed finish) leaves the radio as the run before it did.
TEST_F(ConversionRecordTest, RunsThatErasedNothingArePassedOver) {
    std::string reason;
    const auto stoppedEarly = opened("752TRX4F21", "/data/backup/a.pbk", false);
    ASSERT_TRUE(record.close(stoppedEarly.id, Result::NotStarted, "Error:refused.", reason));
    EXPECT_FALSE(unfinishedFor("752TRX4F21"));

    const auto half = opened("752TRX4F21", "/data/backup/b.pbk");
    ASSERT_TRUE(record.close(half.id, Result::Failed, "Error:lost.", reason));
    auto finishing = RecordedRun::finishing(*unfinishedFor("752TRX4F21"));
    ASSERT_TRUE(record.open(finishing, reason));
    ASSERT_TRUE(record.close(finishing.id, Result::NotStarted, "Error:no cable.", reason));
    const auto still = unfinishedFor("752TRX4F21");
    ASSERT_TRUE(still);
    EXPECT_EQ(still->id, half.id);
    EXPECT_EQ(still->backup, "/data/backup/b.pbk");
    // The last step begun says where the run was, read backwards and forwards alike.
    EXPECT_EQ(still->lastStep, RunStep::EraseDefaultBlock);
    ASSERT_TRUE(record.markStep(half.id, RunStep::EraseDynamicBlock, reason));
    ASSERT_TRUE(record.markPersonalityBack(half.id, reason));
    const auto later = unfinishedFor("752TRX4F21");
    EXPECT_EQ(later->lastStep, RunStep::EraseDynamicBlock);
    EXPECT_TRUE(later->personalityBack);
    EXPECT_TRUE(later->stepsNoted);
    EXPECT_EQ(history().conversions.at(1).lastStep, RunStep::EraseDynamicBlock);

    // Earlier versions noted the first erase and the whole default block only.
    appendRaw(R"({"entry":"open","id":"old-2","start":"2026-01-01T00:00:00+00:00",)"
              R"("serial":"222BBB2B22","model":"RQX770HJNWA","backup":null,"erase":"noted"})"
              "\n"
              R"({"entry":"erase","id":"old-2","time":"2026-01-01T00:00:01+00:00"})"
              "\n"
              R"({"entry":"programmed","id":"old-2","time":"2026-01-01T00:00:09+00:00"})"
              "\n");
    const auto legacy = unfinishedFor("222BBB2B22");
    ASSERT_TRUE(legacy);
    EXPECT_FALSE(legacy->stepsNoted);
    EXPECT_TRUE(legacy->programmed);
    EXPECT_EQ(legacy->lastStep, RunStep::EraseDynamicBlock);

    // An entry written before erase lines were is taken as having erased.
    appendRaw(R"({"entry":"open","id":"old-1","start":"2026-01-01T00:00:00+00:00",)"
              R"("serial":"111AAA1A11","model":"RQX770HJNWA","backup":null})"
              "\n");
    ASSERT_TRUE(unfinishedFor("111AAA1A11"));
}

// The record is read from its end, a chunk at a time: entries far behind, lines across chunk
// boundaries and a damaged overlong line all read as they should.
TEST_F(ConversionRecordTest, ALongRecordIsReadFromItsEnd) {
    std::string reason;
    const auto first = opened("752TRX4F21", "/data/backup/a.pbk");
    for (int i = 0; i < 2000; ++i) {
        const auto other = opened("111AAA1A" + std::to_string(10 + i % 80));
        ASSERT_TRUE(record.close(other.id, Result::Converted, "", reason));
    }
    appendRaw(std::string(ConversionRecord::kMaxLineBytes + 10, 'x') + "\n");
    const auto found = unfinishedFor("752TRX4F21");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, first.id);
    EXPECT_EQ(found->result, Result::Open);
    const auto h = history();
    EXPECT_EQ(h.conversions.size(), 2001u);
    EXPECT_EQ(h.skippedLines, 1u);
}

TEST_F(ConversionRecordTest, ATornLastLineIsSkippedAndTheNextEntryStartsOnItsOwnLine) {
    const auto first = opened("752TRX4F21");
    appendRaw(R"({"entry":"close","id":")" + first.id + R"(","end":"2024)");
    EXPECT_EQ(history().skippedLines, 1u);
    ASSERT_TRUE(unfinishedFor("752TRX4F21"));

    std::string reason;
    ConversionRecord::SerialUpdate update;
    update.model = "RQX770HJNWA";
    update.serialBefore = "752TRX4F21";
    update.serialAfter = "123ABC4D56";
    update.updated = true;
    ASSERT_TRUE(record.addSerialUpdate(update, reason)) << reason;
    const auto h = history();
    EXPECT_EQ(h.skippedLines, 1u);  // the torn line, now ended, still does not parse
    ASSERT_EQ(h.serialUpdates.size(), 1u);
    EXPECT_EQ(h.serialUpdates[0].serialAfter, "123ABC4D56");
    EXPECT_TRUE(h.serialUpdates[0].updated);
    EXPECT_FALSE(h.serialUpdates[0].time.empty());
    EXPECT_EQ(h.conversions.at(0).result, Result::Open);
}

// An older version's line is a whole update; a started line takes the end line of its id, even
// with other lines between them, and one without an end is an update that did not end.
TEST_F(ConversionRecordTest, SerialUpdatesPairTheirStartedAndEndLines) {
    using Update = ConversionRecord::SerialUpdate;
    const auto written = [this](const char* time, const char* before, const char* after,
                                const char* id, const char* result, const char* error = "",
                                const char* serialRead = "") {
        Update update;
        update.time = time;
        update.serialBefore = before;
        update.serialAfter = after;
        update.id = id;
        update.result = result;
        update.error = error;
        update.serialRead = serialRead;
        std::string reason;
        ASSERT_TRUE(record.addSerialUpdate(update, reason)) << reason;
    };
    fs::create_directories(record.folder());
    appendRaw(R"({"entry":"serial","time":"t0","model":"M","serialBefore":"A",)"
              R"("serialAfter":"B","result":"failed","error":"refused"})"
              "\n");
    written("t1", "B", "C", "1", "started");
    written("t2", "C", "D", "2", "started");
    written("t3", "B", "C", "1", "not-backed-up", "no backup", "C");

    const auto updates = history().serialUpdates;
    ASSERT_EQ(updates.size(), 3u);
    EXPECT_EQ(updates[0].result, "failed");
    EXPECT_EQ(updates[0].error, "refused");
    EXPECT_TRUE(updates[0].id.empty());
    EXPECT_TRUE(updates[0].end.empty());
    EXPECT_EQ(updates[1].time, "t1");
    EXPECT_EQ(updates[1].end, "t3");
    EXPECT_EQ(updates[1].result, "not-backed-up");
    EXPECT_FALSE(updates[1].updated);
    EXPECT_EQ(updates[1].serialRead, "C");
    EXPECT_EQ(updates[1].error, "no backup");
    EXPECT_EQ(updates[2].result, "started");
    EXPECT_TRUE(updates[2].end.empty());
    EXPECT_EQ(history().skippedLines, 0u);
}

TEST_F(ConversionRecordTest, AValueCannotBreakItsLineOrForgeAnEntry) {
    const std::string forged = "x\"}\n{\"entry\":\"close\",\"id\":\"";
    const auto c = opened("752TRX4F21", "C:\\backup\\" + forged + "é", false);
    std::ifstream in(record.file());
    std::stringstream content;
    content << in.rdbuf();
    const std::string text = content.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    const auto h = history();
    ASSERT_EQ(h.conversions.size(), 1u);
    EXPECT_EQ(h.conversions[0].backup, c.backup);
    EXPECT_EQ(h.conversions[0].result, Result::Open);
}

#ifndef _WIN32
// A disk that fills up in the middle of a line: the line is cut off again, so the record never
// holds a torn entry, and the writer hears why.
TEST_F(ConversionRecordTest, AWriteThatFailsHalfWayLeavesNoTornLine) {
    const auto c = opened("752TRX4F21");
    const auto before = fs::file_size(record.file());
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = before + 20;
    setrlimit(RLIMIT_FSIZE, &tight);
    std::string reason;
    const bool closed = record.close(c.id, Result::Converted, "", reason);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(closed);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(fs::file_size(record.file()), before);
    EXPECT_EQ(history().skippedLines, 0u);
    EXPECT_TRUE(unfinishedFor("752TRX4F21"));
}
#endif

TEST_F(ConversionRecordTest, AFolderThatCannotBeWrittenSaysWhy) {
    fs::create_directories(folder.path());
    std::ofstream(folder.path() / "file") << "x";
    const ConversionRecord blocked(folder.path() / "file" / "data");
    ConversionRecord::Conversion c;
    std::string reason;
    EXPECT_FALSE(blocked.open(c, reason));
    EXPECT_FALSE(reason.empty());
}

// A run of the conversion with its record, on the simulated radio.
class RecordedConversionTest : public ConversionRecordTest {
protected:
    RecordedConversionTest() {
        rig.seedDyn();
        ErrorChain::remove(0);
    }
    SimRig rig;
};

TEST_F(RecordedConversionTest, AStopDuringTheFlashEndsTheRunStoppedWithTheBackupNamed) {
    Conversion conversion(rig, folder.path() / "data" / "backup");
    RecordedRun run(record, RecordedRun::identityOf(rig.radio));
    std::vector<fs::path> announced;
    run.attach(conversion.command, [&](const fs::path& backup) { announced.push_back(backup); });
    std::atomic<bool> stop{false};
    rig.radio.sbep()->setStopSignal(&stop);
    // Ctrl-C arrives while the third 4 KiB chunk of the default block is on the line.
    int writes = 0;
    rig.radio.sbep()->setFrameObserver([&](const FrameEvent& event) {
        if (event.direction == FrameDirection::kSent && event.bytes.size() > 1000 &&
            ++writes == 3) {
            stop = true;
        }
    });

    EXPECT_FALSE(conversion.run());
    run.finish(conversion.command, stop);
    EXPECT_EQ(writes, 3);  // no request after the one on the line

    ASSERT_EQ(announced.size(), 1u);
    EXPECT_TRUE(fs::exists(announced[0]));
    EXPECT_EQ(announced[0], conversion.command.lastBackupPath());
    const auto h = history();
    ASSERT_EQ(h.conversions.size(), 1u);
    EXPECT_EQ(h.conversions[0].result, Result::Stopped);
    EXPECT_THAT(h.conversions[0].error, HasSubstr("stopped at the user's request"));
    EXPECT_EQ(h.conversions[0].backup, announced[0].string());
    EXPECT_EQ(h.conversions[0].serial, "752TRX4F21");
    EXPECT_EQ(h.conversions[0].model, "RQX770HJNWA");
    ASSERT_TRUE(unfinishedFor("752TRX4F21"));
}

TEST_F(RecordedConversionTest, ARecordThatCannotBeWrittenStopsTheRunBeforeAnyErase) {
    std::ofstream(folder.path() / "file") << "x";
    Conversion conversion(rig, folder.path() / "backup");
    RecordedRun run(ConversionRecord(folder.path() / "file"), RecordedRun::identityOf(rig.radio));
    run.attach(conversion.command, {});
    rig.requests.clear();
    const Bytes modelBefore = rig.sim().model();

    EXPECT_FALSE(conversion.run());
    run.finish(conversion.command, false);
    EXPECT_TRUE(run.notRecorded());
    EXPECT_EQ(rig.count(sbep::kOpFlash), 0u);
    EXPECT_EQ(rig.sim().model(), modelBefore);
    bool said = false;
    for (const ErrorRecord& r : ErrorChain::records()) {
        said = said || r.message == ConversionRecord::kNotRecorded;
    }
    EXPECT_TRUE(said);
}

// Each step that changes the radio is on the disk before its first request goes out, so a run
// stopped anywhere is known to have reached that step and no further.
TEST_F(RecordedConversionTest, EveryStepIsOnTheDiskBeforeItsFirstRequest) {
    struct FirstRequest {
        uint8_t opcode;
        std::optional<uint8_t> sub;
        const char* step;
    };
    const FirstRequest firsts[] = {
        {sbep::kOpFlash, sbep::kEraseSector, "erase-default-block"},
        {sbep::kOpFlash, sbep::kWriteCommand, "program-default-block"},
        {sbep::kOpFlash, sbep::kEraseDynamic, "erase-dynamic-block"},
        {sbep::kOpReset, sbep::kResetHard, "hard-reset"},
        {sbep::kOpMemWrite, std::nullopt, "restore-personality"},
    };
    Conversion conversion(rig, folder.path() / "data" / "backup");
    RecordedRun run(record, RecordedRun::identityOf(rig.radio));
    run.attach(conversion.command, {});
    std::vector<std::string> onDiskAtFirstRequest(std::size(firsts));
    rig.radio.sbep()->setFrameObserver([&](const FrameEvent& event) {
        const Request sent{Bytes(event.bytes.begin(), event.bytes.end())};
        for (size_t i = 0; i < std::size(firsts); ++i) {
            const bool first = onDiskAtFirstRequest[i].empty() &&
                               event.direction == FrameDirection::kSent &&
                               sent.opcode() == firsts[i].opcode &&
                               (!firsts[i].sub || sent.sub() == firsts[i].sub);
            if (first) {
                std::ifstream in(record.file());
                std::stringstream text;
                text << in.rdbuf();
                onDiskAtFirstRequest[i] = text.str();
            }
        }
    });
    ASSERT_TRUE(conversion.run());
    run.finish(conversion.command, false);
    for (size_t i = 0; i < std::size(firsts); ++i) {
        SCOPED_TRACE(firsts[i].step);
        EXPECT_THAT(onDiskAtFirstRequest[i],
                    HasSubstr(std::string(R"("step":")") + firsts[i].step + "\""));
        if (i + 1 < std::size(firsts)) {
            EXPECT_THAT(onDiskAtFirstRequest[i],
                        Not(HasSubstr(std::string(R"("step":")") + firsts[i + 1].step + "\"")));
        }
    }
    const auto h = history();
    ASSERT_EQ(h.conversions.size(), 1u);
    EXPECT_EQ(h.conversions[0].lastStep, RunStep::ReturnToNormalMode);
    EXPECT_TRUE(h.conversions[0].personalityBack);
    EXPECT_EQ(h.conversions[0].personality, ConversionRecord::kFromRadio);
    EXPECT_THAT(h.conversions[0].codeplugFileId, HasSubstr(" md5:"));
}

// A step line the disk does not take stops the run before that step: here the dynamic block's
// erase, once the default block is whole.
TEST_F(RecordedConversionTest, AStepThatCannotBeRecordedIsNotTaken) {
    Conversion conversion(rig, folder.path() / "data" / "backup");
    RecordedRun run(record, RecordedRun::identityOf(rig.radio));
    run.attach(conversion.command, {});
    int programs = 0;
    rig.radio.sbep()->setFrameObserver([&](const FrameEvent& event) {
        const Request sent{Bytes(event.bytes.begin(), event.bytes.end())};
        if (event.direction == FrameDirection::kSent && sent.opcode() == sbep::kOpFlash &&
            sent.sub() == sbep::kWriteCommand && ++programs == 16) {
            // The record's place is taken by a folder: no line goes on from here.
            fs::remove(record.file());
            fs::create_directory(record.file());
        }
    });
    rig.requests.clear();
    EXPECT_FALSE(conversion.run());
    run.finish(conversion.command, false);
    EXPECT_TRUE(run.notRecorded());
    EXPECT_TRUE(run.radioChanged());
    EXPECT_EQ(rig.count(sbep::kOpFlash, sbep::kEraseDynamic), 0u);
    EXPECT_EQ(rig.count(sbep::kOpReset), 0u);
    EXPECT_THAT(toUtf8(ErrorChain::text()), HasSubstr("erase-dynamic-block"));
}

TEST_F(RecordedConversionTest, AConvertedRunIsClosedConvertedWithoutABackupWhenNoneIsKept) {
    ConversionSetup setup;
    setup.keep = false;
    setup.blocks.clear();
    Conversion conversion(rig, folder.path() / "backup", setup);
    RecordedRun run(record, RecordedRun::identityOf(rig.radio));
    run.attach(conversion.command, {});
    ASSERT_TRUE(conversion.run());
    run.finish(conversion.command, false);
    const auto h = history();
    ASSERT_EQ(h.conversions.size(), 1u);
    EXPECT_EQ(h.conversions[0].result, Result::Converted);
    EXPECT_TRUE(h.conversions[0].backup.empty());
    EXPECT_FALSE(unfinishedFor("752TRX4F21"));
}

}  // namespace
}  // namespace plugshift::test
