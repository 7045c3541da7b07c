// convert, set-serial, restore-personality and info end to end: the commands' own functions with
// the simulated radio (kept in a temporary data folder between commands, as --simulate keeps it)
// and the sample installation, and once over kmv-sim's pseudo-terminal.

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cable/cable_backend.h"
#include "cli/console_prompt.h"
#include "cli/convert_command.h"
#include "cli/exit_codes.h"
#include "cli/history_command.h"
#include "cli/info_command.h"
#include "cli/radio_session.h"
#include "cli/restore_command.h"
#include "cli/set_serial_command.h"
#include "config/config_file_codec.h"
#include "config/configuration.h"
#include "conversion/conversion_record.h"
#include "conversion/workflow_strings.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "formats/codeplug_image.h"
#include "formats/ftf_image.h"
#include "kmv_sim_process.h"
#include "sim/sim_radio.h"
#include "sim/sim_state.h"
#include "tasks/radio_info.h"

namespace plugshift {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kSampleInstall = PLUGSHIFT_SAMPLE_INSTALL_DIR;
constexpr const char* kSampleSetup = PLUGSHIFT_SAMPLE_DATA_DIR "/data/setup.dat";
constexpr const char* kDealerPassword = "2468";  // the sample setup file's

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// What a fresh simulated radio shows, and what it shows after a conversion.
struct Identity {
    std::string model;
    std::string serial;
    std::string codeplug;
    std::string userId;  // empty: none
    int contacts = 0;
};

Identity identityOf(const SimRadio& radio) {
    const std::vector<uint8_t> serial = radio.serial();
    return Identity{toUtf8(RadioInfo::modelText(radio.model()).value_or(L"")),
                    std::string(serial.begin(), serial.end()), radio.codeplugVersion().text(),
                    toUtf8(RadioInfo::userPrivateIdText(radio.userPrivateId()).value_or(L"")),
                    radio.contactCount()};
}

// One data folder (setup.dat of the sample, err.log, backups, the simulated radio) for a test.
class RadioCommandsTest : public ::testing::Test {
protected:
    RadioCommandsTest() {
        static std::atomic<int> counter{0};
        dataDir_ = fs::temp_directory_path() /
                   ("cli-radio-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(dataDir_);
        fs::create_directories(dataDir_ / "data");
        fs::copy_file(kSampleSetup, dataDir_ / "data" / "setup.dat");
    }
    ~RadioCommandsTest() override {
        ErrorLog::reset();
        ErrorChain::remove(kErrorOk);
        Configuration::instance().reset();
        std::error_code ignored;
        fs::remove_all(dataDir_, ignored);
    }

    static BackendOptions simulated() {
        BackendOptions backend;
        backend.simulate = true;
        return backend;
    }

    InstallOptions install() const { return {installDir_.string(), dataDir_.string()}; }

    ConvertOptions convertOptions() const {
        ConvertOptions options;
        options.backend.simulate = true;
        options.install = install();
        options.yes = true;
        options.keepPersonality = true;
        return options;
    }

    template <class Options, class Runner>
    CommandResult runCommand(const Options& options, Runner runner, const std::string& input = "",
                             bool interactive = false) {
        std::istringstream in(input);
        std::ostringstream out;
        std::ostringstream err;
        ConsolePrompt prompt(in, err, interactive);
        CommandIo io{in, out, err, prompt, false};
        CommandResult run;
        run.exitCode = runner(options, io);
        run.out = out.str();
        run.err = err.str();
        return run;
    }

    CommandResult convert(const ConvertOptions& options, const std::string& input = "",
                          bool interactive = false) {
        return runCommand(options, runConvert, input, interactive);
    }

    // `info --simulate` (or over the backend given) with this data folder.
    CommandResult info(BackendOptions backend = simulated(), bool json = false) {
        std::ostringstream out;
        std::ostringstream err;
        const InstallPaths paths = InstallPaths::resolve(install());
        std::wstring problem;
        EXPECT_TRUE(loadInstallation(paths, problem)) << toUtf8(problem);
        std::string error;
        auto cable = CableBackend::open(backend, dataDir_, error);
        EXPECT_TRUE(cable) << error;
        CommandResult run;
        run.exitCode = showRadioInfo(cable->driver(), &Configuration::instance(), L"",
                                     {out, err, json, dataDir_});
        EXPECT_TRUE(cable->save(error)) << error;
        run.out = out.str();
        run.err = err.str();
        return run;
    }

    // The simulated radio as the last command left it.
    Identity radio() const {
        SimRadio radio;
        std::string error;
        EXPECT_TRUE(
            SimState::load(radio, CableBackend::simulatorStatePath(dataDir_).string(), error))
            << error;
        return identityOf(radio);
    }

    std::string errLog() const {
        std::ifstream in(dataDir_ / "log" / "err.log");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::vector<fs::path> backups() const {
        std::vector<fs::path> files;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dataDir_ / "backup", ec)) {
            files.push_back(entry.path());
        }
        return files;
    }

    fs::path installDir_ = kSampleInstall;
    fs::path dataDir_;
};

const Identity kFresh{"RQX770HJNWA", "752TRX4F21", "R01.03.00", "1234567", 12};

TEST_F(RadioCommandsTest, InfoConvertInfoShowsTheConvertedRadioWithItsPersonality) {
    const CommandResult before = info();
    EXPECT_EQ(before.exitCode, kExitOk) << before.err;
    EXPECT_THAT(before.out, HasSubstr("Model:            RQX770HJNWA\n"));

    const CommandResult run = convert(convertOptions());
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Before the conversion:\n"));
    EXPECT_THAT(run.out, HasSubstr("After the conversion:\n"));
    EXPECT_THAT(run.out, HasSubstr("Convert successful.\n"));
    // Progress as plain lines on a pipe, up to the end.
    EXPECT_THAT(run.err, HasSubstr("Update default block."));
    EXPECT_THAT(run.err, HasSubstr("100%"));
    EXPECT_EQ(radio().model, "RQX770HJNWE");
    EXPECT_EQ(radio().userId, kFresh.userId);
    EXPECT_EQ(radio().contacts, kFresh.contacts);
    EXPECT_EQ(radio().serial, kFresh.serial);
    EXPECT_EQ(backups().size(), 1u);

    const CommandResult after = info();
    EXPECT_EQ(after.exitCode, kExitOk) << after.err;
    EXPECT_THAT(after.out, HasSubstr("Model:            RQX770HJNWE\n"));
    EXPECT_THAT(after.out, HasSubstr("User private ID:  1234567\n"));

    const CommandResult again = convert(convertOptions());
    EXPECT_EQ(again.exitCode, kExitAlreadyConverted);
    EXPECT_THAT(again.err, HasSubstr("This radio is already in 916-928MHz.\n"));
}

TEST_F(RadioCommandsTest, WithoutThePersonalityTheOwnersDataAreGone) {
    ConvertOptions options = convertOptions();
    options.keepPersonality = false;
    const CommandResult run = convert(options);
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    EXPECT_EQ(radio().model, "RQX770HJNWE");
    EXPECT_EQ(radio().userId, "");
    EXPECT_EQ(radio().contacts, 0);
    EXPECT_THAT(run.out, HasSubstr("User private ID:  N/A\n"));
}

TEST_F(RadioCommandsTest, ConfirmationDecidesWhetherTheRadioIsTouched) {
    struct Case {
        bool yes;
        bool interactive;
        std::string answer;
        int exitCode;
        std::string model;
    };
    const Case cases[] = {
        {false, false, "y\n", kExitRefused, "RQX770HJNWA"},  // no terminal: nobody can confirm
        {false, true, "n\n", kExitRefused, "RQX770HJNWA"},
        {false, true, "", kExitRefused, "RQX770HJNWA"},
        {false, true, "yes\n", kExitOk, "RQX770HJNWE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        fs::remove(CableBackend::simulatorStatePath(dataDir_));
        ConvertOptions options = convertOptions();
        options.yes = c.yes;
        const CommandResult run = convert(options, c.answer, c.interactive);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_EQ(radio().model, c.model);
        if (c.interactive) {
            EXPECT_THAT(run.err,
                        HasSubstr("This will program the radio to 916-928MHz. Please do not remove "
                                  "the USB cable, the radio from the Single Unit Charger, or "
                                  "turn-off radio during the programming process since this can "
                                  "damage or corrupt the radio software.\n\nDo you want to "
                                  "continue? [y/N] "));
        }
    }
}

TEST_F(RadioCommandsTest, CableInTheWrongModeAsksForTheDigitalMode) {
    ConvertOptions options = convertOptions();
    options.backend.simCable = "echo";
    const CommandResult run = convert(options);
    EXPECT_EQ(run.exitCode, kExitCableWrongMode);
    EXPECT_THAT(run.err, HasSubstr("Please toggle the USB cable to DIGITAL (Flash) mode then click "
                                   "OK.  After clicking OK, click the \"Convert\" button to retry "
                                   "the process. \n"));
    EXPECT_EQ(radio().model, kFresh.model);
}

// The records the command printed indented (root cause first; progress lines start with their
// percent) as ErrorChain::text wrote them to the log.
std::string chainAsLogged(const std::string& err) {
    std::vector<std::string> records;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() > 2 && line.rfind("  ", 0) == 0 && line[2] != ' ' &&
            !std::isdigit(static_cast<unsigned char>(line[2]))) {
            records.push_back(line.substr(2));
        }
    }
    std::string text;
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        text += *it + "\n";
    }
    return text;
}

std::string withoutStamps(const std::string& log) {
    return std::regex_replace(log, std::regex(R"(\[ \d\d-\d\d \d\d:\d\d:\d\d \] )"), "");
}

TEST_F(RadioCommandsTest, DamagedCodeplugFileIsAFileProblemWithTheSummaryLogged) {
    // The installation's codeplug of the radio's side with its last byte changed: the catalogue
    // reads only headers, so the damage shows when the conversion loads the file, before the
    // radio, its backup or the record change.
    const fs::path copy = dataDir_ / "install";
    fs::create_directories(copy);
    fs::copy(installDir_ / "data", copy / "data");
    const fs::path codeplug = copy / "data" / "RQX770HJNWE_DEF_R01.03.00.ftf";
    {
        std::fstream file(codeplug, std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(-1, std::ios::end);
        const char last = static_cast<char>(file.get());
        file.seekp(-1, std::ios::end);
        file.put(static_cast<char>(last ^ 0x5A));
    }
    installDir_ = copy;

    const CommandResult run = convert(convertOptions());
    EXPECT_EQ(run.exitCode, kExitFileProblem);
    EXPECT_THAT(run.err, HasSubstr("A file needed for application could not be found or is "
                                   "corrupted. Please re-install the application.\nIf you "
                                   "continue to get this message, please contact Customer "
                                   "Service.\n"));
    EXPECT_THAT(run.err, HasSubstr("(0x013)"));
    const std::string expected =
        "Update radio failed (Model:RQX770HJNWA,SN:752TRX4F21,Firmware:R02.10.05,"
        "Codeplug:R01.03.00,Restore:1), this's caused by:\n" +
        chainAsLogged(run.err) + "\n";
    EXPECT_THAT(chainAsLogged(run.err), HasSubstr("Finalize flashing data.\n"));
    const std::string log = withoutStamps(errLog());
    EXPECT_EQ(log.substr(0, expected.size()), expected);
    EXPECT_TRUE(backups().empty());
    EXPECT_FALSE(fs::exists(dataDir_ / ConversionRecord::kFileName));
    // Nothing was erased, so the radio has no unfinished conversion.
    EXPECT_EQ(info().exitCode, kExitOk);
}

TEST_F(RadioCommandsTest, RadioFailureAfterTheEraseLeavesABackupThatRestoresThePersonality) {
    ConvertOptions options = convertOptions();
    options.backend.simFaults = {"corrupt-default"};
    const CommandResult run = convert(options);
    EXPECT_EQ(run.exitCode, kExitRadioFailed);
    EXPECT_THAT(run.err, HasSubstr("Error:default block is corrupted (0x01c).\n"));
    EXPECT_THAT(run.err, HasSubstr("Convert failed.\n"));
    ASSERT_EQ(backups().size(), 1u);
    const fs::path backup = backups().front();
    EXPECT_THAT(run.err, HasSubstr(backup.string()));
    EXPECT_THAT(errLog(), HasSubstr("Restore:1), this's caused by:\n"));
    EXPECT_THAT(errLog(), HasSubstr(backup.string()));
    EXPECT_NE(radio().userId, kFresh.userId);  // the dynamic block was erased before the failure

    RestoreOptions restore;
    restore.backupFile = backup.string();
    restore.backend.simulate = true;
    restore.install = install();
    const CommandResult asked = runCommand(restore, runRestore);
    EXPECT_EQ(asked.exitCode, kExitRefused);  // it replaces the radio's own: asked first
    EXPECT_THAT(asked.err, HasSubstr("Do you want to continue?"));
    restore.yes = true;
    const CommandResult restored = runCommand(restore, runRestore);
    EXPECT_EQ(restored.exitCode, kExitOk) << restored.err;
    EXPECT_THAT(restored.out, HasSubstr("User private ID:  1234567\n"));
    EXPECT_THAT(restored.out, HasSubstr(toUtf8(workflowText(kStrPersonalityRestored))));
    // Nothing new was saved: the backup named is the one written back.
    EXPECT_THAT(restored.out, HasSubstr("The personality written back is the backup "));
    EXPECT_THAT(restored.out, Not(HasSubstr("personality was saved to")));
    EXPECT_EQ(radio().model, "RQX770HJNWE");
    EXPECT_EQ(radio().userId, kFresh.userId);
    EXPECT_EQ(radio().contacts, kFresh.contacts);
}

// A conversion the radio failed after the erase, or one the tool never saw end (killed, power
// lost: its record has no close), is named by info and convert and finished by convert --yes.
// A sector that never erases leaves the radio half-written: its identity no longer says what it
// is, so the finish is planned from what the record saw before.
TEST_F(RadioCommandsTest, AnUnfinishedConversionIsSaidAndConvertYesFinishesIt) {
    struct Case {
        const char* name;
        bool keepPersonality;
        bool killed;  // the close of the failed run is taken off the record
    };
    for (const Case& c : {Case{"backup", true, false}, Case{"no backup, killed", false, true}}) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dataDir_ / "backup");
        fs::remove(dataDir_ / ConversionRecord::kFileName);
        fs::remove(CableBackend::simulatorStatePath(dataDir_));
        ConvertOptions options = convertOptions();
        options.keepPersonality = c.keepPersonality;
        options.backend.simFaults = {"fail-erase:0x86000"};
        const CommandResult failed = convert(options);
        ASSERT_EQ(failed.exitCode, kExitRadioFailed);
        EXPECT_THAT(failed.err, HasSubstr("the radio may be half-written"));
        EXPECT_THAT(failed.err, HasSubstr("plugshift-cli convert --yes --simulate --data-dir "));
        EXPECT_EQ(backups().size(), c.keepPersonality ? 1u : 0u);
        if (c.keepPersonality) {
            // Named the moment it was saved, before the erase's progress went on.
            EXPECT_LT(failed.err.find("personality was saved to"),
                      failed.err.find("Update default block."));
        }
        if (c.killed) {
            // Its open and erase lines stay; the close never came.
            std::ifstream in(dataDir_ / ConversionRecord::kFileName);
            std::string kept;
            for (std::string line; std::getline(in, line);) {
                if (line.find("\"entry\":\"close\"") == std::string::npos) {
                    kept += line + "\n";
                }
            }
            in.close();
            std::ofstream(dataDir_ / ConversionRecord::kFileName, std::ios::trunc) << kept;
        }

        const CommandResult said = info();
        EXPECT_EQ(said.exitCode, kInfoUnfinishedConversion) << said.err;
        EXPECT_THAT(said.out, HasSubstr("Unfinished conversion: "));
        EXPECT_THAT(said.err, HasSubstr("did not end"));
        const CommandResult json = info(simulated(), true);
        EXPECT_THAT(json.out, HasSubstr("\"unfinishedConversion\": \""));

        options.backend.simFaults.clear();
        options.yes = false;
        const CommandResult refused = convert(options);
        EXPECT_EQ(refused.exitCode, kExitRefused);
        EXPECT_THAT(refused.err, HasSubstr("The last conversion of this radio (started "));
        EXPECT_THAT(refused.err, HasSubstr("it must be confirmed on a terminal, or with --yes"));

        options.yes = true;
        const CommandResult finished = convert(options);
        ASSERT_EQ(finished.exitCode, kExitOk) << finished.err;
        EXPECT_EQ(radio().model, "RQX770HJNWE");
        EXPECT_EQ(radio().serial, kFresh.serial);
        if (c.keepPersonality) {
            EXPECT_EQ(radio().userId, kFresh.userId);
            EXPECT_EQ(radio().contacts, kFresh.contacts);
        }
        const CommandResult after = info();
        EXPECT_EQ(after.exitCode, kExitOk) << after.err;
        EXPECT_THAT(after.out, Not(HasSubstr("Unfinished")));

        std::ostringstream out;
        std::ostringstream err;
        ASSERT_EQ(showHistory(dataDir_, false, out, err), kExitOk);
        EXPECT_THAT(out.str(), HasSubstr("Conversions: 2\n"));
        EXPECT_THAT(out.str(), HasSubstr(c.killed ? "  open\n" : "  failed "));
        EXPECT_THAT(out.str(), HasSubstr("  converted "));
        EXPECT_THAT(out.str(), HasSubstr("    finishes "));
    }
}

// The ways a conversion that did not end is taken up again, each ending with the radio right or
// untouched and never with an owner's data lost or replaced by an older copy.
class FinishStoriesTest : public RadioCommandsTest {
protected:
    // Leaves the simulated radio with its first `count` contacts, as an owner who changed them.
    void keepContacts(int count) {
        SimRadio radio;
        std::string error;
        const std::string state = CableBackend::simulatorStatePath(dataDir_).string();
        ASSERT_TRUE(SimState::load(radio, state, error)) << error;
        std::vector<std::vector<uint8_t>> contacts;
        for (int i = 0; i < count; ++i) {
            contacts.push_back(radio.contact(i));
        }
        ASSERT_TRUE(radio.setContacts(contacts));
        ASSERT_TRUE(SimState::save(radio, state, error)) << error;
    }
    CommandResult convertWith(std::vector<std::string> faults, bool keep) {
        ConvertOptions options = convertOptions();
        options.backend.simFaults = std::move(faults);
        options.keepPersonality = keep;
        return convert(options);
    }
    void rewriteRecord(const std::string& from, const std::string& to) {
        std::ifstream in(dataDir_ / ConversionRecord::kFileName);
        std::stringstream text;
        text << in.rdbuf();
        in.close();
        std::string content = text.str();
        for (size_t at = 0; (at = content.find(from, at)) != std::string::npos; at += to.size()) {
            content.replace(at, from.size(), to);
        }
        std::ofstream(dataDir_ / ConversionRecord::kFileName, std::ios::trunc) << content;
    }
};

// Protection mode refused: nothing erased. The owner then keeps 9 of the 12 contacts; the next
// conversion is a conversion of today's radio, with a new backup of today's personality.
TEST_F(FinishStoriesTest, ARunThatErasedNothingIsFollowedByAPlainConversionOfTodaysRadio) {
    const CommandResult failed = convertWith({"refuse:0x72/8"}, true);
    ASSERT_EQ(failed.exitCode, kExitRadioFailed) << failed.err;
    EXPECT_THAT(failed.err, Not(HasSubstr("half-written")));
    EXPECT_EQ(info().exitCode, kExitOk);
    keepContacts(9);

    const CommandResult run = convertWith({}, true);
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Convert successful."));
    EXPECT_EQ(radio().model, "RQX770HJNWE");
    EXPECT_EQ(radio().contacts, 9);
    EXPECT_EQ(backups().size(), 2u);
}

// A half-written radio whose run kept nothing is finished with today's choice: asked to keep the
// personality, it reads what the radio still holds (its dynamic block is erased last).
TEST_F(FinishStoriesTest, AFinishWithoutABackupKeepsThePersonalityWhenAskedToday) {
    ASSERT_EQ(convertWith({"fail-erase:0x86000"}, false).exitCode, kExitRadioFailed);
    EXPECT_EQ(info().exitCode, kInfoUnfinishedConversion);
    EXPECT_TRUE(backups().empty());

    const CommandResult run = convertWith({}, true);
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    EXPECT_EQ(radio().model, "RQX770HJNWE");
    EXPECT_EQ(radio().userId, kFresh.userId);
    EXPECT_EQ(radio().contacts, kFresh.contacts);
    EXPECT_EQ(backups().size(), 1u);
}

// A record is data: one naming files the installation does not give for the radio (by what they
// are, wherever they lie) is refused and the radio is left as it is.
TEST_F(FinishStoriesTest, ARecordNamingOtherFilesIsRefused) {
    ASSERT_EQ(convertWith({"fail-erase:0x86000"}, true).exitCode, kExitRadioFailed);
    rewriteRecord(" md5:", " md5:0");
    const std::string modelBefore = radio().model;

    const CommandResult run = convertWith({}, true);
    EXPECT_EQ(run.exitCode, kExitFileProblem) << run.err;
    EXPECT_THAT(run.err, HasSubstr("names files that are not this installation's"));
    EXPECT_EQ(radio().model, modelBefore);
    EXPECT_EQ(info().exitCode, kInfoUnfinishedConversion);
}

// A finish that fails before it erases leaves the conversion unfinished, with the first run's
// backup still named; the next finish reads the owner's data from the radio, where it still is
// (the default block was cut short before the dynamic block's erase).
TEST_F(FinishStoriesTest, AFailedFinishLeavesItUnfinishedForTheNext) {
    ASSERT_EQ(convertWith({"fail-erase:0x86000"}, true).exitCode, kExitRadioFailed);
    ASSERT_EQ(backups().size(), 1u);
    const fs::path firstBackup = backups().front();

    const CommandResult refused = convertWith({"refuse:0x72/8"}, true);
    EXPECT_EQ(refused.exitCode, kExitRadioFailed) << refused.err;
    const CommandResult said = info();
    EXPECT_EQ(said.exitCode, kInfoUnfinishedConversion) << said.err;
    EXPECT_THAT(said.err, HasSubstr(firstBackup.string()));

    const CommandResult finished = convertWith({}, false);
    ASSERT_EQ(finished.exitCode, kExitOk) << finished.err;
    EXPECT_THAT(finished.out, HasSubstr("Convert successful."));
    EXPECT_EQ(radio().model, "RQX770HJNWE");
    EXPECT_EQ(radio().userId, kFresh.userId);
    EXPECT_EQ(radio().contacts, kFresh.contacts);
    EXPECT_TRUE(fs::exists(firstBackup));
}

// The run stopped after its dynamic block's erase and its backup is gone: exit 7 with what
// finishing without it loses; the option that names the loss finishes it.
TEST_F(FinishStoriesTest, ALostBackupIsGivenUpOnlyOnPurpose) {
    ASSERT_EQ(convertWith({"refuse:0x72/6"}, true).exitCode, kExitRadioFailed);
    fs::remove(backups().at(0));

    const CommandResult refused = convertWith({}, true);
    EXPECT_EQ(refused.exitCode, kExitFileProblem) << refused.err;
    EXPECT_THAT(refused.err, HasSubstr("user information and contacts saved in it"));
    EXPECT_THAT(refused.err, HasSubstr("--finish-without-backup"));
    EXPECT_THAT(errLog(), HasSubstr("cannot be used"));

    ConvertOptions options = convertOptions();
    options.withoutBackup = true;
    const CommandResult finished = convert(options);
    ASSERT_EQ(finished.exitCode, kExitOk) << finished.err;
    EXPECT_EQ(radio().model, "RQX770HJNWE");
}

// A new serial number would part a half-written radio from its record and backup: refused, with
// the way back named, and the radio keeps its number.
TEST_F(FinishStoriesTest, ASerialNumberUpdateWaitsForTheConversionToBeFinished) {
    ASSERT_EQ(convertWith({"fail-erase:0x86000"}, true).exitCode, kExitRadioFailed);
    SetSerialOptions serial;
    serial.newSerial = "123ABC4D56";
    serial.passwordFromStdin = true;
    serial.backend.simulate = true;
    serial.install = install();
    const CommandResult refused =
        runCommand(serial, runSetSerial, std::string(kDealerPassword) + "\n");
    EXPECT_EQ(refused.exitCode, kExitRefused) << refused.err;
    EXPECT_THAT(refused.err, HasSubstr("Please finish it first"));
    EXPECT_EQ(radio().serial, kFresh.serial);
}

// A radio that goes silent half-way is said first, then the way back with this run's options.
TEST_F(FinishStoriesTest, ARadioThatStopsAnsweringIsSaidWithTheWayBack) {
    const CommandResult run = convertWith({"drop:0x72/1@0x88000"}, true);
    EXPECT_EQ(run.exitCode, kExitRadioFailed);
    EXPECT_THAT(run.err, HasSubstr("The radio stopped answering."));
    EXPECT_LT(run.err.find("The radio stopped answering."), run.err.find("Convert failed."));
    EXPECT_THAT(run.err, HasSubstr("plugshift-cli convert --yes --simulate --data-dir "));
    EXPECT_THAT(run.err, HasSubstr(" --install-dir "));
}

// Stopped before the first erase: said as a stop that left the radio unchanged.
TEST_F(FinishStoriesTest, AStopBeforeTheEraseSaysTheRadioIsUnchanged) {
    std::atomic<bool> stop{true};
    ConvertOptions options = convertOptions();
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    ConsolePrompt prompt(in, err, false);
    CommandIo io{in, out, err, prompt, false, &stop};
    EXPECT_NE(runConvert(options, io), kExitOk);
    EXPECT_THAT(err.str(), HasSubstr("stopped at your request before anything in the radio was "
                                     "erased; the radio is unchanged"));
    EXPECT_THAT(err.str(), Not(HasSubstr("half-written")));
    EXPECT_EQ(radio().model, kFresh.model);
}

// The dealer's books: every conversion and serial-number update of the data folder.
TEST_F(RadioCommandsTest, HistoryListsConversionsAndSerialUpdatesAsTextAndJson) {
    ASSERT_EQ(convert(convertOptions()).exitCode, kExitOk);
    SetSerialOptions serial;
    serial.newSerial = "123ABC4D56";
    serial.passwordFromStdin = true;
    serial.backend.simulate = true;
    serial.install = install();
    ASSERT_EQ(runCommand(serial, runSetSerial, std::string(kDealerPassword) + "\n").exitCode,
              kExitOk);

    std::ostringstream text;
    std::ostringstream err;
    ASSERT_EQ(showHistory(dataDir_, false, text, err), kExitOk) << err.str();
    EXPECT_THAT(text.str(), HasSubstr("Conversions: 1\n"));
    EXPECT_THAT(text.str(), HasSubstr("SN 752TRX4F21  RQX770HJNWA R01.03.00  converted "));
    EXPECT_THAT(text.str(), HasSubstr("    backup " + backups().at(0).string() + "\n"));
    EXPECT_THAT(text.str(), HasSubstr("RQX770HJNWE_DEF_R01.03.00.ftf"));
    EXPECT_THAT(text.str(), HasSubstr("RQX770HJNWE  752TRX4F21 -> 123ABC4D56  updated\n"));

    std::ostringstream json;
    ASSERT_EQ(showHistory(dataDir_, true, json, err), kExitOk);
    EXPECT_THAT(json.str(), HasSubstr("\"serial\": \"752TRX4F21\", \"model\": \"RQX770HJNWA\""));
    EXPECT_THAT(json.str(), HasSubstr("\"result\": \"converted\", \"error\": null}"));
    EXPECT_THAT(json.str(), HasSubstr("\"serialAfter\": \"123ABC4D56\", \"result\": \"updated\""));
    EXPECT_THAT(json.str(), HasSubstr("\"skippedLines\": 0\n}"));
    EXPECT_EQ(err.str(), "");
}

// A mistyped folder is not an empty record; a value the record holds never reaches the terminal as
// a control sequence.
TEST_F(RadioCommandsTest, HistorySaysAMissingFolderAndEscapesControlCharacters) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(showHistory(dataDir_ / "nowhere", false, out, err), kExitFileProblem);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(),
              "The data folder " + (dataDir_ / "nowhere").string() + " does not exist.\n");

    // Escapes as the record writes them, and a C1 control (U+009B) as its UTF-8 bytes.
    std::ofstream(dataDir_ / ConversionRecord::kFileName)
        << R"({"entry":"serial","time":"t","model":"M\u001b]0;x\u0007","serialBefore":"A\u007f",)"
        << R"("serialAfter":"B\u001b[2J","result":"failed","error":"C1 )"
        << "\xc2\x9b"
        << R"(2J"})"
        << "\n";
    std::ostringstream text;
    ASSERT_EQ(showHistory(dataDir_, false, text, err), kExitOk) << err.str();
    EXPECT_THAT(text.str(), HasSubstr("  t  M\\u001b]0;x\\u0007  A\\u007f -> B\\u001b[2J  failed: "
                                      "C1 \\u009b2J\n"));
}

// A contact that names none of the four groups is the owner's too: the conversion keeps it and
// has nothing to warn about.
TEST_F(RadioCommandsTest, AContactOfNoGroupIsKeptWithoutWarnings) {
    {
        SimRadio radio;
        radio.flash().block(SimBlock::Con)[3 * SimRadio::kContactSize + 7] = 5;
        const fs::path state = CableBackend::simulatorStatePath(dataDir_);
        fs::create_directories(state.parent_path());
        std::string error;
        ASSERT_TRUE(SimState::save(radio, state.string(), error)) << error;
    }
    const CommandResult run = convert(convertOptions());
    EXPECT_EQ(run.exitCode, kExitOk) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Convert successful.\n"));
    EXPECT_THAT(run.err, Not(HasSubstr("warnings")));
    EXPECT_THAT(errLog(), Not(HasSubstr("succeeded with warnings")));
    EXPECT_EQ(radio().contacts, kFresh.contacts);
}

TEST_F(RadioCommandsTest, RestoreRefusesABackupOfAnotherRadioOrADamagedFile) {
    ASSERT_EQ(convert(convertOptions()).exitCode, kExitOk);
    ASSERT_EQ(backups().size(), 1u);
    const fs::path backup = backups().front();
    // Another radio on the cable: a fresh one with another serial number.
    fs::remove(CableBackend::simulatorStatePath(dataDir_));
    {
        SimRadioConfig other;
        other.serial = "999ZZ99Z99";
        SimRadio radio(other);
        std::string error;
        ASSERT_TRUE(
            SimState::save(radio, CableBackend::simulatorStatePath(dataDir_).string(), error));
    }
    RestoreOptions restore;
    restore.backupFile = backup.string();
    restore.backend.simulate = true;
    restore.install = install();
    const CommandResult refused = runCommand(restore, runRestore);
    EXPECT_EQ(refused.exitCode, kExitRefused);
    EXPECT_THAT(refused.err, HasSubstr("752TRX4F21"));

    {
        std::ofstream damage(backup, std::ios::binary | std::ios::app);
        damage << "x";
    }
    restore.anyRadio = true;
    const CommandResult damaged = runCommand(restore, runRestore);
    EXPECT_EQ(damaged.exitCode, kExitFileProblem);
}

TEST_F(RadioCommandsTest, SetSerialNeedsTheDealerPasswordThenWritesTheNumber) {
    SetSerialOptions options;
    options.newSerial = "123ABC4D56";
    options.passwordFromStdin = true;
    options.backend.simulate = true;
    options.install = install();

    const CommandResult wrong = runCommand(options, runSetSerial, "24680\n");
    EXPECT_EQ(wrong.exitCode, kExitRefused);
    EXPECT_THAT(wrong.err, HasSubstr("The password is not correct. Please check it!\n"));

    const CommandResult right =
        runCommand(options, runSetSerial, std::string(kDealerPassword) + "\n");
    EXPECT_EQ(right.exitCode, kExitOk) << right.err;
    EXPECT_THAT(right.out, HasSubstr("Serial number:    123ABC4D56\n"));
    EXPECT_THAT(right.out, HasSubstr("Update serial number successful.\n"));
    EXPECT_EQ(radio().serial, "123ABC4D56");
    std::wstring cd1;
    std::wstring cd2;
    ASSERT_TRUE(Configuration::instance().dealerCodes(cd1, cd2));
    EXPECT_EQ(cd2, fromUtf8(kDealerPassword));

    // The same number again, and one of another length.
    const CommandResult same =
        runCommand(options, runSetSerial, std::string(kDealerPassword) + "\n");
    EXPECT_EQ(same.exitCode, kExitRefused);
    EXPECT_THAT(same.err, HasSubstr("The serial number is identical to the radio\n"));
    options.newSerial = "123ABC4D567";
    const CommandResult longer =
        runCommand(options, runSetSerial, std::string(kDealerPassword) + "\n");
    EXPECT_EQ(longer.exitCode, kExitRefused);
    EXPECT_THAT(longer.err, HasSubstr("The serial number is incorrect.\n"));
    EXPECT_EQ(radio().serial, "123ABC4D56");
}

// A refused number is followed by the form the radio's number has, so the dealer can fix it.
TEST_F(RadioCommandsTest, SetSerialSaysTheFormAfterARefusedNumber) {
    SetSerialOptions options;
    options.passwordFromStdin = true;
    options.backend.simulate = true;
    options.install = install();
    const std::string form =
        "The serial number is incorrect.\nA new serial number has 10 characters, as the radio's "
        "present one (752TRX4F21): three digits, a digit or capital letter other than O, two "
        "capital letters other than I and O, two digits or capital letters other than I and O, "
        "and two digits.\n";
    for (const char* refused : {"123ABC4D5", "123abc4d56", "123AIC4D56", "123ABC4D567"}) {
        SCOPED_TRACE(refused);
        options.newSerial = refused;
        const CommandResult run =
            runCommand(options, runSetSerial, std::string(kDealerPassword) + "\n");
        EXPECT_EQ(run.exitCode, kExitRefused);
        EXPECT_THAT(run.err, HasSubstr(form));
    }
    // Identical is no question of form.
    options.newSerial = "752TRX4F21";
    const CommandResult same =
        runCommand(options, runSetSerial, std::string(kDealerPassword) + "\n");
    EXPECT_THAT(same.err, Not(HasSubstr("A new serial number has")));
    EXPECT_EQ(radio().serial, "752TRX4F21");
}

TEST_F(RadioCommandsTest, SetSerialWithoutATerminalOrStdinAsksNothing) {
    SetSerialOptions options;
    options.newSerial = "123ABC4D56";
    options.backend.simulate = true;
    options.install = install();
    const CommandResult run = runCommand(options, runSetSerial, "2468\n", false);
    EXPECT_EQ(run.exitCode, kExitRefused);
    EXPECT_THAT(run.err, HasSubstr("--password-stdin"));
    EXPECT_FALSE(fs::exists(CableBackend::simulatorStatePath(dataDir_)));
}

std::vector<std::string> linesOf(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST_F(RadioCommandsTest, AFailedConversionLeavesItsSbepTraceNamedInErrLog) {
    ConvertOptions options = convertOptions();
    options.backend.simFaults = {"corrupt-default"};
    const CommandResult run = convert(options);
    EXPECT_EQ(run.exitCode, kExitRadioFailed);

    // The summary as ever, then the entry naming the trace file beside err.log.
    const std::string expected =
        "Update radio failed (Model:RQX770HJNWA,SN:752TRX4F21,Firmware:R02.10.05,"
        "Codeplug:R01.03.00,Restore:1), this's caused by:\n" +
        chainAsLogged(run.err) + "\nSBEP trace of this failure: " + (dataDir_ / "log").string() +
        "/";
    std::string log = withoutStamps(errLog());
    // The entry that named the backup the moment it was saved comes first.
    ASSERT_THAT(log, testing::StartsWith("The radio's personality is saved in ["));
    log = log.substr(log.find('\n') + 1);
    ASSERT_EQ(log.substr(0, expected.size()), expected) << log;
    const std::string name =
        log.substr(expected.size(), log.find('\n', expected.size()) - expected.size());
    EXPECT_TRUE(std::regex_match(name, std::regex(R"(sbep-trace-\d{8}-\d{6}\.txt)"))) << name;

    const std::vector<std::string> lines = linesOf(dataDir_ / "log" / name);
    ASSERT_GT(lines.size(), 100u);
    EXPECT_THAT(lines[0], HasSubstr(" frames since the port was opened, oldest first."));
    const std::regex frame(R"(\d\d:\d\d:\d\d\.\d{3} (TX|RX) .+)");
    for (size_t i = 1; i < lines.size(); ++i) {
        ASSERT_TRUE(std::regex_match(lines[i], frame)) << lines[i];
    }
}

// Model, old and new number, result: one line per update that reached the radio.
TEST_F(RadioCommandsTest, SetSerialAuditsEveryChangeThatReachedTheRadio) {
    SetSerialOptions options;
    options.newSerial = "123ABC4D56";
    options.passwordFromStdin = true;
    options.backend.simulate = true;
    options.install = install();
    const std::string password = std::string(kDealerPassword) + "\n";
    ASSERT_EQ(runCommand(options, runSetSerial, password).exitCode, kExitOk);

    options.newSerial = "123ABC4D57";
    options.backend.simFaults = {"refuse:0x18"};
    const CommandResult failed = runCommand(options, runSetSerial, password);
    EXPECT_EQ(failed.exitCode, kExitRadioFailed);
    EXPECT_THAT(failed.err, HasSubstr("Failed to update serial number.\n"));
    EXPECT_THAT(failed.err, HasSubstr("The radio still holds its old serial number 123ABC4D56."));
    EXPECT_EQ(radio().serial, "123ABC4D56");

    // Refused before the radio: no line.
    options.newSerial = "123ABC4D56";
    options.backend.simFaults.clear();
    EXPECT_EQ(runCommand(options, runSetSerial, password).exitCode, kExitRefused);

    // Each update's line before the radio was asked, then how it ended.
    const std::vector<std::string> audit = linesOf(dataDir_ / "log" / "serial-audit.log");
    ASSERT_EQ(audit.size(), 4u);
    const std::string stamp = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)";
    const char* expected[] = {
        " model=RQX770HJNWA old=752TRX4F21 new=123ABC4D56 started",
        " model=RQX770HJNWA old=752TRX4F21 new=123ABC4D56 success",
        " model=RQX770HJNWA old=123ABC4D56 new=123ABC4D57 started",
        " model=RQX770HJNWA old=123ABC4D56 new=123ABC4D57 failure now=123ABC4D56",
    };
    for (size_t i = 0; i < audit.size(); ++i) {
        EXPECT_TRUE(std::regex_match(audit[i], std::regex(stamp + expected[i]))) << audit[i];
    }
    const std::string log = withoutStamps(errLog());
    EXPECT_THAT(log, HasSubstr("Update serial number failed (Model:RQX770HJNWA,SN:123ABC4D56,"
                               "New SN:123ABC4D57), caused by:\n"));
    EXPECT_THAT(log, HasSubstr("\n\nSBEP trace of this failure: " + (dataDir_ / "log").string()));
}

class SetSerialTest : public RadioCommandsTest {
protected:
    SetSerialOptions options() const {
        SetSerialOptions options;
        options.newSerial = "123ABC4D56";
        options.passwordFromStdin = true;
        options.backend.simulate = true;
        options.install = install();
        return options;
    }
    CommandResult setSerial(const SetSerialOptions& options, std::atomic<bool>* stop = nullptr) {
        std::istringstream in(std::string(kDealerPassword) + "\n");
        std::ostringstream out;
        std::ostringstream err;
        ConsolePrompt prompt(in, err, false);
        CommandIo io{in, out, err, prompt, false, stop};
        CommandResult run;
        run.exitCode = runSetSerial(options, io);
        run.out = out.str();
        run.err = err.str();
        return run;
    }
    std::string historyText() {
        std::ostringstream text;
        std::ostringstream err;
        EXPECT_EQ(showHistory(dataDir_, false, text, err), kExitOk) << err.str();
        return text.str();
    }
};

// Ctrl-C before the number is sent: said as a stop that left the radio as it was.
TEST_F(SetSerialTest, AStopBeforeTheNumberIsSentSaysTheRadioIsUnchanged) {
    std::atomic<bool> stop{true};
    const CommandResult run = setSerial(options(), &stop);
    EXPECT_EQ(run.exitCode, kExitRadioFailed);
    EXPECT_THAT(run.err, HasSubstr("stopped at your request before the new number was sent; the "
                                   "radio is unchanged and keeps its serial number 752TRX4F21."));
    EXPECT_EQ(radio().serial, kFresh.serial);
    EXPECT_THAT(historyText(), HasSubstr("752TRX4F21 -> 123ABC4D56  stopped"));
}

// The number is in but its factory block was not backed up: the dealer is told what the radio
// holds, that a conversion would undo it, and the fix, which then works.
TEST_F(SetSerialTest, AFailedBackupIsSaidWithItsFixAndTheSameNumberAgainFixesIt) {
    SetSerialOptions first = options();
    first.backend.simFaults = {"refuse:0x38"};
    const CommandResult failed = setSerial(first);
    EXPECT_EQ(failed.exitCode, kExitRadioFailed);
    EXPECT_THAT(failed.err, HasSubstr("Failed to update serial number.\n"));
    EXPECT_THAT(failed.err, HasSubstr("The radio now holds the new serial number 123ABC4D56.\n"));
    EXPECT_THAT(failed.err, HasSubstr("a later conversion would bring back the serial number the "
                                      "radio had before."));
    EXPECT_THAT(failed.err, HasSubstr("plugshift-cli set-serial"));
    EXPECT_EQ(radio().serial, "123ABC4D56");

    const CommandResult fixed = setSerial(options());
    EXPECT_EQ(fixed.exitCode, kExitOk) << fixed.err;
    EXPECT_THAT(fixed.out, HasSubstr("Update serial number successful.\n"));
    const std::string history = historyText();
    EXPECT_THAT(history, HasSubstr("752TRX4F21 -> 123ABC4D56  not-backed-up: "));
    EXPECT_THAT(history, HasSubstr("    the radio read 123ABC4D56 afterwards\n"));
    EXPECT_THAT(history, HasSubstr("123ABC4D56 -> 123ABC4D56  updated\n"));
}

// The audit cannot take a line (as on a full disk): refused with the folder named, the radio
// never asked.
TEST_F(SetSerialTest, AnUpdateThatCannotBeRecordedIsRefusedWithTheRadioUnchanged) {
    fs::create_directories(dataDir_ / "log" / "serial-audit.log");
    const CommandResult run = setSerial(options());
    EXPECT_EQ(run.exitCode, kExitFileProblem);
    EXPECT_THAT(run.err,
                HasSubstr("The serial-number update could not be recorded in the folder " +
                          (dataDir_ / "log").string() + ", so the radio was not changed."));
    EXPECT_EQ(radio().serial, kFresh.serial);
}

// A started update whose end never came (the tool killed) and the lines of older versions.
TEST_F(SetSerialTest, HistoryReadsOldLinesAndUpdatesThatDidNotEnd) {
    std::ofstream(dataDir_ / ConversionRecord::kFileName)
        << R"({"entry":"serial","time":"t0","model":"M","serialBefore":"A","serialAfter":"B",)"
        << R"("result":"updated","error":null})"
        << "\n"
        << R"({"entry":"serial","time":"t1","model":"M","serialBefore":"B","serialAfter":"C",)"
        << R"("result":"started","error":null,"id":"x","serialRead":null})"
        << "\n";
    EXPECT_THAT(historyText(), HasSubstr("Serial-number updates: 2\n  t0  M  A -> B  updated\n"
                                         "  t1  M  B -> C  did not end\n"));
    std::ostringstream json;
    std::ostringstream err;
    ASSERT_EQ(showHistory(dataDir_, true, json, err), kExitOk);
    EXPECT_THAT(json.str(), HasSubstr("\"serialAfter\": \"C\", \"result\": \"started\""));
}

// The password is asked for and compared, and goes nowhere else: not into err.log, the audit, a
// trace (it is never sent to the radio), the simulated radio or a backup.
TEST_F(RadioCommandsTest, TheDealerPasswordIsInNoFileTheToolWrites) {
    const std::string password = "80917364";
    const std::string wrong = "55501234";
    {
        std::ifstream in(kSampleSetup, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        std::string text;
        ASSERT_TRUE(decodeConfigBytes(bytes.str(), text));
        const std::string sample = "cd1=\"2468\"";
        ASSERT_NE(text.find(sample), std::string::npos);
        text.replace(text.find(sample), sample.size(), "cd1=\"" + password + "\"");
        std::string encoded;
        ASSERT_TRUE(encodeConfigText(text, encoded));
        std::ofstream(dataDir_ / "data" / "setup.dat", std::ios::binary | std::ios::trunc)
            << encoded;
    }
    SetSerialOptions options;
    options.newSerial = "123ABC4D56";
    options.passwordFromStdin = true;
    options.backend.simulate = true;
    options.install = install();
    EXPECT_EQ(runCommand(options, runSetSerial, wrong + "\n").exitCode, kExitRefused);
    EXPECT_EQ(runCommand(options, runSetSerial, password + "\n").exitCode, kExitOk);
    options.newSerial = "123ABC4D57";
    options.backend.simFaults = {"refuse:0x18"};
    EXPECT_EQ(runCommand(options, runSetSerial, password + "\n").exitCode, kExitRadioFailed);
    ASSERT_EQ(convert(convertOptions()).exitCode, kExitOk);

    std::vector<std::string> needles;
    for (const std::string& secret : {password, wrong}) {
        std::string hex;
        std::string utf16;
        for (char c : secret) {
            char two[4];
            std::snprintf(two, sizeof two, "%02X ", static_cast<unsigned char>(c));
            hex += two;
            utf16 += std::string{c, '\0'};
        }
        hex.pop_back();
        needles.insert(needles.end(), {secret, hex, utf16});
    }
    std::set<std::string> written;
    for (const auto& entry : fs::recursive_directory_iterator(dataDir_)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        written.insert(entry.path().filename().string().substr(0, 11));
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        for (const std::string& needle : needles) {
            EXPECT_EQ(bytes.str().find(needle), std::string::npos)
                << entry.path() << " holds " << needle;
        }
    }
    // The files that could have held it were all there to look at.
    for (const char* kind : {"err.log", "serial-audi", "sbep-trace-", "setup.dat"}) {
        EXPECT_EQ(written.count(kind), 1u) << kind;
    }
    EXPECT_GE(backups().size(), 1u);
}

std::string fileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A new user's data folder holds nothing: the first command copies the installation's setup file
// into it (the build tree ships one as the package does), and without one the setup file is
// missing as it always was.
TEST_F(RadioCommandsTest, AnEmptyDataFolderTakesTheInstallationsSetupFile) {
    fs::remove_all(dataDir_);
    const CommandResult run = convert(convertOptions());
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    EXPECT_EQ(radio().model, "RQX770HJNWE");
    const fs::path setup = dataDir_ / "data" / "setup.dat";
    EXPECT_EQ(fileBytes(setup), fileBytes(installDir_ / "skel" / "data" / "setup.dat"));
    // Only the backup's path, logged the moment it was saved.
    EXPECT_THAT(errLog(),
                testing::MatchesRegex(
                    "\\[ [-0-9 :]+ \\] The radio's personality is saved in \\[.*\\]\\.\n"));

    // An installation without the skeleton.
    const fs::path bare = dataDir_ / "bare";
    fs::create_directories(bare);
    fs::copy(installDir_ / "data", bare / "data");
    installDir_ = bare;
    fs::remove(setup);
    const CommandResult missing = convert(convertOptions());
    EXPECT_EQ(missing.exitCode, kExitFileProblem);
    EXPECT_THAT(missing.err,
                HasSubstr("Error:failed to open the specified file [" + setup.string() + "].\n"));
    EXPECT_FALSE(fs::exists(setup));
}

// The default block a conversion with the sample's files of one side must leave, over the
// capacity that side's address map gives it.
std::vector<uint8_t> expectedDefaultBlock(const char* addressMap, const char* codeplug) {
    const auto file = [](const char* name) {
        return fromUtf8(std::string(kSampleInstall) + "/data/" + name);
    };
    CodeplugImage cpg;
    FtfImage image;
    EXPECT_TRUE(loadFtf(file(addressMap).c_str(), image));
    EXPECT_TRUE(cpg.parseAddressMap(image.data.data(), image.length));
    EXPECT_TRUE(loadFtf(file(codeplug).c_str(), image));
    EXPECT_TRUE(cpg.parseCodeplug(image.data.data(), image.length));
    const CodeplugBlock& def = cpg.block(kBlockDef);
    return std::vector<uint8_t>(def.data.begin(), def.data.begin() + def.capacity);
}

std::vector<std::vector<uint8_t>> contactsOf(const SimRadio& radio) {
    std::vector<std::vector<uint8_t>> contacts;
    for (int i = 0; i < radio.contactCount(); ++i) {
        contacts.push_back(radio.contact(i));
    }
    return contacts;
}

// The real serial backend against kmv-sim at the cable's true timing: 57600 baud paced both ways,
// the adapter's 16 ms latency and the radio's flash times. Each command runs as the program does.
TEST_F(RadioCommandsTest, InfoConvertAndSetSerialAtTheCablesTimingOverKmvSimsTerminal) {
    const fs::path state = dataDir_ / "radio.txt";
    SimRadioConfig config;
    config.serial = kFresh.serial;
    config.contacts = kFresh.contacts;
    const SimRadio before(config);
    std::string error;
    ASSERT_TRUE(SimState::save(before, state.string(), error)) << error;

    test::KmvSimProcess sim({"--state", state.string(), "--latency", "16"});
    ASSERT_FALSE(sim.path().empty());
    BackendOptions overTty;
    overTty.port = sim.path();

    const CommandResult shown = info(overTty);
    ASSERT_EQ(shown.exitCode, kExitOk) << shown.err;
    EXPECT_THAT(shown.out, HasSubstr("Model:            RQX770HJNWA\n"));

    ConvertOptions options = convertOptions();
    options.backend = overTty;
    options.traceFile = (dataDir_ / "trace.txt").string();
    const CommandResult run = convert(options);
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Model:            RQX770HJNWE\n"));
    EXPECT_THAT(run.out, HasSubstr("User private ID:  1234567\n"));

    SetSerialOptions serial;
    serial.newSerial = "123ABC4D56";
    serial.passwordFromStdin = true;
    serial.backend = overTty;
    serial.install = install();
    const CommandResult renumbered =
        runCommand(serial, runSetSerial, std::string(kDealerPassword) + "\n");
    EXPECT_EQ(renumbered.exitCode, kExitOk) << renumbered.err;

    ASSERT_EQ(sim.stop(), 0);
    SimRadio after(config);
    ASSERT_TRUE(SimState::load(after, state.string(), error)) << error;
    // The radio's codeplug (R01.03.00) is of the old side: its codeplug file's image over the
    // capacity the old address map gives, but for the version the conversion writes into it.
    std::vector<uint8_t> expected =
        expectedDefaultBlock("KMVADDR_A01.03.00.ftf", "RQX770HJNWE_DEF_R01.03.00.ftf");
    const auto def = after.flash().block(SimBlock::Def).first(expected.size());
    constexpr size_t kVersionLength = 4;  // a letter and three numbers
    const auto version =
        std::span(expected).subspan(SimRadio::kCodeplugVersionOffset, kVersionLength);
    std::ranges::copy(def.subspan(SimRadio::kCodeplugVersionOffset, kVersionLength),
                      version.begin());
    const auto differ = std::ranges::mismatch(def, expected);
    EXPECT_EQ(differ.in1 - def.begin(), static_cast<ptrdiff_t>(def.size())) << "first difference";
    EXPECT_THAT(run.out, HasSubstr("Codeplug version: " + identityOf(after).codeplug + "\n"));
    EXPECT_EQ(identityOf(after).model, "RQX770HJNWE");
    EXPECT_EQ(identityOf(after).userId, kFresh.userId);
    EXPECT_EQ(identityOf(after).serial, "123ABC4D56");
    EXPECT_THAT(contactsOf(after), ::testing::UnorderedElementsAreArray(contactsOf(before)));

    std::ifstream trace(options.traceFile);
    std::string first;
    ASSERT_TRUE(std::getline(trace, first));
    EXPECT_TRUE(
        std::regex_match(first, std::regex(R"(\d\d:\d\d:\d\d\.\d\d\d (TX|RX)( [0-9A-F]{2})+)")))
        << first;
}

}  // namespace
}  // namespace plugshift
