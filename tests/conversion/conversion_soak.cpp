#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "config/configuration.h"
#include "conversion/conversion_messages.h"
#include "conversion/convert_decisions.h"
#include "conversion/personality_backup.h"
#include "errors/error_category.h"
#include "radio/sbep_protocol.h"
#include "sim/sim_faults.h"
#include "sim_rig.h"

// Many conversions with the personality kept, each against a simulated radio with one random
// fault: a line or radio fault from the simulator's catalogue, now and then a damaged file. A run
// ends either converted with the personality intact, or failed with a numbered record and the
// message the user must see; then, on a healthy link, the recovery the tool offers (converting
// again with the personality from the failed run's backup, or, when the run stopped before it
// saved one, a plain conversion of the untouched radio) ends converted with the personality.
//
// PLUGSHIFT_SOAK_SEED (first seed), PLUGSHIFT_SOAK_RUNS and PLUGSHIFT_SOAK_SECONDS (time budget)
// change the defaults; run i uses seed + i, so one broken run repeats with its own seed and a
// count of 1.
namespace plugshift::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Sized for about two minutes under the sanitizers on a shared two-core machine; the budget
// stops a slower machine from starting new runs past it (the summary says so).
constexpr uint64_t kDefaultSeed = 1;
constexpr int kDefaultRuns = 1800;
constexpr std::chrono::seconds kDefaultBudget{170};
// One run (conversion, restore and second conversion) takes well under a second; one that has
// not ended after this long hangs, and the soak stops there with its seed.
constexpr std::chrono::seconds kRunBound{60};
// Line time (the simulator's clock, which only moves while the host waits) one fault may cost:
// a byte missing from a damaged reply to a reset is waited for 500 read time-outs of 600 ms, in
// each of the reset's two attempts. Past this a run counts as hung.
constexpr SimTime kLineBound = std::chrono::minutes(11);
// Runs that waited on the line longer than this are counted in the summary.
constexpr SimTime kLongWait = std::chrono::minutes(1);
// Reads of one read time-out each that let every late reply arrive before a recovery; the
// longest delay the catalogue draws is well within them.
constexpr int kQuietReads = 100;
// Broken runs past this many are counted but not described.
constexpr int kBrokenRunsShown = 10;

// The message boxes of a failed conversion.
constexpr int kFilesDamagedMessage = kStrFileProblem;
constexpr int kConvertFailedMessage = kStrConvertFailed;
constexpr int kBackupNotSavedMessage = kStrBackupNotSaved;

// Contact counts of the radios: none (no master reset), one, a few, the sample's and many.
constexpr int kContactCounts[] = {0, 1, 3, 12, 40};
constexpr int kFlashTypes = 3;

// What a failed run's last record may say: the step it had reached.
constexpr const wchar_t* kStepTexts[] = {
    conversion_text::kStepUpdate,          conversion_text::kStepLoadAddressMap,
    conversion_text::kStepKeepUserInfo,    conversion_text::kStepBeginUpdate,
    conversion_text::kStepUpdateDefault,   conversion_text::kStepFinalize,
    conversion_text::kStepRestoreUserInfo,
};

enum class FileFault { kNone, kBackupFolder, kCodeplug };

struct SoakSettings {
    uint64_t seed = kDefaultSeed;
    int runs = kDefaultRuns;
    std::chrono::seconds budget = kDefaultBudget;
};

uint64_t environmentNumber(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 0);
    if (*end != '\0') {
        ADD_FAILURE() << name << " is not a number: " << text;
        return fallback;
    }
    return value;
}

SoakSettings settingsFromEnvironment() {
    SoakSettings settings;
    settings.seed = environmentNumber("PLUGSHIFT_SOAK_SEED", kDefaultSeed);
    settings.runs = static_cast<int>(environmentNumber("PLUGSHIFT_SOAK_RUNS", kDefaultRuns));
    settings.budget = std::chrono::seconds(
        environmentNumber("PLUGSHIFT_SOAK_SECONDS", static_cast<uint64_t>(kDefaultBudget.count())));
    return settings;
}

// How long a clean conversion of one kind of radio is, so random faults land anywhere in it.
struct RunLength {
    uint32_t replies = 0;
    uint64_t hostBytes = 0;
};

// Radios of the new layout, which the sample's new files convert; flash type 0 has room only for
// the old layout's shorter default block below its dynamic block.
bool oldLayout(int flashType) {
    return flashType == 0;
}

SimD2xx::Options radioOptions(int flashType, uint64_t seed) {
    SimD2xx::Options options = SimRig::defaultOptions();
    options.radio.flashType = flashType;
    options.radio.codeplug =
        oldLayout(flashType) ? SimVersion{{'R', 1, 3, 0}} : SimVersion{{'R', 1, 2, 0}};
    options.radio.contacts = 0;
    options.seed = seed;
    return options;
}

ConversionSetup setupFor(int flashType) {
    ConversionSetup setup;
    if (oldLayout(flashType)) {
        setup.addressFile = sampleFile(kOldAddressMap);
        setup.codeplugFile = sampleFile(kOldCodeplug);
    }
    return setup;
}

class CleanRuns {
public:
    explicit CleanRuns(const std::filesystem::path& folder) : folder_(folder) {}

    const RunLength& of(int flashType, int contacts) {
        auto [it, added] = lengths_.try_emplace({flashType, contacts});
        if (added) {
            SimD2xx::Options options = radioOptions(flashType, 1);
            options.radio.contacts = contacts;
            SimRig rig(options);
            const uint64_t before = rig.hostBytes();
            Conversion conversion(rig, folder_ / "clean", setupFor(flashType));
            EXPECT_TRUE(conversion.run()) << toUtf8(ErrorChain::text());
            ErrorChain::remove(0);
            it->second.replies = static_cast<uint32_t>(rig.requests.size());
            it->second.hostBytes = rig.hostBytes() - before;
        }
        return it->second;
    }

private:
    std::filesystem::path folder_;
    std::map<std::pair<int, int>, RunLength> lengths_;
};

// One run's radio and fault, all drawn from its seed.
struct RunPlan {
    uint64_t seed = 0;
    int flashType = 1;
    int contacts = 0;
    std::optional<SimFault> fault;
    FileFault fileFault = FileFault::kNone;

    // The row of the summary the run counts in.
    std::string kind() const {
        switch (fileFault) {
            case FileFault::kBackupFolder:
                return "file:backup-folder";
            case FileFault::kCodeplug:
                return "file:codeplug";
            case FileFault::kNone:
                break;
        }
        return SimFaults::info(fault->kind).name;
    }
    bool refusesResets() const {
        return fault && fault->kind == SimFaultKind::RefuseOpcode && fault->at == sbep::kOpReset;
    }
    std::string describe() const {
        return "seed " + std::to_string(seed) + ": flash type " + std::to_string(flashType) + ", " +
               std::to_string(contacts) + " contacts, fault " +
               (fault ? SimFaults::format(*fault) : kind());
    }
};

uint32_t pick(std::mt19937_64& generator, uint64_t below) {
    return static_cast<uint32_t>(generator() % below);
}

RunPlan drawPlan(uint64_t seed, CleanRuns& clean) {
    std::mt19937_64 generator(seed);
    RunPlan plan;
    plan.seed = seed;
    plan.flashType = static_cast<int>(pick(generator, kFlashTypes));
    plan.contacts = kContactCounts[pick(generator, std::size(kContactCounts))];
    const auto catalogue = SimFaults::catalogue();
    // One draw in catalogue size + 1 damages a file instead.
    const uint32_t drawn = pick(generator, catalogue.size() + 1);
    if (drawn == catalogue.size()) {
        plan.fileFault = pick(generator, 2) == 0 ? FileFault::kBackupFolder : FileFault::kCodeplug;
        return plan;
    }
    SimFault fault = SimFaults::random(catalogue[drawn].kind, generator, plan.flashType);
    const RunLength& length = clean.of(plan.flashType, plan.contacts);
    switch (fault.kind) {
        case SimFaultKind::DropReply:
        case SimFaultKind::CorruptReply:
        case SimFaultKind::DelayReply:
        case SimFaultKind::CutReply:
        case SimFaultKind::DamageReply:
            if (!fault.request) {
                fault.at = 1 + pick(generator, length.replies);
            }
            break;
        case SimFaultKind::PullCable:
            fault.at = 1 + static_cast<uint32_t>(pick(generator, length.hostBytes));
            break;
        default:
            break;
    }
    plan.fault = fault;
    return plan;
}

// Ends the process with the run's seed when a run outlives its bound: a hang cannot be failed
// from inside.
class Watchdog {
public:
    Watchdog() : thread_([this] { watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard guard(lock_);
            stopping_ = true;
        }
        changed_.notify_one();
        thread_.join();
    }

    void arm(std::string what, std::chrono::seconds bound) {
        {
            std::lock_guard guard(lock_);
            what_ = std::move(what);
            deadline_ = Clock::now() + bound;
        }
        changed_.notify_one();
    }
    void disarm() {
        std::lock_guard guard(lock_);
        deadline_.reset();
    }

private:
    void watch() {
        std::unique_lock guard(lock_);
        while (!stopping_) {
            if (!deadline_) {
                changed_.wait(guard);
            } else if (changed_.wait_until(guard, *deadline_) == std::cv_status::timeout &&
                       deadline_ && Clock::now() >= *deadline_) {
                std::fprintf(stderr, "soak: run %s did not end within %lld s: it hangs\n",
                             what_.c_str(), static_cast<long long>(kRunBound.count()));
                std::fflush(stderr);
                std::abort();
            }
        }
    }

    std::mutex lock_;
    std::condition_variable changed_;
    std::optional<Clock::time_point> deadline_;
    std::string what_;
    bool stopping_ = false;
    std::thread thread_;
};

// What the radio's owner stands to lose.
struct PersonalityState {
    Bytes dyn;
    std::vector<Bytes> contacts;
};

PersonalityState personalityOf(SimRig& rig) {
    return {rig.dynBytes(kKeptDyn.length), rig.contacts()};
}

// Contents no erase, reset or default can produce, different in every run.
PersonalityState seedPersonality(SimRig& rig, uint64_t seed, int contacts) {
    std::mt19937_64 generator(seed ^ 0x5EED5EED5EEDull);
    for (uint8_t& byte : rig.sim().flash().block(SimBlock::Dyn)) {
        byte = static_cast<uint8_t>(generator());
    }
    // The old codeplug's settings behind its header, so that programming over them shows.
    const auto def = rig.sim().flash().block(SimBlock::Def);
    for (size_t i = SimRadio::kCodeplugVersionOffset + 4; i < def.size(); ++i) {
        def[i] = static_cast<uint8_t>(generator());
    }
    std::vector<Bytes> list;
    for (int i = 0; i < contacts; ++i) {
        Bytes contact(SimRadio::kContactSize);
        for (uint8_t& byte : contact) {
            byte = static_cast<uint8_t>(generator());
        }
        // Groups 1 to 4, and now and then none (0 or 5): those are the owner's as well.
        contact[Personality::kGroupByte] = static_cast<uint8_t>(pick(generator, 6));
        list.push_back(std::move(contact));
    }
    EXPECT_TRUE(rig.sim().setContacts(list));
    return personalityOf(rig);
}

// A copy of the codeplug file with its last byte changed: the digest no longer matches.
std::wstring damagedCodeplug(const std::filesystem::path& folder, int flashType) {
    std::ifstream in(toUtf8(setupFor(flashType).codeplugFile), std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.back() ^= 0x01;
    const auto copy = folder / "damaged-codeplug.ftf";
    std::ofstream(copy, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return copy.wstring();
}

// A backup folder that cannot be made: its parent is a file.
std::filesystem::path blockedFolder(const std::filesystem::path& folder) {
    const auto file = folder / "not-a-folder";
    std::ofstream(file) << "x";
    return file / "backup";
}

struct KindTally {
    int runs = 0;
    int converted = 0;
    int failed = 0;
};

struct Tally {
    std::map<std::string, KindTally> kinds;
    // By the numbers of the run's records, oldest first.
    std::map<std::string, int> failures;
    int runs = 0;
    int converted = 0;
    int failed = 0;
    int restored = 0;
    int untouched = 0;
    int recovered = 0;
    int leftInTestMode = 0;
    int longWaits = 0;
    std::map<int, int> messages;
    std::vector<std::string> broken;
    Clock::duration longestRun{0};
    SimTime longestLine{0};
    std::string longestLineRun;
};

// Counts the failed expectations, so each run can tell whether it broke one.
class FailureCounter : public ::testing::EmptyTestEventListener {
public:
    FailureCounter() { ::testing::UnitTest::GetInstance()->listeners().Append(this); }
    ~FailureCounter() override { ::testing::UnitTest::GetInstance()->listeners().Release(this); }
    FailureCounter(const FailureCounter&) = delete;
    FailureCounter& operator=(const FailureCounter&) = delete;

    void OnTestPartResult(const ::testing::TestPartResult& result) override {
        failed_ += result.failed() ? 1 : 0;
    }
    int failed() const { return failed_; }

private:
    int failed_ = 0;
};

std::string hex(int number) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%03x", number);
    return text;
}

class ConversionSoak : public ::testing::Test {
protected:
    // The sample installation, which the recovery plans from.
    void SetUp() override {
        ErrorChain::remove(0);
        Configuration& config = Configuration::instance();
        config.reset();
        ASSERT_TRUE(config.createDocument());
        ASSERT_TRUE(config.load(fromUtf8(PLUGSHIFT_SAMPLE_INSTALL_DIR "/data/config.xml"),
                                fromUtf8(PLUGSHIFT_SAMPLE_DATA_DIR "/data/setup.dat")))
            << toUtf8(ErrorChain::text());
    }
    void TearDown() override {
        ErrorChain::remove(0);
        Configuration::instance().reset();
    }

    void runOne(const RunPlan& plan);
    void expectConverted(SimRig& rig, int flashType, bool resetsRefused);
    void expectFlashedSafely(SimRig& rig, int flashType);
    void checkFailure(const RunPlan& plan, const ConvertRadio& command);
    void recover(const RunPlan& plan, SimRig& rig, const std::filesystem::path& backup,
                 const PersonalityState& before);
    void printSummary(const SoakSettings& settings, Clock::duration elapsed) const;

    TempFolder folder;
    Bytes newLayoutBlock = expectedDefaultBlock(setupFor(1));
    Bytes oldLayoutBlock = expectedDefaultBlock(setupFor(0));
    Tally tally;
};

// A reset takes any reply as done, a refusal included, so a radio that refused its final soft
// reset stays in its test mode; only a restart of the radio brings it back.
void ConversionSoak::expectConverted(SimRig& rig, int flashType, bool resetsRefused) {
    const auto def = rig.sim().flash().block(SimBlock::Def);
    const Bytes& expected = oldLayout(flashType) ? oldLayoutBlock : newLayoutBlock;
    ASSERT_LE(expected.size(), def.size());
    EXPECT_TRUE(Bytes(def.begin(), def.begin() + static_cast<std::ptrdiff_t>(expected.size())) ==
                expected)
        << "the default block differs";
    EXPECT_EQ(RadioInfo::modelText(rig.sim().model()), fromUtf8(kTargetModel));
    EXPECT_EQ(rig.sim().codeplugVersion().text(), oldLayout(flashType) ? "R01.03.00" : "R01.02.00");
    EXPECT_EQ(rig.sim().protectionMode(), SimRadio::lockMode(flashType));
    if (rig.sim().mode() != SimRadio::Mode::Normal) {
        EXPECT_TRUE(resetsRefused) << "left in a test mode";
        ++tally.leftInTestMode;
    }
}

// Whatever the fault, the run erased only sectors of the radio's default block and its dynamic
// block, and programmed no flash it had not erased.
void ConversionSoak::expectFlashedSafely(SimRig& rig, int flashType) {
    const SimFlashActivity& activity = rig.driver.cable(0).responder().flashActivity();
    const uint32_t first = SimFlash::defaultBlockAddress(flashType);
    const uint32_t end = first + SimFlash::kDefaultSectors * SimFlash::kSectorSize;
    for (const auto& [address, count] : activity.sectorErases) {
        EXPECT_TRUE(address >= first && address < end &&
                    (address - first) % SimFlash::kSectorSize == 0)
            << "a sector erase outside the default block, at " << address;
    }
    for (const auto& [address, count] : activity.dynamicErases) {
        EXPECT_EQ(address, SimFlash::dynamicBlockAddress(flashType)) << "a dynamic erase elsewhere";
    }
    EXPECT_EQ(rig.sim().flash().unerasedPrograms(), 0) << "flash programmed without its erase";
}

// A numbered record, the step text last, and the message box the tool picks.
void ConversionSoak::checkFailure(const RunPlan& plan, const ConvertRadio& command) {
    const auto records = ErrorChain::records();
    const auto numbers = numbersIn(records);
    if (numbers.empty()) {
        // The one failure without a number: the backup could not be saved, nothing was erased.
        const std::wstring text = conversion_text::kBackupNotSaved;
        const std::wstring head = text.substr(0, text.find(L'['));
        ASSERT_TRUE(std::any_of(records.begin(), records.end(), [&](const ErrorRecord& r) {
            return r.message.starts_with(head);
        })) << toUtf8(ErrorChain::text());
        ++tally.failures["backup-not-saved"];
    } else {
        std::string key;
        for (int number : numbers) {
            key += (key.empty() ? "" : ",") + hex(number);
        }
        ++tally.failures[key];
    }
    EXPECT_EQ(records.back().category, kErrorUpdate);
    EXPECT_TRUE(std::any_of(std::begin(kStepTexts), std::end(kStepTexts), [&](const wchar_t* step) {
        return records.back().message == step;
    })) << toUtf8(records.back().message);
    const std::wstring oldest = ErrorChain::firstMessage();
    const int shown = concludeFailedConversion(command, {}, true, nullptr).stringId;
    const int expected = plan.fileFault == FileFault::kNone       ? kConvertFailedMessage
                         : plan.fileFault == FileFault::kCodeplug ? kFilesDamagedMessage
                                                                  : kBackupNotSavedMessage;
    ++tally.messages[shown];
    EXPECT_EQ(shown, expected) << "oldest record: " << toUtf8(oldest);
}

// On a healthy link, what the tool offers after the failure: with a backup, converting the radio
// again with the backup's personality (the window's offer, restore-personality on the command
// line); without one, nothing was touched and the radio converts as usual.
void ConversionSoak::recover(const RunPlan& plan, SimRig& rig, const std::filesystem::path& backup,
                             const PersonalityState& before) {
    rig.faults().clear();
    if (rig.driver.cable(0).pulled()) {
        rig.driver.plugIn(0);
        ASSERT_TRUE(rig.radio.connectPort(0)) << toUtf8(ErrorChain::text());
    }
    // A person answers the offer seconds later, when every late reply has arrived. The simulated
    // line's clock moves only while the host reads, so the host reads until the line is quiet.
    uint8_t byte = 0;
    for (int i = 0; i < kQuietReads && !rig.driver.cable(0).pending().empty(); ++i) {
        rig.radio.port()->read(&byte, 1);
    }
    // Both front ends then connect afresh, which drops what arrived meanwhile.
    ASSERT_TRUE(rig.radio.connectPort(0)) << toUtf8(ErrorChain::text());
    ErrorChain::remove(0);
    bool converted = false;
    if (backup.empty()) {
        EXPECT_TRUE(personalityOf(rig).dyn == before.dyn) << "DYN changed without a backup";
        EXPECT_TRUE(personalityOf(rig).contacts == before.contacts)
            << "contacts changed without a backup";
        ++tally.untouched;
        Conversion again(rig, folder.path() / "again", setupFor(plan.flashType));
        converted = again.run();
    } else {
        ASSERT_TRUE(rig.radio.readIdentity()) << toUtf8(ErrorChain::text());
        PersonalityBackup saved;
        ASSERT_TRUE(PersonalityBackup::load(backup, saved)) << toUtf8(ErrorChain::text());
        WorkflowOutcome outcome;
        ASSERT_TRUE(backupBelongsTo(saved, rig.radio, outcome)) << toUtf8(outcome.text());
        ConvertPlan recovery;
        ASSERT_TRUE(planRecovery(Configuration::instance(), saved, recovery, outcome))
            << toUtf8(outcome.text());
        ConvertRadio command;
        prepareRecovery(command, recovery, saved, backup, rig.radio, 100);
        command.setSleeper([](std::chrono::milliseconds) {});
        converted = command.run();
        tally.restored += converted;
    }
    EXPECT_TRUE(converted) << "the recovery failed: " << toUtf8(ErrorChain::text());
    expectConverted(rig, plan.flashType, false);
    const bool kept = rig.dynBytes(kKeptDyn.length) == before.dyn &&
                      rig.contacts() == inRestoreOrder(before.contacts);
    EXPECT_TRUE(kept) << "the personality did not come back";
    tally.recovered += converted && kept ? 1 : 0;
    ErrorChain::remove(0);
}

void ConversionSoak::runOne(const RunPlan& plan) {
    // Every fault, late replies included, on a line with its honest timing.
    SimRig rig(radioOptions(plan.flashType, plan.seed));
    const PersonalityState before = seedPersonality(rig, plan.seed, plan.contacts);
    // The fault counts replies and bytes from the start of the conversion.
    rig.faults() = SimFaults(plan.seed);
    if (plan.fault) {
        SimFault fault = *plan.fault;
        if (fault.kind == SimFaultKind::PullCable) {
            fault.at += static_cast<uint32_t>(rig.hostBytes());
        }
        rig.faults().add(fault);
    }
    const auto runFolder = folder.path() / ("run-" + std::to_string(plan.seed));
    std::filesystem::create_directories(runFolder);
    ConversionSetup setup = setupFor(plan.flashType);
    std::filesystem::path backups = runFolder / "backup";
    if (plan.fileFault == FileFault::kCodeplug) {
        setup.codeplugFile = damagedCodeplug(runFolder, plan.flashType);
    } else if (plan.fileFault == FileFault::kBackupFolder) {
        backups = blockedFolder(runFolder);
    }
    Conversion conversion(rig, backups, setup);
    ErrorChain::remove(0);

    const SimTime lineStart = rig.driver.now();
    const bool converted = conversion.run();
    const SimTime lineTime = rig.driver.now() - lineStart;
    EXPECT_LE(lineTime, kLineBound) << "the conversion hung on the line";
    tally.longWaits += lineTime > kLongWait ? 1 : 0;
    if (lineTime > tally.longestLine) {
        tally.longestLine = lineTime;
        tally.longestLineRun = plan.describe();
    }

    expectFlashedSafely(rig, plan.flashType);

    KindTally& kind = tally.kinds[plan.kind()];
    ++kind.runs;
    if (converted) {
        ++kind.converted;
        ++tally.converted;
        expectConverted(rig, plan.flashType, plan.refusesResets());
        EXPECT_TRUE(rig.dynBytes(kKeptDyn.length) == before.dyn) << "DYN not kept";
        EXPECT_TRUE(rig.contacts() == inRestoreOrder(before.contacts)) << "contacts not kept";
        // No numbered failure is one a run goes on after.
        for (int number : numbersIn(ErrorChain::records())) {
            ADD_FAILURE() << hex(number) << " in a success";
        }
        ErrorChain::remove(0);
    } else {
        ++kind.failed;
        ++tally.failed;
        checkFailure(plan, conversion.command);
        ErrorChain::remove(0);
        recover(plan, rig, conversion.command.lastBackupPath(), before);
    }
    std::filesystem::remove_all(runFolder);
}

void ConversionSoak::printSummary(const SoakSettings& settings, Clock::duration elapsed) const {
    const auto seconds = [](auto duration) {
        return std::chrono::duration<double>(duration).count();
    };
    std::printf(
        "\nConversion soak: seeds %llu..%llu, %d runs in %.1f s (longest run %.2f s, "
        "longest line time %.1f s)\n",
        static_cast<unsigned long long>(settings.seed),
        static_cast<unsigned long long>(settings.seed + tally.runs - 1), tally.runs,
        seconds(elapsed), seconds(tally.longestRun), seconds(tally.longestLine));
    std::printf(
        "longest line time: %s; runs that waited over %lld s on the line: %d\n",
        tally.longestLineRun.c_str(),
        static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(kLongWait).count()),
        tally.longWaits);
    std::printf("%-20s %6s %10s %7s\n", "fault", "runs", "converted", "failed");
    for (const auto& [name, kind] : tally.kinds) {
        std::printf("%-20s %6d %10d %7d\n", name.c_str(), kind.runs, kind.converted, kind.failed);
    }
    std::printf("%-20s %6d %10d %7d\n", "total", tally.runs, tally.converted, tally.failed);
    std::printf("failures by their numbers:\n");
    for (const auto& [numbers, count] : tally.failures) {
        std::printf("  %-30s %6d\n", numbers.c_str(), count);
    }
    const auto shown = [this](int message) {
        return tally.messages.contains(message) ? tally.messages.at(message) : 0;
    };
    std::printf(
        "messages shown: 112 (files damaged) %d, 115 (convert failed) %d, 183 (backup not "
        "saved) %d\n",
        shown(kFilesDamagedMessage), shown(kConvertFailedMessage), shown(kBackupNotSavedMessage));
    std::printf(
        "after a failure: converted again from its backup %d, untouched (no backup yet) and "
        "converted %d; ended converted with the personality %d of %d\n",
        tally.restored, tally.untouched, tally.recovered, tally.failed);
    std::printf("converted but left in test mode (a refused reset taken as done): %d\n",
                tally.leftInTestMode);
    std::printf("broken runs: %zu\n", tally.broken.size());
    for (size_t i = 0; i < tally.broken.size() && i < kBrokenRunsShown; ++i) {
        std::printf("  %s\n", tally.broken[i].c_str());
    }
    std::fflush(stdout);
}

TEST_F(ConversionSoak, EveryFaultEndsConvertedWithThePersonalityThroughTheOfferedRecovery) {
    const SoakSettings settings = settingsFromEnvironment();
    CleanRuns clean(folder.path());
    Watchdog watchdog;
    FailureCounter failures;
    const auto start = Clock::now();
    for (int i = 0; i < settings.runs; ++i) {
        if (Clock::now() - start > settings.budget) {
            std::printf("soak: time budget of %lld s spent after %d of %d runs\n",
                        static_cast<long long>(settings.budget.count()), i, settings.runs);
            break;
        }
        const RunPlan plan = drawPlan(settings.seed + static_cast<uint64_t>(i), clean);
        const int failedBefore = failures.failed();
        const auto runStart = Clock::now();
        watchdog.arm(plan.describe(), kRunBound);
        {
            SCOPED_TRACE(plan.describe());
            runOne(plan);
        }
        watchdog.disarm();
        tally.longestRun = std::max(tally.longestRun, Clock::now() - runStart);
        ++tally.runs;
        if (failures.failed() != failedBefore) {
            tally.broken.push_back(plan.describe());
            std::printf(
                "soak: broken run, %s (repeat: PLUGSHIFT_SOAK_SEED=%llu "
                "PLUGSHIFT_SOAK_RUNS=1)\n",
                plan.describe().c_str(), static_cast<unsigned long long>(plan.seed));
        }
    }
    printSummary(settings, Clock::now() - start);
    EXPECT_TRUE(tally.broken.empty());
}

}  // namespace
}  // namespace plugshift::test
