#include "conversion/failure_trace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "conversion/convert_decisions.h"
#include "conversion/workflow_strings.h"
#include "errors/error_log.h"
#include "log_capture.h"
#include "radio/frame_ring.h"
#include "sim_rig.h"

namespace plugshift::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr uint8_t kFlashOpcode = 0x72;
const std::regex kFrameLine(
    R"(\d\d:\d\d:\d\d\.\d{3} (TX|RX) ((\(nothing\))|[0-9A-F]{2}( [0-9A-F]{2})*)( \.\.\. \(\d+ bytes\))?)");

std::vector<std::string> linesOf(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string hexOf(const Bytes& frame) {
    std::string text;
    for (uint8_t byte : frame) {
        char two[4];
        std::snprintf(two, sizeof two, "%02X", byte);
        text += (text.empty() ? "" : " ") + std::string(two);
    }
    return text;
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

void touch(const fs::path& file, const std::string& content = "earlier\n") {
    std::ofstream(file) << content;
}

class FailureTraceTest : public ::testing::Test {
protected:
    fs::path logFolder() const { return log.folder() / "log"; }

    LogCapture log;
    TempFolder backups;
};

TEST_F(FailureTraceTest, AFailedConversionLeavesItsFramesBesideErrLogNamedAfterTheSummary) {
    SimRig rig;
    rig.faults().add({SimFaultKind::RefuseOpcode, kFlashOpcode, 0});
    Conversion conversion(rig, backups.path());
    ASSERT_FALSE(conversion.run());
    const std::string chain = toUtf8(ErrorChain::text());
    const Request refused = rig.requestsTo({kFlashOpcode}).back();

    const RadioSummary radio{L"RQX770HJNWA", L"752TRX4F21", L"R02.10.05", L"R01.03.00"};
    const WorkflowOutcome outcome =
        concludeFailedConversion(conversion.command, radio, true, rig.radio.frameRing());
    EXPECT_EQ(outcome.stringId, kStrConvertFailed);

    const std::set<std::string> names = namesIn(logFolder());
    ASSERT_EQ(names.size(), 2u);  // err.log and the trace
    const std::string traceName = *names.rbegin();
    EXPECT_TRUE(std::regex_match(traceName, std::regex(R"(sbep-trace-\d{8}-\d{6}\.txt)")))
        << traceName;
    const fs::path trace = logFolder() / traceName;

    // The summary exactly as before, its chain and the empty line; the trace's entry right after.
    const std::string withoutStamps =
        std::regex_replace(log.text(), std::regex(R"(\[ \d\d-\d\d \d\d:\d\d:\d\d \] )"), "");
    EXPECT_EQ(withoutStamps,
              "Update radio failed (Model:RQX770HJNWA,SN:752TRX4F21,Firmware:R02.10.05,"
              "Codeplug:R01.03.00,Restore:1), this's caused by:\n" +
                  chain + "\nSBEP trace of this failure: " + trace.string() + "\n");

    const std::vector<std::string> lines = linesOf(trace);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_TRUE(std::regex_match(
        lines[0],
        std::regex(R"(SBEP trace written \d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d: )"
                   R"(the last (\d+) of \1 frames since the port was opened, oldest first\.)")))
        << lines[0];
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_TRUE(std::regex_match(lines[i], kFrameLine)) << lines[i];
    }
    // The failed exchange: the refused request and the radio's answer to it.
    std::vector<std::string> exchange;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].substr(13) == "TX " + hexOf(refused.frame) && i + 1 < lines.size()) {
            exchange = {lines[i].substr(13, 3), lines[i + 1].substr(13, 6)};
        }
    }
    EXPECT_THAT(exchange, ElementsAre("TX ", "RX 50 "));
}

TEST_F(FailureTraceTest, OnlyTheNewestTracesStayAndTheNewOneIsAlwaysAmongThem) {
    const fs::path folder = logFolder();
    for (int day = 1; day <= 11; ++day) {
        char name[64];
        std::snprintf(name, sizeof name, "sbep-trace-202401%02d-120000.txt", day);
        touch(folder / name);
    }
    touch(folder / "sbep-trace-20240105-120000-2.txt");  // a second failure in the same second
    touch(folder / "sbep-trace-20991231-235959.txt");    // written before the clock was set back
    touch(folder / "sbep-trace-notes.txt");              // not a trace of ours
    touch(folder / "err.log");

    FrameRing ring;
    const Bytes frame = {0xF1, 0x40, 0xCE};
    ring.record({FrameDirection::kSent, std::chrono::system_clock::now(), frame});
    fs::path written;
    std::string reason;
    ASSERT_TRUE(FailureTrace::save(ring, folder, std::chrono::system_clock::now(), written, reason))
        << reason;

    std::set<std::string> expected = {
        "err.log",
        "sbep-trace-notes.txt",
        written.filename().string(),
        "sbep-trace-20991231-235959.txt",
        "sbep-trace-20240111-120000.txt",
        "sbep-trace-20240110-120000.txt",
        "sbep-trace-20240109-120000.txt",
        "sbep-trace-20240108-120000.txt",
        "sbep-trace-20240107-120000.txt",
        "sbep-trace-20240106-120000.txt",
        "sbep-trace-20240105-120000-2.txt",
        "sbep-trace-20240105-120000.txt",
    };
    EXPECT_EQ(namesIn(folder), expected);  // no temporary file left behind either
    const std::vector<std::string> lines = linesOf(written);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[0], ::testing::HasSubstr(": the last 1 of 1 frames"));
    EXPECT_EQ(lines[1].substr(13), "TX F1 40 CE");
}

TEST_F(FailureTraceTest, TwoFailuresInOneSecondKeepBothTracesAndAMissingFolderIsReported) {
    FrameRing ring;
    const auto now = std::chrono::system_clock::now();
    fs::path first;
    fs::path second;
    std::string reason;
    ASSERT_TRUE(FailureTrace::save(ring, logFolder(), now, first, reason)) << reason;
    const Bytes frame = {0xF1, 0x40, 0xCE};
    ring.record({FrameDirection::kSent, now, frame});
    ASSERT_TRUE(FailureTrace::save(ring, logFolder(), now, second, reason)) << reason;

    EXPECT_EQ(second.stem().string(), first.stem().string() + "-2");
    EXPECT_EQ(linesOf(first).size(), 1u);  // the empty ring's header alone, unchanged
    EXPECT_EQ(linesOf(second).size(), 2u);

    fs::path none;
    EXPECT_FALSE(FailureTrace::save(ring, log.folder() / "missing", now, none, reason));
    EXPECT_FALSE(reason.empty());
}

// Without a log folder (or a ring) there is nowhere to write and nothing to name.
TEST_F(FailureTraceTest, NothingIsWrittenWithoutARingOrALogFolder) {
    FailureTrace::logAfterSummary(nullptr);
    EXPECT_THAT(log.messages(), IsEmpty());
    EXPECT_THAT(namesIn(logFolder()), IsEmpty());

    FrameRing ring;
    ErrorLog::reset();
    FailureTrace::logAfterSummary(&ring);
    EXPECT_THAT(namesIn(logFolder()), IsEmpty());
}

}  // namespace
}  // namespace plugshift::test
