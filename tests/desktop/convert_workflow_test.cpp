// The Convert workflow against a fake view, the simulated radio and the sample installation: the
// question, keeping the personality, the refusals, the failures with their err.log summary and the
// recovery offer, radio after radio through one window and one console session.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "desktop/console_message.h"
#include "desktop/main_window_presenter.h"
#include "desktop/message_box_style.h"
#include "desktop/string_table.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "formats/codeplug_image.h"
#include "formats/ftf_image.h"
#include "platform/system_files.h"
#include "presenter_fixture.h"
#include "sim/sim_d2xx.h"
#include "sim/sim_faults.h"
#include "tasks/radio_info.h"
#include "tasks/radio_manager.h"

namespace plugshift {
namespace {

namespace fs = std::filesystem;
using test::FakeView;
using View = MainWindowView;
using Box = MessageBoxStyle;
using Operation = MainWindowPresenter::Operation;
using Bytes = std::vector<uint8_t>;

const fs::path kSampleData = pathFromUtf8(PLUGSHIFT_SAMPLE_INSTALL_DIR "/data");
constexpr const char* kConverted = "RQX770HJNWE";

std::wstring text(int id) {
    return StringTable::text(id);
}

std::wstring confirmation() {
    return StringTable::format(str::kConfirmConvert, StringTable::band());
}

// The model number as the radio reports it now.
std::string modelOf(const SimRadio& radio) {
    return toUtf8(RadioInfo::modelText(radio.model()).value_or(L""));
}

std::string withoutStamps(const std::string& log) {
    static const std::regex stamp(R"(\[ \d\d-\d\d \d\d:\d\d:\d\d \] )");
    std::string plain = std::regex_replace(log, stamp, "");
    std::erase(plain, '\r');
    return plain;
}

// The two layouts of the sample: the old one's default block is 0xC000 bytes, the new one's
// 0x10000.
struct Side {
    const char* addressMap;
    const char* codeplug;
    SimVersion radioVersion;
    uint32_t capacity;
};
const Side kOldSide{"KMVADDR_A01.03.00.ftf", "RQX770HJNWE_DEF_R01.03.00.ftf",
                    SimVersion{{'R', 1, 3, 0}}, 0xC000};
const Side kNewSide{"KMVADDR_A01.02.00.ftf", "RQX770HJNWE_DEF_R01.02.00.ftf",
                    SimVersion{{'R', 1, 2, 0}}, 0x10000};

// The codeplug as its own address map lays it out, over the block's whole capacity.
Bytes expectedDefaultBlock(const Side& side) {
    CodeplugImage cpg;
    FtfImage image;
    const auto file = [](const char* name) { return fromUtf8(utf8FromPath(kSampleData / name)); };
    if (!loadFtf(file(side.addressMap).c_str(), image) ||
        !cpg.parseAddressMap(image.data.data(), image.length) ||
        !loadFtf(file(side.codeplug).c_str(), image) ||
        !cpg.parseCodeplug(image.data.data(), image.length)) {
        return {};
    }
    const CodeplugBlock& def = cpg.block(kBlockDef);
    return Bytes(def.data.begin(), def.data.begin() + def.capacity);
}

// A fresh radio of the side on the cable, with bytes in its default block that only a whole
// erase and program replace.
void nextRadio(SimD2xx& sim, const Side& side) {
    SimRadioConfig config;
    config.codeplug = side.radioVersion;
    sim.radio() = SimRadio(config);
    auto def = sim.radio().flash().block(SimBlock::Def);
    std::fill(def.begin() + 0x20, def.end(), 0xA5);
}

bool holdsItsCodeplug(SimD2xx& sim, const Side& side) {
    const auto def = sim.radio().flash().block(SimBlock::Def);
    const Bytes expected = expectedDefaultBlock(side);
    return expected.size() == side.capacity &&
           std::equal(expected.begin(), expected.end(), def.begin());
}

class ConvertWorkflowTest : public test::PresenterFixture {
protected:
    // A test may load a damaged copy of the installation; each starts from the sample.
    void SetUp() override {
        PresenterFixture::SetUp();
        ASSERT_TRUE(loadInstallation(kSampleData));
    }

    // Converts the radio on one cable, answering the question with Yes.
    MainWindowPresenter& convert(SimD2xx& sim, bool keep) {
        MainWindowPresenter& presenter = open(sim);
        cable(1);
        view_->keepPersonality = keep;
        view_->answers.push_front(Box::kIdYes);
        presenter.onCommand(View::kIdConvert);
        return presenter;
    }
    // The one backup's path as the log names it; empty while there is none.
    std::string backupPath() const {
        return backupCount() == 1 ? utf8FromPath(fs::directory_iterator(backupFolder())->path())
                                  : std::string();
    }
    void expectIdleAndClosed(const MainWindowPresenter& presenter) const {
        EXPECT_EQ(presenter.operation(), Operation::Idle);
        EXPECT_FALSE(manager_->radioInfo().isConnected());
        EXPECT_EQ(view_->waitCursor, 0);
    }
};

TEST_F(ConvertWorkflowTest, ConvertsWithAndWithoutThePersonality) {
    for (const bool keep : {true, false}) {
        SCOPED_TRACE(keep ? "keeping the personality" : "without the personality");
        useDataFolder(keep ? "keep" : "no-keep");
        SimD2xx sim;
        const Bytes userId = sim.radio().userPrivateId();
        MainWindowPresenter& presenter = convert(sim, keep);

        ASSERT_EQ(view_->boxes.size(), 2u);
        EXPECT_EQ(view_->boxes[0].text, confirmation());
        EXPECT_EQ(view_->boxes[0].style, Box::kYesNo | Box::kIconQuestion);
        EXPECT_EQ(view_->boxes[1].text, L"Convert successful.");
        EXPECT_EQ(view_->boxes[1].style, Box::kIconInformation);
        EXPECT_EQ(modelOf(sim.radio()), kConverted);
        // The display shows the radio as it is now.
        EXPECT_EQ(shownModel(), fromUtf8(kConverted));
        EXPECT_EQ(shown(View::UserPrivateId), keep ? L"1234567" : L"N/A");
        EXPECT_EQ(sim.radio().userPrivateId() == userId, keep);
        EXPECT_EQ(backupCount(), keep ? 1 : 0);
        EXPECT_TRUE(presenter.isResultShown());
        EXPECT_TRUE(view_->enabled[View::kIdKeepPersonality]);
        expectIdleAndClosed(presenter);
        // Only the backup, named the moment it was saved.
        EXPECT_EQ(withoutStamps(errLog()),
                  keep ? "The radio's personality is saved in [" + backupPath() + "].\n" : "");
    }
}

TEST_F(ConvertWorkflowTest, DecliningLeavesTheRadioAlone) {
    SimD2xx sim;
    MainWindowPresenter& presenter = open(sim);
    cable(1);
    view_->answers = {Box::kIdNo};
    presenter.onCommand(View::kIdConvert);
    EXPECT_EQ(view_->boxTexts(), std::vector<std::wstring>{confirmation()});
    EXPECT_EQ(modelOf(sim.radio()), "RQX770HJNWA");
    EXPECT_TRUE(view_->enabled[View::kIdConvert]);
    EXPECT_FALSE(presenter.isResultShown());
    expectIdleAndClosed(presenter);
}

// Radios the installation does not convert: the question, then the refusal; nothing is written.
TEST_F(ConvertWorkflowTest, RefusalsSayWhy) {
    struct Case {
        const char* name;
        const char* model;
        const char* codeplug;  // its first character replaces the version's letter
        std::wstring message;
        unsigned icon;
    };
    const Case cases[] = {
        {"already converted", kConverted, "R01.03.00", L"This radio is already in 916-928MHz.",
         Box::kIconInformation},
        {"codeplug not compatible", "RQX770HJNWA", "R01.05.00",
         L"The tool can't convert this radio due to codeplug version not compatible.",
         Box::kIconWarning},
        {"radio codeplug version invalid", "RQX770HJNWA", "#01.03.00", text(str::kFileMissing),
         Box::kIconError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimD2xx::Options options;
        options.radio.model = c.model;
        options.radio.codeplug = *SimVersion::parse(std::string("R") + (c.codeplug + 1));
        options.radio.codeplug.bytes[0] = uint8_t(c.codeplug[0]);
        SimD2xx sim(options);
        MainWindowPresenter& presenter = convert(sim, false);
        ASSERT_EQ(view_->boxes.size(), 2u);
        EXPECT_EQ(view_->boxes[1].text, c.message);
        EXPECT_EQ(view_->boxes[1].style, c.icon);
        EXPECT_EQ(modelOf(sim.radio()), c.model);
        EXPECT_EQ(backupCount(), 0);
        expectIdleAndClosed(presenter);
    }
}

// Flips the last byte of the installation's codeplug in a copy of it, and loads the copy.
void loadDamagedInstallation(const fs::path& copy) {
    fs::create_directories(copy);
    for (const auto& entry : fs::directory_iterator(kSampleData)) {
        if (entry.is_regular_file()) {
            fs::copy_file(entry.path(), copy / entry.path().filename());
        }
    }
    std::fstream codeplug(copy / "RQX770HJNWE_DEF_R01.03.00.ftf",
                          std::ios::in | std::ios::out | std::ios::binary);
    codeplug.seekg(-1, std::ios::end);
    const char last = char(codeplug.get());
    codeplug.seekp(-1, std::ios::end);
    codeplug.put(char(last ^ 0x5A));
    codeplug.close();
    ASSERT_TRUE(test::PresenterFixture::loadInstallation(copy));
}

// A damaged codeplug file is found before the radio or the record changes: 112, no backup, no
// offer, the radio as it was.
TEST_F(ConvertWorkflowTest, ADamagedCodeplugFileStopsBeforeTheRadioChanges) {
    useDataFolder("damaged");
    loadDamagedInstallation(data_ / "install");
    SimD2xx sim;
    const Bytes modelBefore = sim.radio().model();
    MainWindowPresenter& presenter = open(sim);
    cable(1);
    view_->keepPersonality = true;
    view_->answers = {Box::kIdYes};
    presenter.onCommand(View::kIdConvert);

    ASSERT_EQ(view_->boxes.size(), 2u);
    EXPECT_EQ(view_->boxes[1].text, text(str::kFileMissing));
    EXPECT_EQ(view_->boxes[1].style, Box::kIconError);
    EXPECT_EQ(backupCount(), 0);
    EXPECT_EQ(sim.radio().model(), modelBefore);
    EXPECT_NE(withoutStamps(errLog()).find("(0x013)"), std::string::npos);
    expectIdleAndClosed(presenter);
    ASSERT_TRUE(loadInstallation(kSampleData));
}

// A radio that fails after the erase gives 115, says the radio may be half-written, logs the
// summary and the backup, and offers to convert it again with the backup.
TEST_F(ConvertWorkflowTest, AFailedConversionLogsItsCausesAndOffersTheBackup) {
    for (const bool restore : {false, true}) {
        SCOPED_TRACE(restore ? "restored" : "restore declined");
        useDataFolder(restore ? "restored" : "declined");
        SimD2xx::Options options;
        options.faults = {SimFault{SimFaultKind::CorruptDefaultBlock, 0, 0}};
        SimD2xx sim(options);
        const Bytes userId = sim.radio().userPrivateId();
        MainWindowPresenter& presenter = open(sim);
        cable(1);
        view_->keepPersonality = true;
        view_->answers = {Box::kIdYes, restore ? Box::kIdYes : Box::kIdNo};
        // The recovery runs on a healthy radio.
        view_->whileBoxShown = [&](const FakeView::Box& box) {
            if (box.text == text(str::kOfferRestore)) {
                sim.faults().clear();
            }
        };
        presenter.onCommand(View::kIdConvert);

        ASSERT_EQ(view_->boxes.size(), 4u);
        EXPECT_EQ(view_->boxes[1].text, L"Convert failed.");
        EXPECT_EQ(view_->boxes[1].style, Box::kIconError);
        EXPECT_EQ(view_->boxes[2].text, text(str::kOfferRestore));
        EXPECT_EQ(view_->boxes[2].style, Box::kYesNo | Box::kIconQuestion);
        // Declined, the way back is said: the radio may be half-written, Convert finishes it.
        EXPECT_EQ(view_->boxes[3].text,
                  restore ? text(str::kPersonalityRestored) : text(kStrMayBeHalfWritten));
        ASSERT_EQ(backupCount(), 1);
        // The backup is named the moment it is saved, before the summary.
        const std::string saved = "The radio's personality is saved in [" + backupPath() + "].\n";
        const std::string whole = withoutStamps(errLog());
        ASSERT_TRUE(whole.starts_with(saved)) << whole;
        const std::string log = whole.substr(saved.size());
        EXPECT_TRUE(log.starts_with(
            "Update radio failed (Model:RQX770HJNWA,SN:752TRX4F21,Firmware:R02.10.05,"
            "Codeplug:R01.03.00,Restore:1), this's caused by:\nFinalize flashing data.\n"))
            << log;
        EXPECT_NE(log.find("Error:default block is corrupted (0x01c)."), std::string::npos) << log;
        // The trace of the failure is named right after the summary, then the backup again.
        std::smatch trace;
        ASSERT_TRUE(std::regex_search(
            log, trace,
            std::regex(
                R"(\n\nSBEP trace of this failure: ([^\n]+[/\\]log[/\\]sbep-trace-\d{8}-\d{6}\.txt)\n)")))
            << log;
        EXPECT_TRUE(fs::exists(pathFromUtf8(trace[1].str())));
        EXPECT_TRUE(trace.suffix().str().starts_with("The radio's personality was saved to [" +
                                                     backupPath() + "].\n"))
            << trace.suffix().str();
        if (restore) {
            EXPECT_EQ(sim.radio().userPrivateId(), userId);
            EXPECT_EQ(modelOf(sim.radio()), kConverted);
        }
        EXPECT_EQ(presenter.isResultShown(), restore);
        expectIdleAndClosed(presenter);
        EXPECT_EQ(ErrorChain::text(), L"OK");
    }
}

// After a failure the offered recovery converts the radio again with its backup's personality;
// another radio on the cable is refused and the offer stands.
TEST_F(ConvertWorkflowTest, TheOfferedRecoveryEndsConvertedWithThePersonality) {
    SimD2xx::Options options;
    options.faults = {SimFault{SimFaultKind::CorruptDefaultBlock, 0, 0}};
    SimD2xx sim(options);
    const Bytes userId = sim.radio().userPrivateId();
    const int contacts = sim.radio().contactCount();
    SimRadioConfig otherConfig;
    otherConfig.serial = "999ZZ99Z99";
    SimRadio owners;
    SimRadio other(otherConfig);
    int offers = 0;
    MainWindowPresenter& presenter = open(sim);
    cable(1);
    view_->keepPersonality = true;
    view_->answers = {Box::kIdYes, Box::kIdYes, Box::kIdYes};
    view_->whileBoxShown = [&](const FakeView::Box& box) {
        if (box.text != text(str::kOfferRestore)) {
            return;
        }
        // First another radio is on the cable, then the owner's, on a healthy link.
        sim.faults().clear();
        if (++offers == 1) {
            owners = sim.radio();
            sim.radio() = other;
        } else {
            other = sim.radio();
            sim.radio() = owners;
        }
    };
    presenter.onCommand(View::kIdConvert);

    const std::vector<std::wstring> expected = {
        confirmation(),           L"Convert failed.",
        text(str::kOfferRestore), StringTable::format(str::kRecoveryOtherRadio, L"752TRX4F21"),
        text(str::kOfferRestore), text(str::kPersonalityRestored)};
    EXPECT_EQ(view_->boxTexts(), expected);
    EXPECT_EQ(modelOf(other), "RQX770HJNWA");  // never touched
    EXPECT_EQ(other.mode(), SimRadio::Mode::Normal);
    EXPECT_EQ(modelOf(sim.radio()), kConverted);
    EXPECT_TRUE(holdsItsCodeplug(sim, kOldSide));
    EXPECT_EQ(sim.radio().userPrivateId(), userId);
    EXPECT_EQ(sim.radio().contactCount(), contacts);
    EXPECT_EQ(sim.radio().mode(), SimRadio::Mode::Normal);
    EXPECT_EQ(sim.radio().protectionMode(), SimRadio::lockMode(sim.radio().flashType()));
    EXPECT_EQ(shownModel(), fromUtf8(kConverted));
    EXPECT_EQ(backupCount(), 1);
    expectIdleAndClosed(presenter);
    EXPECT_EQ(ErrorChain::text(), L"OK");
}

// A personality backup the data folder does not take: the message names the folder instead of
// asking for a re-installation, and the radio is not touched.
TEST_F(ConvertWorkflowTest, ABackupFolderThatRefusesTheBackupIsNamed) {
    SimD2xx sim;
    const fs::path blocked = data_ / "occupied";
    std::ofstream(blocked).put('x');
    MainWindowPresenter& presenter = open(sim);
    presenter.setBackupFolder(blocked / "backup");
    cable(1);
    view_->keepPersonality = true;
    view_->answers = {Box::kIdYes};
    presenter.onCommand(View::kIdConvert);
    ASSERT_EQ(view_->boxes.size(), 2u);
    EXPECT_EQ(
        view_->boxes[1].text,
        StringTable::format(str::kBackupNotSaved, fromUtf8(utf8FromPath(blocked / "backup"))));
    EXPECT_EQ(modelOf(sim.radio()), "RQX770HJNWA");
    expectIdleAndClosed(presenter);
}

// A contact that names none of the four groups is the owner's too: it is kept, and the success
// comes without warnings.
TEST_F(ConvertWorkflowTest, AContactOfNoGroupIsKeptWithoutWarnings) {
    SimD2xx sim;
    sim.radio().flash().block(SimBlock::Con)[3 * SimRadio::kContactSize + 7] = 5;
    convert(sim, true);
    EXPECT_EQ(view_->boxTexts(),
              (std::vector<std::wstring>{confirmation(), L"Convert successful."}));
    EXPECT_EQ(errLog().find("succeeded with warnings"), std::string::npos) << errLog();
    EXPECT_EQ(sim.radio().contactCount(), 12);
    EXPECT_EQ(ErrorChain::text(), L"OK");
}

// A radio whose last conversion failed after its dynamic block was erased reads as converted: the
// window asks to finish it from there with the backup's personality; No leaves it.
TEST_F(ConvertWorkflowTest, AnUnfinishedConversionIsOfferedItsFinish) {
    const std::wstring question = text(kStrFinishWithBackup);
    const std::wstring questionStart = question.substr(0, question.find(L"%s"));
    for (const bool finish : {true, false}) {
        SCOPED_TRACE(finish ? "finished" : "declined");
        useDataFolder(finish ? "finish" : "finish-declined");
        SimD2xx::Options options;
        options.faults = {SimFault{SimFaultKind::CorruptDefaultBlock, 0, 0}};
        SimD2xx sim(options);
        const Bytes userId = sim.radio().userPrivateId();
        MainWindowPresenter& presenter = open(sim);
        cable(1);
        view_->keepPersonality = true;
        view_->answers = {Box::kIdYes, Box::kIdNo};  // converts, then declines the recovery
        presenter.onCommand(View::kIdConvert);
        ASSERT_EQ(view_->boxes.size(), 4u);
        ASSERT_NE(sim.radio().userPrivateId(), userId);

        sim.faults().clear();
        view_->boxes.clear();
        view_->keepPersonality = false;
        view_->answers = {finish ? Box::kIdYes : Box::kIdNo};
        presenter.onCommand(View::kIdConvert);
        ASSERT_FALSE(view_->boxes.empty());
        EXPECT_TRUE(view_->boxes[0].text.starts_with(questionStart))
            << toUtf8(view_->boxes[0].text);
        EXPECT_EQ(view_->boxes[0].style, Box::kYesNo | Box::kIconQuestion);
        if (finish) {
            ASSERT_EQ(view_->boxes.size(), 2u);
            EXPECT_EQ(view_->boxes[1].text, text(str::kPersonalityRestored));
            EXPECT_EQ(modelOf(sim.radio()), kConverted);
            EXPECT_EQ(sim.radio().userPrivateId(), userId);
            EXPECT_TRUE(holdsItsCodeplug(sim, kOldSide));
            EXPECT_EQ(shownModel(), fromUtf8(kConverted));
        } else {
            EXPECT_EQ(view_->boxes.size(), 1u);
            EXPECT_NE(sim.radio().userPrivateId(), userId);
        }
        expectIdleAndClosed(presenter);
    }
}

// An old-layout radio and then a new-layout one through one window: the second must get its whole
// default block, not the part the first one's address map left in the block table.
TEST_F(ConvertWorkflowTest, RadioAfterRadioInOneWindow) {
    SimD2xx sim;
    MainWindowPresenter& presenter = open(sim);
    cable(1);
    for (const Side& side : {kOldSide, kNewSide}) {
        SCOPED_TRACE(side.addressMap);
        nextRadio(sim, side);
        view_->boxes.clear();
        view_->answers = {Box::kIdYes};
        presenter.onCommand(View::kIdConvert);
        EXPECT_EQ(view_->boxTexts(),
                  (std::vector<std::wstring>{confirmation(), L"Convert successful."}));
        EXPECT_EQ(modelOf(sim.radio()), kConverted);
        EXPECT_TRUE(holdsItsCodeplug(sim, side));
    }
}

// The same through one console session in test mode, as a test station runs it: nothing asked,
// nothing shown, every success reported.
TEST_F(ConvertWorkflowTest, RadioAfterRadioInOneConsoleSession) {
    SimD2xx sim;
    MainWindowPresenter& presenter = open(sim);
    cable(1);
    presenter.setTestMode(true);
    view_->boxes.clear();
    for (const Side& side : {kOldSide, kNewSide}) {
        SCOPED_TRACE(side.addressMap);
        nextRadio(sim, side);
        EXPECT_EQ(
            presenter.consoleRequest({ConsoleMessage::kStart, 77, ConsoleMessage::kRequestValue}),
            ConsoleMessage::kStarted);
        view_->runPending();
        EXPECT_EQ(presenter.operation(), Operation::Idle);
        EXPECT_TRUE(holdsItsCodeplug(sim, side));
    }
    EXPECT_TRUE(view_->boxes.empty());
    const ConsoleMessage success{ConsoleMessage::kEnd, ConsoleMessage::kReplyValue,
                                 ConsoleMessage::kEndSuccess};
    EXPECT_EQ(consoles_.posts, (std::vector<ConsoleMessage>{success, success}));
}

}  // namespace
}  // namespace plugshift
