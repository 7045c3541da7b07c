#include "conversion/serial_audit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <sstream>

#include "conversion/log_folder.h"
#include "conversion/serial_decisions.h"
#include "conversion/serial_number_update.h"
#include "log_capture.h"
#include "sim_rig.h"

namespace plugshift::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr uint8_t kUpdateSerialOpcode = 0x18;

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

TEST(SerialAuditLineTest, EachStageAndValuesThatCannotBreakOrForgeALine) {
    ZoneScope zone("UTC0");
    const auto time = std::chrono::system_clock::from_time_t(1714559696);
    using Stage = SerialAudit::Stage;
    struct Case {
        SerialAudit::Entry entry;
        const char* expected;
    };
    const Case cases[] = {
        {{time, L"RQX770HJNWA", L"752TRX4F21", L"123AB45C67", Stage::Started, L""},
         "2024-05-01T10:34:56+00:00 model=RQX770HJNWA old=752TRX4F21 new=123AB45C67 started"},
        {{time, L"RQX770HJNWA", L"752TRX4F21", L"123AB45C67", Stage::Success, L""},
         "2024-05-01T10:34:56+00:00 model=RQX770HJNWA old=752TRX4F21 new=123AB45C67 success"},
        {{time, L"RQX770HJNWA", L"752TRX4F21", L"123AB45C67", Stage::Stopped, L""},
         "2024-05-01T10:34:56+00:00 model=RQX770HJNWA old=752TRX4F21 new=123AB45C67 stopped"},
        {{time, L"RQX770HJNWA", L"752TRX4F21", L"123AB45C67", Stage::NotBackedUp, L"123AB45C67"},
         "2024-05-01T10:34:56+00:00 model=RQX770HJNWA old=752TRX4F21 new=123AB45C67 "
         "not-backed-up now=123AB45C67"},
        {{time, L"RQX 770\nx=1", L"", L"1\u00e9", Stage::Failure, L"\n"},
         "2024-05-01T10:34:56+00:00 model=RQX?770?x=1 old=N/A new=1? failure now=?"},
        {{time, L"RQX770HJNWA", L"752TRX4F21", L"123AB45C67", Stage::Failure, L""},
         "2024-05-01T10:34:56+00:00 model=RQX770HJNWA old=752TRX4F21 new=123AB45C67 failure "
         "now=N/A"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SerialAudit::line(c.entry), c.expected);
    }
}

class SerialFailureLogTest : public ::testing::Test {
protected:
    LogCapture log;
};

TEST_F(SerialFailureLogTest, AFailedUpdateIsSummedUpWithItsCausesThenItsFrames) {
    SimRig rig;
    rig.faults().add({SimFaultKind::RefuseOpcode, kUpdateSerialOpcode, 0});
    SerialNumberUpdate command;
    command.radio = &rig.radio;
    ASSERT_TRUE(command.setNewSerial("123AB45C68"));
    ASSERT_FALSE(command.run());
    logSerialFailure(command, {L"RQX770HJNWA", L"752TRX4F21", L"123AB45C68"});
    const std::string chain = toUtf8(ErrorChain::text());

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

}  // namespace
}  // namespace plugshift::test
