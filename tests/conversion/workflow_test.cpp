// The radio workflows every front end shares, against a scripted front end and the simulated
// radio on the sample installation: what is asked, what is refused before the radio changes,
// what reaches the radio and the record, and how each ends.

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "conversion/conversion_record.h"
#include "conversion/convert_radio.h"
#include "conversion/convert_workflow.h"
#include "conversion/personality_backup.h"
#include "conversion/recovery_workflow.h"
#include "conversion/serial_audit.h"
#include "conversion/serial_number_update.h"
#include "conversion/serial_update_workflow.h"
#include "conversion/workflow_front_end.h"
#include "log_capture.h"
#include "radio/frame_event.h"
#include "radio/sbep.h"
#include "radio/sbep_protocol.h"
#include "sim/sim_faults.h"
#include "sim_rig.h"
#ifndef _WIN32
#include "without_privileges.h"
#endif

namespace plugshift::test {
namespace {

namespace fs = std::filesystem;

constexpr uint8_t kFlashOpcode = 0x72;
constexpr uint8_t kSectorErase = 4;
constexpr uint8_t kDynamicErase = 6;
constexpr uint8_t kProtectionMode = 8;
constexpr uint32_t kProgressEnd = 100;
constexpr const char* kNewSerial = "123ABC4D56";

// Answers questions from a script (no answer left: no) and runs commands on the test's thread.
class ScriptedFrontEnd : public WorkflowFrontEnd {
public:
    explicit ScriptedFrontEnd(RadioInfo& radio) : radio_(radio) {}

    bool confirm(const WorkflowOutcome& question) override { return answer(question); }
    bool confirmLoss(const WorkflowOutcome& question) override {
        lossQuestions.push_back(question.stringId);
        return answer(question);
    }
    bool confirmInPerson(const WorkflowOutcome& question) override { return confirmLoss(question); }
    void showRadio(bool) override {}
    bool runCommand(ConvertRadio& command) override {
        ++runs;
        command.run();
        return false;
    }
    void runSerialUpdate(SerialNumberUpdate& command) override {
        ++runs;
        command.radio->sbep()->setStopSignal(stop);
        command.run();
        command.radio->sbep()->setStopSignal(nullptr);
    }
    void backupSaved(const fs::path& backup) override { saved.push_back(backup); }
    bool readAgain() override {
        ++rereads;
        return rereadAnswers && radio_.readIdentity();
    }

    std::deque<bool> answers;
    std::vector<int> asked;
    std::vector<int> lossQuestions;
    std::vector<fs::path> saved;
    int runs = 0;
    int rereads = 0;
    // The stop signal the serial-number update runs with; null: none.
    std::atomic<bool>* stop = nullptr;
    bool rereadAnswers = true;

private:
    bool answer(const WorkflowOutcome& question) {
        asked.push_back(question.stringId);
        if (answers.empty()) {
            return false;
        }
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }

    RadioInfo& radio_;
};

std::string serialOf(SimRig& rig) {
    const Bytes serial = rig.sim().serial();
    return std::string(serial.begin(), serial.end());
}

size_t linesIn(const fs::path& file) {
    std::ifstream in(file);
    return static_cast<size_t>(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
}

// The sample installation, err.log in a folder of its own whose data folder keeps the record.
class WorkflowTest : public ::testing::Test {
protected:
    void SetUp() override {
        Configuration& config = Configuration::instance();
        config.reset();
        ASSERT_TRUE(config.createDocument());
        ASSERT_TRUE(config.load(sampleFile("config.xml"),
                                fromUtf8(PLUGSHIFT_SAMPLE_DATA_DIR "/data/setup.dat")))
            << toUtf8(ErrorChain::text());
        ErrorChain::remove(0);
    }
    void TearDown() override { Configuration::instance().reset(); }

    ConversionRecord record() const { return ConversionRecord(log_.folder()); }
    fs::path auditFile() const { return log_.folder() / "log" / SerialAudit::kFileName; }
    fs::path backupFolder() const { return log_.folder() / "backup"; }

    WorkflowEnd convert(SimRig& rig, ScriptedFrontEnd& frontEnd, bool keep,
                        bool identityComplete = true) {
        ConvertWorkflow workflow(Configuration::instance(), rig.radio, record(), backupFolder(),
                                 frontEnd);
        return workflow.run({.keepPersonality = keep}, identityComplete, kProgressEnd);
    }

    LogCapture log_;
};

// The serial-number workflow, with the history of the record and the lines of the audit.
class SerialUpdateWorkflowTest : public WorkflowTest {
protected:
    WorkflowEnd update(SimRig& rig, ScriptedFrontEnd& frontEnd,
                       const char* newSerial = kNewSerial) {
        SerialUpdateWorkflow workflow(Configuration::instance(), rig.radio, frontEnd);
        return workflow.run(fromUtf8(newSerial), kProgressEnd);
    }
    std::vector<ConversionRecord::SerialUpdate> serialUpdates() const {
        ConversionRecord::History history;
        std::string reason;
        EXPECT_TRUE(record().read(history, reason)) << reason;
        return history.serialUpdates;
    }
    // The audit's lines without their time stamps.
    std::vector<std::string> auditLines() const {
        std::vector<std::string> lines;
        std::ifstream in(auditFile());
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line.substr(line.find(' ') + 1));
        }
        return lines;
    }
};

std::vector<int> idsOf(const std::vector<WorkflowOutcome>& outcomes) {
    std::vector<int> ids;
    for (const WorkflowOutcome& outcome : outcomes) {
        ids.push_back(outcome.stringId);
    }
    return ids;
}

// Raises `stop` once a request with this opcode is on the line, as Ctrl-C would then; the rig
// goes on recording the requests.
void stopWhenSent(SimRig& rig, uint8_t opcode, std::atomic<bool>& stop) {
    rig.radio.sbep()->setFrameObserver([&rig, &stop, opcode](const FrameEvent& event) {
        if (event.direction != FrameDirection::kSent) {
            return;
        }
        rig.requests.push_back({Bytes(event.bytes.begin(), event.bytes.end())});
        if (rig.requests.back().opcode() == opcode) {
            stop = true;
        }
    });
}

bool factoryBlockBackedUp(SimRig& rig) {
    const auto fac = rig.sim().flash().block(SimBlock::Fac);
    const auto bac = rig.sim().flash().block(SimBlock::Bac);
    return std::equal(fac.begin(), fac.end(), bac.begin(), bac.end());
}

TEST_F(SerialUpdateWorkflowTest, WritesAuditsAndReadsTheRadioAgain) {
    SimRig rig;
    ScriptedFrontEnd frontEnd(rig.radio);
    const WorkflowEnd end = update(rig, frontEnd);
    ASSERT_TRUE(end.converted()) << toUtf8(end.outcome.text());
    EXPECT_EQ(end.outcome.stringId, kStrSerialUpdated);
    EXPECT_TRUE(end.notes.empty());
    EXPECT_EQ(serialOf(rig).substr(0, 10), kNewSerial);
    EXPECT_EQ(toUtf8(rig.radio.serialNumberText()), kNewSerial);
    EXPECT_EQ(frontEnd.rereads, 1);
    EXPECT_TRUE(frontEnd.asked.empty());
    EXPECT_EQ(auditLines(), (std::vector<std::string>{
                                "model=RQX770HJNWA old=752TRX4F21 new=123ABC4D56 started",
                                "model=RQX770HJNWA old=752TRX4F21 new=123ABC4D56 success"}));
    const auto updates = serialUpdates();
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_TRUE(updates[0].updated);
    EXPECT_EQ(updates[0].result, "updated");
    EXPECT_EQ(updates[0].serialBefore, "752TRX4F21");
    EXPECT_FALSE(updates[0].end.empty());
}

// A crash or a power cut during the update still leaves the update in both files.
TEST_F(SerialUpdateWorkflowTest, TheTraceIsOnTheDiskBeforeTheNumberIsSent) {
    SimRig rig;
    std::vector<std::string> auditWhenSent;
    std::vector<ConversionRecord::SerialUpdate> recordWhenSent;
    rig.radio.sbep()->setFrameObserver([&](const FrameEvent& event) {
        if (event.direction == FrameDirection::kSent && event.bytes.size() > 1 &&
            event.bytes[1] == sbep::kOpUpdateSerial) {
            auditWhenSent = auditLines();
            recordWhenSent = serialUpdates();
        }
    });
    ScriptedFrontEnd frontEnd(rig.radio);
    ASSERT_TRUE(update(rig, frontEnd).converted());
    EXPECT_EQ(auditWhenSent,
              std::vector<std::string>{"model=RQX770HJNWA old=752TRX4F21 new=123ABC4D56 started"});
    ASSERT_EQ(recordWhenSent.size(), 1u);
    EXPECT_EQ(recordWhenSent[0].result, "started");
    EXPECT_EQ(recordWhenSent[0].serialAfter, kNewSerial);
}

// Each refusal comes before anything is sent to the radio or written to the audit.
TEST_F(SerialUpdateWorkflowTest, RefusesBeforeTheRadioChanges) {
    struct Case {
        const char* name;
        const char* newSerial;
        std::function<void(SimD2xx::Options&, const ConversionRecord&)> arrange;
        int stringId;
    };
    const auto noChange = [](SimD2xx::Options&, const ConversionRecord&) {};
    const Case cases[] = {
        {"a number of another form", "123AB45C6", noChange, kStrSerialIncorrect},
        {"the radio's own number", "752TRX4F21", noChange, kStrSerialIdentical},
        {"a model the installation does not know", kNewSerial,
         [](SimD2xx::Options& options, const ConversionRecord&) {
             options.radio.model = "ZZZ999ZZZZZ";
         },
         kStrRadioUnsupported},
        {"a conversion of the radio that did not end", kNewSerial,
         [](SimD2xx::Options&, const ConversionRecord& book) {
             ConversionRecord::Conversion open;
             open.serial = "752TRX4F21";
             open.eraseNoted = true;
             std::string reason;
             ASSERT_TRUE(book.open(open, reason)) << reason;
             ASSERT_TRUE(book.markStep(open.id, RunStep::EraseDefaultBlock, reason)) << reason;
         },
         kStrFinishFirst},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(log_.folder() / ConversionRecord::kFileName);
        SimD2xx::Options options = SimRig::defaultOptions();
        c.arrange(options, record());
        SimRig rig(options);
        rig.requests.clear();
        ScriptedFrontEnd frontEnd(rig.radio);
        const WorkflowEnd end = update(rig, frontEnd, c.newSerial);
        EXPECT_EQ(end.kind, WorkflowEnd::Kind::Refused);
        EXPECT_EQ(end.outcome.stringId, c.stringId);
        EXPECT_EQ(frontEnd.runs, 0);
        EXPECT_TRUE(rig.requests.empty());
        EXPECT_EQ(serialOf(rig).substr(0, 10), "752TRX4F21");
        EXPECT_EQ(linesIn(auditFile()), 0u);
    }
}

// A full disk or a folder that cannot be written to: the update is refused before the radio is
// asked anything, naming the folder.
class UntraceableSerialUpdateTest : public SerialUpdateWorkflowTest {
protected:
    void expectRefusedNaming(const fs::path& folder) {
        SimRig rig;
        rig.requests.clear();
        ScriptedFrontEnd frontEnd(rig.radio);
        const WorkflowEnd end = update(rig, frontEnd);
        EXPECT_EQ(end.kind, WorkflowEnd::Kind::Refused);
        EXPECT_EQ(end.outcome.stringId, kStrSerialNotRecorded);
        EXPECT_EQ(end.outcome.argument, folder.wstring());
        EXPECT_EQ(frontEnd.runs, 0);
        EXPECT_TRUE(rig.requests.empty());
        EXPECT_EQ(serialOf(rig).substr(0, 10), "752TRX4F21");
        EXPECT_TRUE(serialUpdates().empty());
    }
};

TEST_F(UntraceableSerialUpdateTest, AnAuditThatCannotTakeALine) {
    fs::create_directories(auditFile());  // a folder where the file should be
    expectRefusedNaming(auditFile().parent_path());
}

#ifndef _WIN32
TEST_F(UntraceableSerialUpdateTest, ARecordInAFolderThatCannotBeWrittenTo) {
    fs::create_directories(auditFile().parent_path());
    fs::permissions(record().folder(),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    {
        WithoutPrivileges user;
        if (!user.ok()) {
            GTEST_SKIP() << "the capabilities could not be dropped";
        }
        expectRefusedNaming(record().folder());
    }
    fs::permissions(record().folder(), fs::perms::owner_write, fs::perm_options::add);
    // The audit took its started line before the record refused: it ends with the radio as it
    // was.
    EXPECT_EQ(auditLines(),
              (std::vector<std::string>{
                  "model=RQX770HJNWA old=752TRX4F21 new=123ABC4D56 started",
                  "model=RQX770HJNWA old=752TRX4F21 new=123ABC4D56 failure now=752TRX4F21"}));
}
#endif

TEST_F(SerialUpdateWorkflowTest, AStopBeforeTheNumberIsSentLeavesTheRadioUnchanged) {
    struct Case {
        const char* name;
        std::optional<uint8_t> stopAt;  // none: before the first request
    };
    const Case cases[] = {{"before the first request", std::nullopt},
                          {"while the test mode is asked for", sbep::kOpTestMode}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(log_.folder() / ConversionRecord::kFileName);
        SimRig rig;
        std::atomic<bool> stop{!c.stopAt};
        if (c.stopAt) {
            stopWhenSent(rig, *c.stopAt, stop);
        }
        ScriptedFrontEnd frontEnd(rig.radio);
        frontEnd.stop = &stop;
        const WorkflowEnd end = update(rig, frontEnd);
        EXPECT_EQ(end.kind, WorkflowEnd::Kind::Failed);
        EXPECT_EQ(end.outcome.stringId, kStrSerialStoppedUnchanged);
        EXPECT_EQ(end.outcome.argument, L"752TRX4F21");
        EXPECT_EQ(rig.count(sbep::kOpUpdateSerial), 0u);
        EXPECT_EQ(serialOf(rig).substr(0, 10), "752TRX4F21");
        EXPECT_EQ(auditLines().back(), "model=RQX770HJNWA old=752TRX4F21 new=123ABC4D56 stopped");
        ASSERT_EQ(serialUpdates().size(), 1u);
        EXPECT_EQ(serialUpdates()[0].result, "stopped");
    }
}

// A number without its factory-block backup would be undone by the next conversion: once it is
// sent, a stop waits for the update's end.
TEST_F(SerialUpdateWorkflowTest, AStopOnceTheNumberIsSentLetsTheUpdateFinish) {
    SimRig rig;
    std::atomic<bool> stop{false};
    stopWhenSent(rig, sbep::kOpUpdateSerial, stop);
    ScriptedFrontEnd frontEnd(rig.radio);
    frontEnd.stop = &stop;
    const WorkflowEnd end = update(rig, frontEnd);
    EXPECT_TRUE(stop);
    ASSERT_TRUE(end.converted()) << toUtf8(end.outcome.text());
    EXPECT_EQ(serialOf(rig).substr(0, 10), kNewSerial);
    EXPECT_EQ(rig.count(sbep::kOpSoftpot), 1u);
    EXPECT_TRUE(factoryBlockBackedUp(rig));
}

// After a failure the radio is read again and the dealer told which number it holds; the audit
// and the record keep it.
TEST_F(SerialUpdateWorkflowTest, AFailedUpdateSaysWhichNumberTheRadioHolds) {
    struct Case {
        const char* name;
        SimFault fault;
        bool rereadAnswers;
        std::vector<int> notes;
        const char* auditEnd;
        const char* result;
        const char* serialRead;  // the record's
    };
    const SimFault refuseSerial{SimFaultKind::RefuseOpcode, sbep::kOpUpdateSerial, 0};
    const SimFault refuseBackup{SimFaultKind::RefuseOpcode, sbep::kOpSoftpot, 0};
    const SimFault resetRefusesUpdate{SimFaultKind::ResetStatus, 0, 0x02};
    const Case cases[] = {
        {"the number refused",
         refuseSerial,
         true,
         {kStrSerialStillOld},
         "failure now=752TRX4F21",
         "failed",
         "752TRX4F21"},
        {"the factory block's backup refused",
         refuseBackup,
         true,
         {kStrSerialNowNew, kStrSerialNotBackedUp},
         "not-backed-up now=123ABC4D56",
         "not-backed-up",
         kNewSerial},
        {"the backup refused and the radio silent afterwards",
         refuseBackup,
         false,
         {kStrSerialNotKnown},
         "failure now=N/A",
         "failed",
         ""},
        // Nothing was sent, so the old number holds even without a read.
        {"the reset refusing the update, the radio silent afterwards",
         resetRefusesUpdate,
         false,
         {kStrSerialStillOld},
         "failure now=752TRX4F21",
         "failed",
         "752TRX4F21"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(log_.folder() / ConversionRecord::kFileName);
        SimRig rig;
        rig.faults().add(c.fault);
        ScriptedFrontEnd frontEnd(rig.radio);
        frontEnd.rereadAnswers = c.rereadAnswers;
        const WorkflowEnd end = update(rig, frontEnd);
        EXPECT_EQ(end.kind, WorkflowEnd::Kind::Failed);
        EXPECT_EQ(end.outcome.stringId, kStrSerialFailed);
        EXPECT_FALSE(end.causes.empty());
        EXPECT_EQ(frontEnd.rereads, 1);
        EXPECT_EQ(idsOf(end.notes), c.notes);
        EXPECT_EQ(auditLines().back(),
                  std::string("model=RQX770HJNWA old=752TRX4F21 new=123ABC4D56 ") + c.auditEnd);
        const auto updates = serialUpdates();
        ASSERT_EQ(updates.size(), 1u);
        EXPECT_EQ(updates[0].result, c.result);
        EXPECT_EQ(updates[0].serialRead, c.serialRead);
        EXPECT_FALSE(updates[0].error.empty());
    }
}

// The fix the dealer is told of: the same number again, which the radio already reports, is
// written and backed up this time; once it is, the same number is refused as ever.
TEST_F(SerialUpdateWorkflowTest, WritingTheNumberAgainFinishesAnUpdateWhoseBackupFailed) {
    SimRig rig;
    rig.faults().add({SimFaultKind::RefuseOpcode, sbep::kOpSoftpot, 0});
    ScriptedFrontEnd first(rig.radio);
    ASSERT_EQ(update(rig, first).kind, WorkflowEnd::Kind::Failed);
    ASSERT_EQ(toUtf8(rig.radio.serialNumberText()), kNewSerial);
    ASSERT_FALSE(factoryBlockBackedUp(rig));

    rig.faults().clear();
    ScriptedFrontEnd again(rig.radio);
    const WorkflowEnd fixed = update(rig, again);
    ASSERT_TRUE(fixed.converted()) << toUtf8(fixed.outcome.text());
    EXPECT_TRUE(factoryBlockBackedUp(rig));

    ScriptedFrontEnd onceMore(rig.radio);
    EXPECT_EQ(update(rig, onceMore).outcome.stringId, kStrSerialIdentical);
}

using ConvertWorkflowSharedTest = WorkflowTest;

TEST_F(ConvertWorkflowSharedTest, DecliningSendsNothingThatChangesTheRadio) {
    SimRig rig;
    rig.requests.clear();
    ScriptedFrontEnd frontEnd(rig.radio);
    const WorkflowEnd end = convert(rig, frontEnd, true);
    EXPECT_EQ(end.kind, WorkflowEnd::Kind::Declined);
    EXPECT_EQ(frontEnd.asked, std::vector<int>{kStrConvertConfirm});
    EXPECT_EQ(rig.count(kFlashOpcode), 0u);
    EXPECT_EQ(frontEnd.runs, 0);
}

// A run stopped at any step is finished from there: the default block again only while it was
// not whole, the personality read from the radio while it was still there and taken from the
// run's backup once it was erased, and nothing written over it once it was back.
TEST_F(ConvertWorkflowSharedTest, AStoppedRunIsFinishedFromTheStepItWasIn) {
    std::atomic<bool> stop{false};
    const auto refuse = [](const char* fault) {
        return [fault](SimRig& rig) { rig.faults().add(*SimFaults::parse(fault)); };
    };
    struct Case {
        const char* name;
        std::function<void(SimRig&)> stop;
        bool defaultBlockAgain;
        bool dynamicBlockAgain;
        bool newBackup;
    };
    const Case cases[] = {
        {"the default block's erase", refuse("fail-erase:0x84000"), true, true, true},
        {"the default block's programming", refuse("refuse:0x72/1@0x88000"), true, true, true},
        {"the dynamic block's erase", refuse("refuse:0x72/6"), false, true, false},
        {"the contacts written back", refuse("refuse:0x9B/0x31"), false, true, false},
        {"the return to normal mode",
         [&stop](SimRig& rig) {
             // Stopped as the end's protection mode is on the line.
             rig.radio.sbep()->setStopSignal(&stop);
             rig.radio.sbep()->setFrameObserver([&stop,
                                                 protections = 0](const FrameEvent& event) mutable {
                 const Request sent{Bytes(event.bytes.begin(), event.bytes.end())};
                 if (event.direction == FrameDirection::kSent && sent.opcode() == kFlashOpcode &&
                     sent.sub() == kProtectionMode && ++protections == 2) {
                     stop = true;
                 }
             });
         },
         false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(log_.folder() / ConversionRecord::kFileName);
        SimRig rig;
        rig.seedDyn();
        const std::vector<Bytes> contacts = rig.contacts();
        const Bytes dyn = rig.dynBytes(kKeptDyn.length);
        c.stop(rig);
        ScriptedFrontEnd first(rig.radio);
        first.answers = {true};
        const WorkflowEnd failed = convert(rig, first, true);
        ASSERT_EQ(failed.kind, WorkflowEnd::Kind::Failed);
        EXPECT_TRUE(failed.mayBeHalfWritten);
        ASSERT_EQ(first.saved.size(), 1u);

        rig.faults().clear();
        rig.radio.sbep()->setStopSignal(nullptr);
        stop = false;
        const bool identityComplete = rig.radio.readIdentity();
        rig.requests.clear();
        ScriptedFrontEnd second(rig.radio);
        second.answers = {true};
        // Today's choice not to keep does not drop the personality the stopped run kept.
        const WorkflowEnd finished = convert(rig, second, false, identityComplete);
        ASSERT_TRUE(finished.converted()) << toUtf8(finished.outcome.text());
        EXPECT_EQ(second.asked.size(), 1u);
        EXPECT_EQ(rig.count(kFlashOpcode, kSectorErase) > 0, c.defaultBlockAgain);
        EXPECT_EQ(rig.count(kFlashOpcode, kDynamicErase) > 0, c.dynamicBlockAgain);
        EXPECT_EQ(second.saved.size(), c.newBackup ? 1u : 0u);
        EXPECT_EQ(toUtf8(rig.radio.modelNumber()), kTargetModel);
        EXPECT_EQ(rig.dynBytes(kKeptDyn.length), dyn);
        EXPECT_EQ(inRestoreOrder(rig.contacts()), inRestoreOrder(contacts));
        std::optional<ConversionRecord::Conversion> unfinished;
        std::string reason;
        ASSERT_TRUE(record().findUnfinished("752TRX4F21", unfinished, reason)) << reason;
        EXPECT_FALSE(unfinished);
    }
}

// The unfinished run kept nothing and its erase took the model's sector: the finish keeping the
// personality plans from the record, and its backup names that model and codeplug version, so it
// can be written back should the finish fail too.
TEST_F(ConvertWorkflowSharedTest, TheBackupOfAHalfWrittenRadioNamesTheModelItWasConvertedFrom) {
    SimRig rig;
    rig.faults().add({SimFaultKind::FailErase, 0x86000, 0});
    ScriptedFrontEnd first(rig.radio);
    first.answers = {true};
    ASSERT_EQ(convert(rig, first, false).kind, WorkflowEnd::Kind::Failed);
    rig.faults().clear();
    ASSERT_TRUE(rig.radio.readIdentity());
    ASSERT_TRUE(RadioInfo::isErased(rig.radio.model())) << "the model's sector was not erased";

    rig.faults().add(*SimFaults::parse("refuse:0x9B/0x31"));  // the contacts' restore
    ScriptedFrontEnd second(rig.radio);
    second.answers = {true};
    const WorkflowEnd failed = convert(rig, second, true);
    ASSERT_EQ(failed.kind, WorkflowEnd::Kind::Failed);
    ASSERT_EQ(second.saved.size(), 1u);
    PersonalityBackup backup;
    ASSERT_TRUE(PersonalityBackup::load(second.saved[0], backup));
    EXPECT_EQ(toUtf8(RadioInfo::modelText(backup.model).value_or(L"")), "RQX770HJNWA");
    ConvertPlan plan;
    WorkflowOutcome outcome;
    EXPECT_TRUE(planRecovery(Configuration::instance(), backup, plan, outcome))
        << toUtf8(outcome.text());
}

using RecoveryWorkflowSharedTest = WorkflowTest;

TEST_F(RecoveryWorkflowSharedTest, AsksAndRefusesABackupOfAnotherRadioOrCodeplug) {
    SimRig source;
    ScriptedFrontEnd converting(source.radio);
    converting.answers = {true};
    ASSERT_TRUE(convert(source, converting, true).converted());
    ASSERT_EQ(converting.saved.size(), 1u);
    PersonalityBackup backup;
    ASSERT_TRUE(PersonalityBackup::load(converting.saved[0], backup));

    struct Case {
        const char* name;
        std::function<void(SimD2xx::Options&)> arrange;
        bool answer;
        WorkflowEnd::Kind kind;
        int stringId;
    };
    const Case cases[] = {
        {"another radio", [](SimD2xx::Options& o) { o.radio.serial = "752TRX4F22"; }, true,
         WorkflowEnd::Kind::Refused, kStrRecoveryOtherRadio},
        {"another codeplug version",
         [](SimD2xx::Options& o) {
             o.radio.codeplug = SimVersion{{'R', 1, 2, 0}};
         },
         true, WorkflowEnd::Kind::Refused, kStrBackupOtherCodeplug},
        {"the question declined", [](SimD2xx::Options&) {}, false, WorkflowEnd::Kind::Declined,
         kStrNone},
        {"the question accepted", [](SimD2xx::Options&) {}, true, WorkflowEnd::Kind::Converted,
         kStrPersonalityRestored},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimD2xx::Options options = SimRig::defaultOptions();
        c.arrange(options);
        SimRig rig(options);
        rig.requests.clear();
        ScriptedFrontEnd frontEnd(rig.radio);
        frontEnd.answers = {c.answer};
        RecoveryWorkflow workflow(Configuration::instance(), rig.radio, record(), frontEnd);
        const WorkflowEnd end = workflow.run(backup, converting.saved[0], {}, true, kProgressEnd);
        EXPECT_EQ(end.kind, c.kind) << toUtf8(end.outcome.text());
        EXPECT_EQ(end.outcome.stringId, c.stringId);
        EXPECT_EQ(rig.count(kFlashOpcode) > 0, c.kind == WorkflowEnd::Kind::Converted);
    }
}

}  // namespace
}  // namespace plugshift::test
