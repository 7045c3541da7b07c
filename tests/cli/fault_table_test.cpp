// The faults a real line, radio and laptop bring, one case each: plugshift-cli converts a radio
// served by kmv-sim over a pseudo-terminal at the cable's own timing (57600 baud paced both ways,
// the adapter's latency, the flash times), keeping the personality. Each case must end with the
// radio converted and its personality right, or untouched and the failure said; never success
// over a wrong radio, no erase outside the default block, no programming of unerased flash, and
// no run past its deadline.
//
// The cases run side by side (they mostly wait on the line): PLUGSHIFT_FAULT_TABLE_JOBS sets how
// many at once, PLUGSHIFT_FAULT_TABLE_CASES picks cases by a part of their names.

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "child_process.h"
#include "cli/exit_codes.h"
#include "cli/info_command.h"
#include "conversion/personality_backup.h"
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
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr const char* kSampleInstall = PLUGSHIFT_SAMPLE_INSTALL_DIR;
constexpr const char* kSampleSetup = PLUGSHIFT_SAMPLE_DATA_DIR "/data/setup.dat";

// A clean conversion at the cable's timing takes some 18 s; a fault costs a few seconds of
// waits and resends. A run still going after this hangs.
constexpr auto kRunDeadline = 60s;
constexpr int kDefaultJobs = 5;

// The radio: flash type 1 (default block 0x84000 to 0x94000 in 4 KiB sectors, dynamic block at
// 0xE0000), a codeplug of the sample's new side, twelve contacts.
constexpr uint32_t kDefaultBlock = 0x84000;
constexpr uint32_t kDefaultBlockEnd = 0x94000;
constexpr uint32_t kSectorSize = 0x1000;
constexpr uint32_t kDynamicBlock = 0xE0000;
constexpr const char* kModel = "RQX770HJNWA";
constexpr const char* kTargetModel = "RQX770HJNWE";
constexpr const char* kSerial = "752TRX4F21";
constexpr int kContacts = 12;
// The sample configuration keeps the DYN block's first 0x800 bytes.
constexpr size_t kKeptDynLength = 0x800;
constexpr uint32_t kKeptDynAddress = 0x820000;
constexpr const char* kSuccess = "Convert successful.";
// What a conversion finished from its backup says instead.
constexpr const char* kFinishedFromBackup = "The radio is converted again and its personality";

// Backups of this radio from a clock years ahead (or a PC that had one).
constexpr int64_t kFutureStampMs = 4070908800000;  // 2099-01-01
constexpr int64_t kDayMs = 86400000;

// A point of a run, as kmv-sim reports the radio's flash or the record notes the step.
enum class Point { kSectorErased, kProgrammed, kDynamicErased, kRestoring, kSerialStarted };
// A signal sent once a run reaches a point: to the tool, or to kmv-sim (SIGTERM: the cable is
// pulled, the radio keeps its flash).
struct Signal {
    int number = 0;
    Point after = Point::kSectorErased;
    bool toRadio = false;
};

// An exit code that is any failure (the tool was stopped by force or lost its radio), or any at
// all (a stop that may come before or after the point of no return).
constexpr int kAnyFailure = -2;
constexpr int kAnyExit = -3;

// Where a command of a story runs and finds its folders.
enum class Folders {
    kAbsolute,   // absolute --data-dir and --install-dir
    kRelative,   // run in the case's folder, both given relative to it
    kElsewhere,  // run in another folder, with the absolute folders the tool printed
};

enum class Outcome {
    kConverted,
    // Converted; nothing of the owner's was asked to be kept.
    kConvertedWithoutPersonality,
    // Serial-number updates only: the flash as it was, the serial number the old or the new one,
    // and every update the record saw begin also seen to end.
    kSerialTraced,
    // Refused with the story's last exit code and text; nothing of the radio changed by it.
    kRefusedUnchanged,
    // Failed and said so; the radio as it was.
    kFailedUntouched,
    // Failed and said so before programming: erased sectors allowed, the personality untouched.
    kFailedBeforeProgramming,
    kConvertedOrFailedUntouched,
};

enum class Setup {
    kNone,
    kFutureBackups,
    // The tool is killed once the dynamic block is erased; convert, run again as the tool says,
    // finishes from there with the run's backup.
    kKillAfterDynErase,
    // The terminal hangs up once the default block is being programmed (the radio already reports
    // the new model from its first chunk): the run stops at the end of its request, says the way
    // back, and convert finishes the radio from its backup.
    kHangUpDuringFlash,
    // The output's reader goes away during the flash (`convert | head`): the work goes on.
    kPipeClosedDuringFlash,
};

// One command of a story, run against its own kmv-sim on the same radio.
struct StoryRun {
    std::vector<std::string> command = {};  // after plugshift-cli, before the port and folders
    std::vector<std::string> faults = {};   // kmv-sim --fault
    int exitCode = 0;                       // what the command must end with
    // Before the command: the owner keeps only this many contacts (negative: no change).
    int contactsKept = -1;
    // Before the command: the record's text is edited (from, to), as a file from elsewhere.
    std::pair<std::string, std::string> recordEdit = {};
    const char* said = nullptr;  // text the command's output must hold
    Signal signal = {};
    // The record line (from 1, counted in this command) at which the disk is full from then on,
    // or at which SIGINT comes; 0: none.
    int recordFullAt = 0;
    int recordSigintAt = 0;
    Folders folders = Folders::kAbsolute;
    // The command is given a copy of the installation; moveInstallation moves it first.
    bool copiedInstallation = false;
    bool moveInstallation = false;
    std::string input = {};  // the command's standard input
};

struct FaultCase {
    std::string name;
    std::vector<std::string> faults;  // kmv-sim --fault
    Outcome outcome;
    Setup setup = Setup::kNone;
    // A story of several commands instead of one convert; the outcome is the last one's.
    std::vector<StoryRun> story = {};
    int flashType = 1;
};

// Stands for the path of a backup of another radio the case writes before its story.
constexpr const char* kOtherRadioBackup = "{backup of another radio}";
constexpr const char* kOtherSerial = "111AAA1A11";

const std::vector<std::string> kConvertKeeping = {"convert", "--yes", "--keep-personality"};
const std::vector<std::string> kConvertWithoutKeeping = {"convert", "--yes"};

const std::vector<std::string> kInfo = {"info"};
constexpr const char* kNewSerial = "123ABC4D56";
const std::vector<std::string> kSetSerial = {"set-serial", kNewSerial, "--password-stdin"};
const std::string kDealerPassword = "2468\n";  // the sample setup file's
const Signal kKillAfterDynamicErase{SIGKILL, Point::kDynamicErased};
const Signal kPullWhileRestoring{SIGTERM, Point::kRestoring, true};

// A keeping conversion writes nine record lines: open, the default block's erase and programming,
// the dynamic block's erase, the hard reset, the personality's restore and its end, the normal
// mode and the close. The disk fills up at each in turn; convert, as the tool prints it, finishes.
std::vector<FaultCase> fullDiskCases() {
    constexpr int kRecordLines = 9;
    std::vector<FaultCase> cases;
    for (int line = 1; line < kRecordLines; ++line) {
        cases.push_back(
            {"full disk at record line " + std::to_string(line) + ", then convert",
             {},
             Outcome::kConverted,
             Setup::kNone,
             {{.command = kConvertKeeping,
               .exitCode = kExitFileProblem,
               .said = line < 3 ? "so the radio was not changed" : "the radio may be half-written",
               .recordFullAt = line},
              // Nothing erased yet: the dealer converts again as before.
              {.command = line < 3 ? kConvertKeeping : kConvertWithoutKeeping},
              {.command = kInfo}}});
    }
    // The end alone is not written: converted all the same; the owner changes the contacts
    // before the finish, which must not write the old backup over them.
    cases.push_back({"full disk at the record's close, contacts changed, then convert",
                     {},
                     Outcome::kConverted,
                     Setup::kNone,
                     {{.command = kConvertKeeping,
                       .said = "could not be written to the conversion record",
                       .recordFullAt = kRecordLines},
                      {.command = kInfo, .exitCode = kInfoUnfinishedConversion},
                      {.command = kConvertWithoutKeeping, .contactsKept = 9, .said = kSuccess},
                      {.command = kInfo}}});
    return cases;
}

const std::vector<FaultCase> kStoppedLateCases = {
    {"killed after the dynamic block's erase without keeping, then convert",
     {},
     Outcome::kConvertedWithoutPersonality,
     Setup::kNone,
     {{.command = kConvertWithoutKeeping,
       .exitCode = kAnyFailure,
       .signal = kKillAfterDynamicErase},
      {.command = kConvertWithoutKeeping, .said = kSuccess},
      {.command = kInfo}}},
    {"cable pulled while the personality is written back, then convert",
     {},
     Outcome::kConverted,
     Setup::kNone,
     {{.command = kConvertKeeping, .exitCode = kAnyFailure, .signal = kPullWhileRestoring},
      {.command = kConvertWithoutKeeping, .said = kFinishedFromBackup},
      {.command = kInfo}}},
    {"relative folders, killed after the dynamic block's erase, finished from elsewhere",
     {},
     Outcome::kConverted,
     Setup::kNone,
     {{.command = kConvertKeeping,
       .exitCode = kAnyFailure,
       .signal = kKillAfterDynamicErase,
       .folders = Folders::kRelative},
      {.command = kInfo,
       .exitCode = kInfoUnfinishedConversion,
       .said = "--data-dir /",
       .folders = Folders::kElsewhere},
      {.command = kConvertWithoutKeeping,
       .said = kFinishedFromBackup,
       .folders = Folders::kElsewhere},
      {.command = kInfo}}},
    {"installation moved after a kill, finished from its new place",
     {},
     Outcome::kConverted,
     Setup::kNone,
     {{.command = kConvertKeeping,
       .exitCode = kAnyFailure,
       .signal = kKillAfterDynamicErase,
       .copiedInstallation = true},
      {.command = kConvertWithoutKeeping,
       .said = kFinishedFromBackup,
       .copiedInstallation = true,
       .moveInstallation = true},
      {.command = kInfo, .copiedInstallation = true}}},
    // The reset finds the default block damaged: the finish writes it again, never loops.
    {"default block reported damaged at the reset, then convert",
     {},
     Outcome::kConverted,
     Setup::kNone,
     {{.command = kConvertKeeping, .faults = {"corrupt-default"}, .exitCode = kExitRadioFailed},
      {.command = kConvertWithoutKeeping, .said = kFinishedFromBackup},
      {.command = kInfo}}},
    {"killed after the dynamic block's erase, the finish hung up in turn, then convert",
     {},
     Outcome::kConverted,
     Setup::kNone,
     {{.command = kConvertKeeping, .exitCode = kAnyFailure, .signal = kKillAfterDynamicErase},
      {.command = kConvertWithoutKeeping,
       .exitCode = kAnyFailure,
       .said = "To finish the conversion from where it stopped: plugshift-cli convert --yes",
       .signal = {SIGHUP, Point::kDynamicErased}},
      {.command = kConvertWithoutKeeping, .said = kFinishedFromBackup},
      {.command = kInfo}}},
    {"SIGINT while the record closes",
     {},
     Outcome::kConverted,
     Setup::kNone,
     {{.command = kConvertKeeping, .said = "Stop requested", .recordSigintAt = 9},
      {.command = kInfo}}},
    // A serial-number update leaves its trace before the radio changes, or does not change it.
    {"set-serial on a full disk, then again",
     {},
     Outcome::kSerialTraced,
     Setup::kNone,
     {{.command = kSetSerial,
       .exitCode = kExitFileProblem,
       .said = "could not be recorded",
       .recordFullAt = 1,
       .input = kDealerPassword},
      {.command = kInfo},
      {.command = kSetSerial, .said = "Update serial number successful.", .input = kDealerPassword},
      {.command = kInfo}}},
    {"set-serial stopped as it begins",
     {},
     Outcome::kSerialTraced,
     Setup::kNone,
     {{.command = kSetSerial,
       .exitCode = kAnyExit,
       .signal = {SIGINT, Point::kSerialStarted},
       .input = kDealerPassword},
      {.command = kInfo}}},
    // Filed under the radio written into, so that radio, not the backup's, shows unfinished.
    {"another radio's backup killed after the dynamic block's erase, then convert",
     {},
     Outcome::kConverted,
     Setup::kNone,
     {{.command = {"restore-personality", "--yes", "--any-radio", kOtherRadioBackup},
       .exitCode = kAnyFailure,
       .signal = kKillAfterDynamicErase},
      {.command = kInfo, .exitCode = kInfoUnfinishedConversion},
      {.command = kConvertWithoutKeeping, .said = kFinishedFromBackup},
      {.command = kInfo}}},
};

const FaultCase kFaultCases[] = {
    {"late reply at a sector erase", {"delay:0x72/4@0x86000#1:1000"}, Outcome::kConverted},
    {"late reply at a 4 KiB write", {"delay:0x72/1@0x88000#1:1000"}, Outcome::kConverted},
    // Item 3 is read second; a late reply shifts the ones after it, the serial number among them.
    {"late reply at an identity item", {"delay:0x23/3#1:150"}, Outcome::kConverted},
    {"refused write after a late one",
     {"delay:0x72/1@0x88000#1:1000", "refuse:0x72/1@0x89000:1"},
     Outcome::kConverted},
    // Later than the wait and the quiet before the resend together: the late reply answers the
    // resend, and only hearing the line out after it keeps the next acknowledgements in step.
    {"very late reply at a 4 KiB write, then a refusal",
     {"delay:0x72/1@0x88000#1:3000", "refuse:0x72/1@0x8A000:1"},
     Outcome::kConverted},
    {"very late reply at a sector erase, then a failed erase",
     {"delay:0x72/4@0x84000#1:3000", "fail-erase:0x86000:1"},
     Outcome::kConverted},
    // The late reply lands in the resend's wait and is taken for it; the resend's own reply,
    // which the radio sends after it, must not be taken for the next contact.
    {"very late reply at a contact read, then a refused contact write",
     {"delay:0x9B/0x30#3:2700", "delay:0x9B/0x30#4:30", "refuse:0x9B/0x31:1"},
     Outcome::kConverted},
    // Later still, it misses the resend's wait too: the read fails before anything is erased.
    {"contact read answered after both attempts",
     {"delay:0x9B/0x30#3:3000", "delay:0x9B/0x30#4:30"},
     Outcome::kConvertedOrFailedUntouched},
    // 3.5 s late: past the first wait, the quiet before the resend and the resend's own wait. The
    // radio answers in order, so the resend's reply comes after the late one: the late reply
    // answers the resend, and the resend's own must agree with it.
    {"3.5 s late reply at a sector erase, then a refused erase",
     {"delay:0x72/4@0x84000#1:3500", "refuse:0x72/4@0x85000:1"},
     Outcome::kConverted},
    {"3.5 s late reply at a sector erase, then a failed erase",
     {"delay:0x72/4@0x84000#1:3500", "fail-erase:0x86000:1"},
     Outcome::kConverted},
    {"3.5 s late reply at a later sector erase",
     {"delay:0x72/4@0x86000#1:3500"},
     Outcome::kConverted},
    {"3.5 s late reply at a 4 KiB write, then a refused write",
     {"delay:0x72/1@0x88000#1:3500", "refuse:0x72/1@0x89000:1"},
     Outcome::kConverted},
    {"3.5 s late reply at a 4 KiB write, then a refusal after the next",
     {"delay:0x72/1@0x88000#1:3500", "refuse:0x72/1@0x8A000:1"},
     Outcome::kConverted},
    {"3.5 s late reply at an identity item", {"delay:0x23/3#1:3500"}, Outcome::kConverted},
    {"3.5 s late reply at a contact read, then a refused contact write",
     {"delay:0x9B/0x30#3:3500", "delay:0x9B/0x30#4:30", "refuse:0x9B/0x31:1"},
     Outcome::kConverted},
    {"3.5 s late reply at a contact read",
     {"delay:0x9B/0x30#3:3500", "delay:0x9B/0x30#4:30"},
     Outcome::kConverted},
    // The damaged reply names flash type 7; with the resend's reply lost no complete reply
    // told the type.
    {"FLASH test-mode reply damaged then lost",
     {"damage:0x22/8#1:4:0x07", "drop:0x22/8#2"},
     Outcome::kConvertedOrFailedUntouched},
    {"sector that will not erase", {"fail-erase:0x86000"}, Outcome::kFailedBeforeProgramming},
    {"reset reply cut after its opcode", {"cut:0x10/1#1"}, Outcome::kConverted},
    {"backups stamped in the future", {}, Outcome::kConverted, Setup::kFutureBackups},
    {"killed after the DYN erase, then convert again",
     {},
     Outcome::kConverted,
     Setup::kKillAfterDynErase},
    {"terminal hung up during the flash, then convert again",
     {},
     Outcome::kConverted,
     Setup::kHangUpDuringFlash},
    {"output's reader gone during the flash",
     {},
     Outcome::kConverted,
     Setup::kPipeClosedDuringFlash},
    // Flash type 0 erases its dynamic block inside the range the new, longer codeplug would
    // take: the conversion is refused before anything is erased.
    {"flash type 0 with a codeplug too long for it",
     {},
     Outcome::kFailedUntouched,
     Setup::kNone,
     {},
     0},
    // Finishing what a failed run left: a run that erased nothing is no unfinished conversion,
    // so today's radio is converted with a new backup of today's personality.
    {"refused before the erase, contacts changed, then convert again",
     {},
     Outcome::kConverted,
     Setup::kNone,
     {{.command = kConvertKeeping, .faults = {"refuse:0x72/8"}, .exitCode = kExitRadioFailed},
      {.command = kConvertKeeping, .contactsKept = 9, .said = kSuccess}}},
    // The half-written radio's run kept nothing; keeping is asked today, and its dynamic block
    // (erased last) still holds the personality.
    {"failed without keeping, then convert keeping",
     {},
     Outcome::kConverted,
     Setup::kNone,
     {{.command = kConvertWithoutKeeping,
       .faults = {"fail-erase:0x86000"},
       .exitCode = kExitRadioFailed},
      {.command = kConvertKeeping}}},
    {"failed, a finish refused before its erase, then finished",
     {},
     Outcome::kConverted,
     Setup::kNone,
     {{.command = kConvertKeeping, .faults = {"fail-erase:0x86000"}, .exitCode = kExitRadioFailed},
      {.command = kConvertKeeping, .faults = {"refuse:0x72/8"}, .exitCode = kExitRadioFailed},
      {.command = kConvertKeeping, .said = kSuccess}}},
    // A record is data: files it names that the installation does not give are never programmed.
    {"failed, then a record naming other files",
     {},
     Outcome::kRefusedUnchanged,
     Setup::kNone,
     {{.command = kConvertKeeping, .faults = {"fail-erase:0x86000"}, .exitCode = kExitRadioFailed},
      {.command = kConvertKeeping,
       .exitCode = kExitFileProblem,
       .recordEdit = {" md5:", " md5:0"},
       .said = "names files that are not this installation's"}}},
};

std::vector<FaultCase> allCases() {
    std::vector<FaultCase> cases(std::begin(kFaultCases), std::end(kFaultCases));
    cases.insert(cases.end(), kStoppedLateCases.begin(), kStoppedLateCases.end());
    const std::vector<FaultCase> full = fullDiskCases();
    cases.insert(cases.end(), full.begin(), full.end());
    return cases;
}

struct CliRun {
    int exitCode = -1;
    std::string output;
    Clock::duration took{};
    bool pastDeadline = false;
};

// kmv-sim's report: erase requests by flash address, programs carried out, and those that met
// flash not erased.
struct Report {
    std::map<uint32_t, int> sectorErases;
    std::map<uint32_t, int> dynamicErases;
    int programs = 0;
    int unerasedPrograms = -1;
    bool read = false;
};

Report readReport(const fs::path& file) {
    Report report;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "kmv-sim-report") {
            report.read = true;
        } else if (key == "erase-sector" || key == "erase-dynamic") {
            std::string address;
            int count = 0;
            words >> address >> count;
            auto& erases = key == "erase-sector" ? report.sectorErases : report.dynamicErases;
            erases[static_cast<uint32_t>(std::stoul(address, nullptr, 16))] = count;
        } else if (key == "programs") {
            words >> report.programs;
        } else if (key == "unerased-programs") {
            words >> report.unerasedPrograms;
        }
    }
    return report;
}

// What the test compares of a radio.
struct RadioState {
    std::string model;
    std::string serial;
    Bytes defaultBlock;
    Bytes keptDyn;
    std::vector<Bytes> contacts;  // sorted: a restore changes their order, not the set
};

RadioState stateOf(const SimRadio& radio) {
    RadioState state;
    state.model = toUtf8(RadioInfo::modelText(radio.model()).value_or(L"?"));
    const auto serial = radio.serial();
    state.serial = std::string(serial.begin(), serial.end()).substr(0, std::strlen(kSerial));
    const auto def = radio.flash().block(SimBlock::Def);
    state.defaultBlock.assign(def.begin(), def.end());
    const auto dyn = radio.flash().block(SimBlock::Dyn).first(kKeptDynLength);
    state.keptDyn.assign(dyn.begin(), dyn.end());
    for (int i = 0; i < radio.contactCount(); ++i) {
        state.contacts.push_back(radio.contact(i));
    }
    std::sort(state.contacts.begin(), state.contacts.end());
    return state;
}

SimRadioConfig radioConfig() {
    SimRadioConfig config;
    config.model = kModel;
    config.serial = kSerial;
    config.codeplug = SimVersion{{'R', 1, 2, 0}};
    config.contacts = kContacts;
    return config;
}

// Settings all over the default block behind its header, as a radio's codeplug has: flash
// programmed without its erase then shows, whatever the new codeplug holds there.
void fillCodeplug(SimRadio& radio) {
    constexpr size_t kHeader = SimRadio::kCodeplugVersionOffset + 4;
    auto def = radio.flash().block(SimBlock::Def);
    for (size_t i = kHeader; i < def.size(); ++i) {
        def[i] = static_cast<uint8_t>(i * 13 + 5);
    }
}

// The default block a conversion with the sample's new files leaves.
Bytes expectedDefaultBlock() {
    const auto file = [](const char* name) {
        return fromUtf8(std::string(kSampleInstall) + "/data/" + name);
    };
    CodeplugImage cpg;
    FtfImage image;
    EXPECT_TRUE(loadFtf(file("KMVADDR_A01.02.00.ftf").c_str(), image));
    EXPECT_TRUE(cpg.parseAddressMap(image.data.data(), image.length));
    EXPECT_TRUE(loadFtf(file("RQX770HJNWE_DEF_R01.02.00.ftf").c_str(), image));
    EXPECT_TRUE(cpg.parseCodeplug(image.data.data(), image.length));
    const CodeplugBlock& def = cpg.block(kBlockDef);
    return Bytes(def.data.begin(), def.data.begin() + def.capacity);
}

std::vector<std::string> backupNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// One case from start to end, run on a thread of its own; checked afterwards on the test's.
class CaseRun {
public:
    CaseRun(const FaultCase& c, const fs::path& root) : case_(c), folder_(root / slug(c.name)) {}

    // Before the threads: the folders, the radio, backups of the case's set-up.
    bool prepare(std::string& problem) {
        fs::create_directories(folder_ / "data" / "data");
        fs::copy_file(kSampleSetup, folder_ / "data" / "data" / "setup.dat");
        SimRadioConfig config = radioConfig();
        config.flashType = case_.flashType;
        SimRadio radio(config);
        fillCodeplug(radio);
        before_ = stateOf(radio);
        if (!SimState::save(radio, statePath().string(), problem)) {
            return false;
        }
        if (case_.setup == Setup::kFutureBackups) {
            writeFutureBackups();
        }
        if (std::any_of(case_.story.begin(), case_.story.end(),
                        [](const StoryRun& step) { return step.copiedInstallation; })) {
            copyInstallation();
        }
        writeOtherRadioBackup(radio);
        preexisting_ = backupNames(backupFolder());
        return true;
    }

    void run() {
        if (!case_.story.empty()) {
            runStory();
            return;
        }
        std::vector<std::string> args = {"--state", statePath().string(), "--report",
                                         reportPath().string()};
        for (const std::string& fault : case_.faults) {
            args.insert(args.end(), {"--fault", fault});
        }
        test::KmvSimProcess sim(args);
        if (sim.path().empty()) {
            return;
        }
        currentReport_ = reportPath();
        first_ = runCli({.command = kConvertKeeping, .signal = signalFor(case_.setup)}, sim);
        if (case_.setup == Setup::kHangUpDuringFlash || case_.setup == Setup::kKillAfterDynErase) {
            again_ = runCli({.command = kConvertKeeping}, sim);
            info_ = runCli({.command = {"info"}}, sim);
        }
        simExit_ = sim.stop();
        SimRadio radio(radioConfig());
        std::string error;
        if (SimState::load(radio, statePath().string(), error)) {
            after_ = stateOf(radio);
        }
        report_ = readReport(reportPath());
    }

    void check(const Bytes& converted) const;

private:
    // Each command against a kmv-sim of its own on the radio the one before left; the reports
    // add up.
    void runStory() {
        for (size_t i = 0; i < case_.story.size(); ++i) {
            const StoryRun& step = case_.story[i];
            SimRadio radio(radioConfig());
            std::string error;
            if (!SimState::load(radio, statePath().string(), error)) {
                return;
            }
            if (step.contactsKept >= 0) {
                keepContacts(radio, step.contactsKept);
            }
            if (!step.recordEdit.first.empty()) {
                editRecord(step.recordEdit);
            }
            beforeLast_ = stateOf(radio);
            const fs::path report = folder_ / ("report-" + std::to_string(i) + ".txt");
            currentReport_ = report;
            std::vector<std::string> args = {"--state", statePath().string(), "--report",
                                             report.string()};
            for (const std::string& fault : step.faults) {
                args.insert(args.end(), {"--fault", fault});
            }
            test::KmvSimProcess sim(args);
            if (sim.path().empty()) {
                return;
            }
            if (step.moveInstallation) {
                moveInstallation();
            }
            storyRuns_.push_back(runCli(step, sim));
            simExit_ = sim.stop();
            addUp(readReport(report));
        }
        SimRadio radio(radioConfig());
        std::string error;
        if (SimState::load(radio, statePath().string(), error)) {
            after_ = stateOf(radio);
        }
    }
    // The owner keeps the first `count` contacts; they are the personality to keep from now on.
    void keepContacts(SimRadio& radio, int count) {
        std::vector<Bytes> contacts;
        for (int i = 0; i < count; ++i) {
            contacts.push_back(radio.contact(i));
        }
        std::string error;
        if (radio.setContacts(contacts) && SimState::save(radio, statePath().string(), error)) {
            before_.contacts = stateOf(radio).contacts;
        }
    }
    void editRecord(const std::pair<std::string, std::string>& edit) const {
        const fs::path record = folder_ / "data" / "conversion-record.jsonl";
        std::ifstream in(record);
        std::stringstream text;
        text << in.rdbuf();
        in.close();
        std::string content = text.str();
        for (size_t at = 0; (at = content.find(edit.first, at)) != std::string::npos;
             at += edit.second.size()) {
            content.replace(at, edit.first.size(), edit.second);
        }
        std::ofstream(record, std::ios::trunc) << content;
    }
    void addUp(const Report& run) {
        report_.read = run.read;
        for (const auto& [address, count] : run.sectorErases) {
            report_.sectorErases[address] += count;
        }
        for (const auto& [address, count] : run.dynamicErases) {
            report_.dynamicErases[address] += count;
        }
        report_.programs += run.programs;
        report_.unerasedPrograms = std::max(report_.unerasedPrograms, 0) + run.unerasedPrograms;
        lastReport_ = run;
    }
    void checkStory() const;
    // The story's last command that changed the radio (an `info` after it only looks).
    const CliRun& lastRadioWork() const {
        for (size_t i = storyRuns_.size(); i-- > 0;) {
            if (case_.story[i].command.front() != "info") {
                return storyRuns_[i];
            }
        }
        return storyRuns_.back();
    }
    void checkRefusedUnchanged(const CliRun& run) const;

    static std::string slug(const std::string& name) {
        std::string s(name);
        std::replace_if(
            s.begin(), s.end(), [](char c) { return std::isalnum(c) == 0; }, '-');
        return s;
    }
    fs::path statePath() const { return folder_ / "radio.txt"; }
    fs::path reportPath() const { return folder_ / "report.txt"; }
    // The report of the kmv-sim the command at hand talks to.
    fs::path currentReport_;
    fs::path backupFolder() const { return folder_ / "data" / "backup"; }

    fs::path otherRadioBackup() const { return folder_ / "other-radio.pbk"; }
    // Another radio's backup holding this radio's personality, so that writing it in keeps it.
    void writeOtherRadioBackup(const SimRadio& radio) const {
        PersonalityBackup backup;
        const auto model = SimRadio::encodeModel(kModel);
        backup.model.assign(model->begin(), model->end());
        backup.serial.assign(kOtherSerial, kOtherSerial + std::strlen(kOtherSerial));
        backup.codeplugVersion = {'R', 1, 2, 0};
        backup.createdAtMs = kFutureStampMs;
        const RadioState state = stateOf(radio);
        backup.personality.blocks.push_back({0, kKeptDynAddress, state.keptDyn});
        for (int i = 0; i < radio.contactCount(); ++i) {
            backup.personality.addContact(radio.contact(i));
        }
        const Bytes bytes = backup.encode();
        std::ofstream(otherRadioBackup(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    void writeFutureBackups() const {
        fs::create_directories(backupFolder());
        for (int64_t day = 0; day < static_cast<int64_t>(PersonalityBackup::kKeptPerRadio); ++day) {
            PersonalityBackup backup;
            const auto model = SimRadio::encodeModel(kModel);
            backup.model.assign(model->begin(), model->end());
            backup.serial.assign(kSerial, kSerial + std::strlen(kSerial));
            backup.codeplugVersion = {'R', 1, 2, 0};
            backup.createdAtMs = kFutureStampMs + day * kDayMs;
            // Another owner's settings, as on the PC the files came from.
            backup.personality.blocks.push_back(
                {0, kKeptDynAddress, Bytes(kKeptDynLength, static_cast<uint8_t>(0x5A + day))});
            const Bytes bytes = backup.encode();
            std::ofstream(backupFolder() / backup.fileName(), std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        }
    }

    static bool reached(const Report& report, Point point) {
        switch (point) {
            case Point::kSectorErased:
                return !report.sectorErases.empty();
            case Point::kProgrammed:
                return report.programs > 0;
            case Point::kDynamicErased:
                return !report.dynamicErases.empty();
            case Point::kRestoring:
            case Point::kSerialStarted:
                break;
        }
        return false;
    }
    static Signal signalFor(Setup setup) {
        switch (setup) {
            case Setup::kKillAfterDynErase:
                return {SIGKILL, Point::kDynamicErased};
            case Setup::kHangUpDuringFlash:
                return {SIGHUP, Point::kProgrammed};
            case Setup::kPipeClosedDuringFlash:
                return {SIGPIPE, Point::kSectorErased};
            default:
                return {};
        }
    }

    // The command against the case's radio, killed at its deadline.
    CliRun runCli(const StoryRun& step, test::KmvSimProcess& sim) {
        std::vector<std::string> command = {PLUGSHIFT_CLI_PATH};
        for (const std::string& word : step.command) {
            command.push_back(word == kOtherRadioBackup ? otherRadioBackup().string() : word);
        }
        test::ChildProcess::Surroundings surroundings;
        surroundings.input = step.input;
        fs::path data = folder_ / "data";
        fs::path install = step.copiedInstallation ? installationCopy() : fs::path(kSampleInstall);
        if (step.folders == Folders::kRelative) {
            surroundings.folder = folder_.string();
            data = fs::relative(data, folder_);
            install = fs::relative(install, folder_);
        } else if (step.folders == Folders::kElsewhere) {
            fs::create_directories(folder_ / "elsewhere");
            surroundings.folder = (folder_ / "elsewhere").string();
        }
        command.insert(command.end(), {"--port", sim.path(), "--install-dir", install.string(),
                                       "--data-dir", data.string()});
        if (step.recordFullAt > 0 || step.recordSigintAt > 0) {
            surroundings.environment = {
                "LD_PRELOAD=" PLUGSHIFT_RECORD_DISK_SHIM, "ASAN_OPTIONS=verify_asan_link_order=0",
                "PLUGSHIFT_TEST_RECORD_FULL_AT=" + std::to_string(step.recordFullAt),
                "PLUGSHIFT_TEST_RECORD_SIGINT_AT=" + std::to_string(step.recordSigintAt)};
        }
        test::ChildProcess cli(command, true, surroundings);
        std::atomic<bool> ended = false;
        std::thread killer;
        if (step.signal.number != 0) {
            killer = std::thread([&] {
                while (!ended) {
                    if (reached(step.signal.after)) {
                        if (step.signal.toRadio) {
                            sim.signal(step.signal.number);
                        } else {
                            cli.signal(step.signal.number);
                        }
                        killed_ = true;
                        return;
                    }
                    std::this_thread::sleep_for(10ms);
                }
            });
        }
        CliRun run;
        const auto start = Clock::now();
        run.output = cli.readUntil('\0', kRunDeadline);
        run.took = Clock::now() - start;
        ended = true;
        if (killer.joinable()) {
            killer.join();
        }
        run.pastDeadline = run.took >= kRunDeadline;
        run.exitCode = cli.finish(run.pastDeadline ? SIGKILL : 0);
        return run;
    }
    bool reached(Point point) const {
        switch (point) {
            case Point::kRestoring:
                return recordText().find(R"("step":"restore-personality")") != std::string::npos;
            case Point::kSerialStarted:
                return recordText().find(R"("result":"started")") != std::string::npos;
            default:
                return reached(readReport(currentReport_), point);
        }
    }
    std::string recordText() const {
        std::ifstream record(folder_ / "data" / "conversion-record.jsonl");
        std::stringstream text;
        text << record.rdbuf();
        return text.str();
    }
    // Every serial-number update the record saw begin, it also saw end.
    bool serialUpdatesEnded() const {
        std::istringstream lines(recordText());
        std::map<std::string, bool> ended;
        for (std::string line; std::getline(lines, line);) {
            const size_t id = line.find(R"("id":")");
            if (line.find(R"("entry":"serial")") == std::string::npos || id == std::string::npos) {
                continue;
            }
            const std::string key = line.substr(id, line.find('"', id + 6) - id);
            ended[key] = ended[key] || line.find(R"("result":"started")") == std::string::npos;
        }
        return std::all_of(ended.begin(), ended.end(), [](const auto& e) { return e.second; });
    }
    fs::path installationCopy() const {
        return folder_ / (installationMoved_ ? "installation-moved" : "installation");
    }
    void copyInstallation() const {
        fs::create_directories(installationCopy());
        fs::copy(fs::path(kSampleInstall) / "data", installationCopy() / "data",
                 fs::copy_options::recursive);
    }
    void moveInstallation() {
        const fs::path from = installationCopy();
        installationMoved_ = true;
        fs::rename(from, installationCopy());
    }

    void checkRun(const CliRun& run, const char* which) const;
    void checkConverted(const CliRun& run, const Bytes& converted) const;
    void checkFailed(const CliRun& run, bool defaultBlockKept) const;

    const FaultCase& case_;
    fs::path folder_;
    RadioState before_;
    std::vector<std::string> preexisting_;
    CliRun first_;
    std::optional<CliRun> again_;
    std::atomic<bool> killed_ = false;
    bool installationMoved_ = false;
    std::optional<CliRun> info_;
    int simExit_ = -1;
    std::optional<RadioState> after_;
    Report report_;
    std::vector<CliRun> storyRuns_;
    RadioState beforeLast_;
    Report lastReport_;
};

void CaseRun::checkStory() const {
    ASSERT_EQ(storyRuns_.size(), case_.story.size()) << "the story did not run to its end";
    for (size_t i = 0; i < storyRuns_.size(); ++i) {
        const StoryRun& step = case_.story[i];
        const CliRun& run = storyRuns_[i];
        SCOPED_TRACE("command " + std::to_string(i + 1));
        checkRun(run, step.command.front().c_str());
        if (step.exitCode == kAnyFailure) {
            EXPECT_NE(run.exitCode, kExitOk) << run.output;
        } else if (step.exitCode != kAnyExit) {
            EXPECT_EQ(run.exitCode, step.exitCode) << run.output;
        }
        if (step.said != nullptr) {
            EXPECT_THAT(run.output, ::testing::HasSubstr(step.said));
        }
        if (step.exitCode != kExitOk && step.exitCode != kAnyExit) {
            EXPECT_THAT(run.output, ::testing::Not(::testing::HasSubstr(kSuccess)));
        }
        if (step.signal.number != 0) {
            EXPECT_TRUE(killed_) << "the signal never came:\n" << run.output;
        }
    }
}

void CaseRun::checkRefusedUnchanged(const CliRun& run) const {
    EXPECT_NE(run.exitCode, kExitOk) << run.output;
    EXPECT_TRUE(lastReport_.sectorErases.empty() && lastReport_.dynamicErases.empty() &&
                lastReport_.programs == 0)
        << "the refusing command changed the flash";
    EXPECT_EQ(after_->model, beforeLast_.model);
    EXPECT_TRUE(after_->defaultBlock == beforeLast_.defaultBlock) << "the default block changed";
    EXPECT_TRUE(after_->keptDyn == beforeLast_.keptDyn) << "the user information changed";
    EXPECT_EQ(after_->contacts, beforeLast_.contacts) << "the contacts changed";
}

void CaseRun::checkRun(const CliRun& run, const char* which) const {
    EXPECT_FALSE(run.pastDeadline)
        << which << " ran past its deadline of " << kRunDeadline.count() << " s:\n"
        << run.output;
}

void CaseRun::checkConverted(const CliRun& run, const Bytes& converted) const {
    EXPECT_EQ(run.exitCode, kExitOk) << run.output;
    EXPECT_THAT(run.output, ::testing::AnyOf(::testing::HasSubstr(kSuccess),
                                             ::testing::HasSubstr(kFinishedFromBackup)));
    EXPECT_EQ(after_->model, kTargetModel);
    EXPECT_TRUE(after_->defaultBlock == converted) << "the default block is not the codeplug's";
    EXPECT_TRUE(after_->keptDyn == before_.keptDyn) << "the user information was not kept";
    EXPECT_EQ(after_->contacts, before_.contacts) << "the contacts were not kept";
}

void CaseRun::checkFailed(const CliRun& run, bool defaultBlockKept) const {
    EXPECT_NE(run.exitCode, kExitOk) << run.output;
    EXPECT_THAT(run.output, ::testing::Not(::testing::HasSubstr(kSuccess)));
    EXPECT_THAT(run.output, ::testing::Not(::testing::HasSubstr(kFinishedFromBackup)));
    EXPECT_THAT(run.output, ::testing::ContainsRegex("[Ff]ailed")) << "the failure is not said";
    EXPECT_TRUE(report_.dynamicErases.empty()) << "the dynamic block was erased";
    EXPECT_EQ(report_.programs, 0) << "the default block was programmed";
    if (defaultBlockKept) {
        EXPECT_EQ(after_->model, kModel);
        EXPECT_TRUE(after_->defaultBlock == before_.defaultBlock) << "the default block changed";
    }
    EXPECT_TRUE(after_->keptDyn == before_.keptDyn) << "the user information changed";
    EXPECT_EQ(after_->contacts, before_.contacts) << "the contacts changed";
}

void CaseRun::check(const Bytes& converted) const {
    ASSERT_EQ(simExit_, 0) << "kmv-sim did not run or save its radio";
    ASSERT_TRUE(after_) << "the radio's state could not be read back";
    ASSERT_TRUE(report_.read) << "kmv-sim wrote no report";

    if (case_.story.empty()) {
        checkRun(first_, "convert");
    } else {
        checkStory();
    }
    if (case_.setup == Setup::kHangUpDuringFlash || case_.setup == Setup::kPipeClosedDuringFlash) {
        EXPECT_TRUE(killed_) << "no signal was sent during the flash:\n" << first_.output;
    }
    if (case_.setup == Setup::kHangUpDuringFlash) {
        EXPECT_NE(first_.exitCode, kExitOk) << first_.output;
        EXPECT_THAT(first_.output, ::testing::HasSubstr("stopped at the user's request"));
        EXPECT_THAT(first_.output, ::testing::HasSubstr("plugshift-cli convert --yes --port "));
        ASSERT_TRUE(again_);
        checkRun(*again_, "convert after the hang-up");
    }
    if (info_) {
        EXPECT_EQ(info_->exitCode, kExitOk) << "info after the finish:\n" << info_->output;
    }
    if (case_.setup == Setup::kKillAfterDynErase) {
        EXPECT_TRUE(killed_) << "the tool was not killed after the DYN erase:\n" << first_.output;
        checkRun(*again_, "convert after the kill");
    }
    const CliRun& last = !storyRuns_.empty() ? lastRadioWork() : again_ ? *again_ : first_;

    for (const auto& [address, count] : report_.sectorErases) {
        EXPECT_TRUE(address >= kDefaultBlock && address < kDefaultBlockEnd &&
                    (address - kDefaultBlock) % kSectorSize == 0)
            << "a sector erase outside the default block, at 0x" << std::hex << address;
    }
    for (const auto& [address, count] : report_.dynamicErases) {
        EXPECT_EQ(address, kDynamicBlock) << "a dynamic-block erase elsewhere";
    }
    EXPECT_EQ(report_.unerasedPrograms, 0) << "flash was programmed without its erase";

    // Every backup the tool wrote is of this radio, and one of them is still there.
    std::vector<std::string> written;
    for (const std::string& name : backupNames(backupFolder())) {
        if (!std::binary_search(preexisting_.begin(), preexisting_.end(), name)) {
            written.push_back(name);
            EXPECT_EQ(name.rfind(std::string(kModel) + "_" + kSerial + "_", 0), 0u)
                << "a backup named for another radio: " << name;
        }
    }
    const bool keptByABackupOfItsOwn =
        case_.outcome == Outcome::kConverted &&
        std::none_of(case_.story.begin(), case_.story.end(), [](const StoryRun& step) {
            return step.command.front() == "restore-personality";
        });
    if (keptByABackupOfItsOwn && (report_.programs > 0 || !report_.dynamicErases.empty())) {
        EXPECT_FALSE(written.empty()) << "the radio was erased and no backup of it is left";
    }

    const bool succeeded = last.exitCode == kExitOk;
    switch (case_.outcome) {
        case Outcome::kConverted:
            checkConverted(last, converted);
            break;
        case Outcome::kSerialTraced:
            EXPECT_TRUE(report_.sectorErases.empty() && report_.dynamicErases.empty() &&
                        report_.programs == 0)
                << "a serial-number update changed the flash";
            EXPECT_THAT(after_->serial, ::testing::AnyOf(kSerial, kNewSerial));
            EXPECT_TRUE(serialUpdatesEnded()) << recordText();
            break;
        case Outcome::kConvertedWithoutPersonality:
            EXPECT_EQ(after_->model, kTargetModel);
            EXPECT_TRUE(after_->defaultBlock == converted) << "the default block is not the "
                                                              "codeplug's";
            break;
        case Outcome::kRefusedUnchanged:
            checkRefusedUnchanged(last);
            break;
        case Outcome::kFailedUntouched:
            checkFailed(last, true);
            break;
        case Outcome::kFailedBeforeProgramming:
            checkFailed(last, false);
            break;
        case Outcome::kConvertedOrFailedUntouched:
            if (succeeded) {
                checkConverted(last, converted);
            } else {
                checkFailed(last, true);
            }
            break;
    }
}

int jobs() {
    const char* text = std::getenv("PLUGSHIFT_FAULT_TABLE_JOBS");
    const int n = text != nullptr ? std::atoi(text) : kDefaultJobs;
    return std::max(n, 1);
}

bool chosen(const FaultCase& c) {
    const char* text = std::getenv("PLUGSHIFT_FAULT_TABLE_CASES");
    return text == nullptr || *text == '\0' || c.name.find(text) != std::string::npos;
}

TEST(FaultTable, EachFaultEndsConvertedWithThePersonalityOrUntouchedWithTheFailureSaid) {
    const fs::path root = fs::temp_directory_path() / ("fault-table-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const Bytes converted = expectedDefaultBlock();

    std::vector<std::unique_ptr<CaseRun>> runs;
    const std::vector<FaultCase> cases = allCases();
    for (const FaultCase& c : cases) {
        if (!chosen(c)) {
            continue;
        }
        runs.push_back(std::make_unique<CaseRun>(c, root));
        std::string problem;
        ASSERT_TRUE(runs.back()->prepare(problem)) << c.name << ": " << problem;
    }

    std::atomic<size_t> next = 0;
    std::vector<std::thread> workers;
    for (int i = 0; i < jobs(); ++i) {
        workers.emplace_back([&] {
            for (size_t n = next++; n < runs.size(); n = next++) {
                runs[n]->run();
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }

    size_t index = 0;
    for (const FaultCase& c : cases) {
        if (!chosen(c)) {
            continue;
        }
        SCOPED_TRACE(c.name);
        runs[index++]->check(converted);
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

}  // namespace
}  // namespace plugshift
