#include "conversion/serial_audit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>

#include "conversion/log_folder.h"
#include "conversion/serial_decisions.h"
#include "conversion/serial_number_update.h"
#include "log_capture.h"
#include "sim_rig.h"

namespace plugshift::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr uint8_t kUpdateSerialOpcode = 0x18;

// gtest's own regular expressions are POSIX's on Linux and a small subset on Windows.
MATCHER_P(MatchesRegex, pattern, "matches " + std::string(pattern)) {
    return std::regex_match(std::string(arg), std::regex(pattern));
}
constexpr const char* kStamp =
    "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[+-][0-9]{2}:[0-9]{2}";

// The C library's TZ: setenv on Linux, _putenv_s on Windows (where "" removes it).
void setZone(const char* zone) {
#ifdef _WIN32
    ::_putenv_s("TZ", zone != nullptr ? zone : "");
    ::_tzset();
#else
    if (zone != nullptr) {
        ::setenv("TZ", zone, 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
#endif
}

// Sets the time zone for one test and puts the old one back.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            old_ = old;
        }
        setZone(zone);
    }
    ~ZoneScope() { setZone(old_ ? old_->c_str() : nullptr); }

private:
    std::optional<std::string> old_;
};

TEST(SerialAuditLineTest, LocalTimeWithTheZonesOffset) {
    struct Case {
        const char* zone;  // POSIX TZ: the offset is west of Greenwich
        const char* expected;
    };
    const Case cases[] = {
        {"UTC0", "2024-05-01T10:34:56+00:00"},    {"XXX-2", "2024-05-01T12:34:56+02:00"},
        {"XXX5", "2024-05-01T05:34:56-05:00"},    {"XXX-5:30", "2024-05-01T16:04:56+05:30"},
        {"XXX3:30", "2024-05-01T07:04:56-03:30"},
    };
    // 2024-05-01 10:34:56 UTC
    const auto time = std::chrono::system_clock::from_time_t(1714559696);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        ZoneScope zone(c.zone);
        EXPECT_EQ(LogFolder::isoTime(time), c.expected);
    }
}

TEST(SerialAuditLineTest, ValuesCannotBreakOrForgeALine) {
    ZoneScope zone("UTC0");
    const auto time = std::chrono::system_clock::from_time_t(1714559696);
    struct Case {
        SerialAudit::Entry entry;
        const char* expected;
    };
    const Case cases[] = {
        {{time, L"RQX770HJNWA", L"752TRX4F21", L"123AB45C67", true},
         "2024-05-01T10:34:56+00:00 model=RQX770HJNWA old=752TRX4F21 new=123AB45C67 success"},
        {{time, L"RQX 770\nx=1", L"", L"1\u00e9", false},
         "2024-05-01T10:34:56+00:00 model=RQX?770?x=1 old=N/A new=1? failure"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SerialAudit::line(c.entry), c.expected);
    }
}

std::vector<std::string> linesOf(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class SerialConclusionTest : public ::testing::Test {
protected:
    fs::path auditFile() const { return log.folder() / "log" / SerialAudit::kFileName; }

    // The serial-number update as the workflows run it, then the shared conclusion.
    bool update(SimRig& rig, const char* serial) {
        SerialNumberUpdate command;
        command.radio = &rig.radio;
        EXPECT_TRUE(command.setNewSerial(serial));
        return concludeSerialUpdate(command, command.run());
    }

    LogCapture log;
};

TEST_F(SerialConclusionTest, EveryUpdateThatReachedTheRadioIsAppendedToTheAudit) {
    {
        SimRig rig;
        EXPECT_TRUE(update(rig, "123AB45C67"));
        EXPECT_THAT(linesOf(auditFile()),
                    ElementsAre(MatchesRegex(std::string(kStamp) +
                                             " model=RQX770HJNWA old=752TRX4F21 new=123AB45C67 "
                                             "success")));
        EXPECT_THAT(log.messages(), IsEmpty());
    }
    const std::vector<std::string> before = linesOf(auditFile());

    SimRig rig;
    rig.faults().add({SimFaultKind::RefuseOpcode, kUpdateSerialOpcode, 0});
    EXPECT_FALSE(update(rig, "123AB45C68"));
    const std::string chain = toUtf8(ErrorChain::text());
    const std::vector<std::string> after = linesOf(auditFile());
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_THAT(after[1], MatchesRegex(std::string(kStamp) +
                                       " model=RQX770HJNWA old=752TRX4F21 new=123AB45C68 failure"));

    // A summary of the failure with its causes, then the file of its frames.
    const std::vector<std::string> messages = log.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0],
              "Update serial number failed (Model:RQX770HJNWA,SN:752TRX4F21,New SN:123AB45C68), "
              "caused by:\n" +
                  chain);
    EXPECT_THAT(chain, HasSubstr("\n"));
    const std::string named = "SBEP trace of this failure: ";
    ASSERT_EQ(messages[1].rfind(named, 0), 0u) << messages[1];
    const fs::path trace = messages[1].substr(named.size());
    EXPECT_EQ(trace.parent_path(), log.folder() / "log");
    const Bytes refused = rig.requestsTo({kUpdateSerialOpcode}).back().frame;
    std::string hex;
    for (uint8_t byte : refused) {
        char two[4];
        std::snprintf(two, sizeof two, " %02X", byte);
        hex += two;
    }
    std::ifstream in(trace);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_THAT(text.str(), HasSubstr(" TX" + hex + "\n"));
}

TEST_F(SerialConclusionTest, AnUpdateThatNeverReachedTheRadioLeavesNoTrace) {
    SimRig rig(SimRig::defaultOptions(), false);
    EXPECT_FALSE(update(rig, "123AB45C67"));
    EXPECT_EQ(rig.hostBytes(), 0u);
    EXPECT_FALSE(fs::exists(auditFile()));
    EXPECT_THAT(log.messages(), IsEmpty());
}

}  // namespace
}  // namespace plugshift::test
