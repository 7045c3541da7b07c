#include "cli/doctor_command.h"

#include <gtest/gtest.h>

#include <sstream>

namespace plugshift {
namespace {

const std::vector<DoctorCheck> kFindings = {
    {"cable", Verdict::kOk, "usb 1-2", "\"NV PGM Cable\" (0403:6001)", ""},
    {"access", Verdict::kFail, "/dev/ttyUSB0", "alice may not read and write it",
     "log out and in again"},
    {"modemmanager", Verdict::kWarn, "", "running: ModemManager (pid 812)", "stop it"},
};

TEST(DoctorReport, TableHasOneAlignedLinePerCheckThenTheSummary) {
    std::ostringstream out;
    EXPECT_EQ(printDoctorReport(kFindings, false, out), 1);
    EXPECT_EQ(out.str(),
              "OK    cable         usb 1-2: \"NV PGM Cable\" (0403:6001)\n"
              "FAIL  access        /dev/ttyUSB0: alice may not read and write it -> log out and "
              "in again\n"
              "WARN  modemmanager  running: ModemManager (pid 812) -> stop it\n"
              "\n"
              "1 FAIL, 1 WARN, 1 OK: the cable will not answer until every FAIL is mended.\n");
}

TEST(DoctorReport, JsonCarriesEveryFieldAndTheOverallResult) {
    std::ostringstream out;
    EXPECT_EQ(printDoctorReport(kFindings, true, out), 1);
    EXPECT_EQ(out.str(),
              "{\n"
              "  \"result\": \"FAIL\",\n"
              "  \"counts\": {\"ok\": 1, \"warn\": 1, \"fail\": 1},\n"
              "  \"checks\": [\n"
              "    {\"name\": \"cable\", \"verdict\": \"OK\", \"device\": \"usb 1-2\", "
              "\"detail\": \"\\\"NV PGM Cable\\\" (0403:6001)\", \"advice\": \"\"},\n"
              "    {\"name\": \"access\", \"verdict\": \"FAIL\", \"device\": \"/dev/ttyUSB0\", "
              "\"detail\": \"alice may not read and write it\", \"advice\": \"log out and in "
              "again\"},\n"
              "    {\"name\": \"modemmanager\", \"verdict\": \"WARN\", \"device\": \"\", "
              "\"detail\": \"running: ModemManager (pid 812)\", \"advice\": \"stop it\"}\n"
              "  ]\n"
              "}\n");
}

TEST(DoctorReport, ExitCodeIsZeroWithoutAFail) {
    const std::vector<DoctorCheck> calm = {kFindings[0], kFindings[2]};
    std::ostringstream table;
    EXPECT_EQ(printDoctorReport(calm, false, table), 0);
    EXPECT_NE(table.str().find("\nNo FAIL (1 WARN, 1 OK).\n"), std::string::npos);
    std::ostringstream json;
    EXPECT_EQ(printDoctorReport(calm, true, json), 0);
    EXPECT_NE(json.str().find("\"result\": \"WARN\""), std::string::npos);
    std::ostringstream empty;
    EXPECT_EQ(printDoctorReport({}, true, empty), 0);
    EXPECT_EQ(empty.str(),
              "{\n  \"result\": \"OK\",\n  \"counts\": {\"ok\": 0, \"warn\": 0, \"fail\": 0},\n"
              "  \"checks\": []\n}\n");
}

// A process may name itself anything, a USB device too: neither reaches the terminal as control
// characters nor breaks the JSON.
TEST(DoctorReport, OutsideTextIsMadeSafe) {
    struct Case {
        std::string detail;
        std::string inTable;
        std::string inJson;
    };
    const Case cases[] = {
        {"evil\x1b]0;owned\x07 (pid 9)", "evil?]0;owned? (pid 9)",
         "evil\\u001b]0;owned\\u0007 (pid 9)"},
        {"back\\slash \"quoted\"\ttab", "back\\slash \"quoted\"?tab",
         "back\\\\slash \\\"quoted\\\"\\u0009tab"},
        {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},
        {"bad \xC3 \xE0\x80\x80 \xED\xA0\x80 \xFF",
         "bad \xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD "
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD",
         "bad \xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD "
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD "
         "\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        const std::vector<DoctorCheck> checks = {{"in-use", Verdict::kWarn, "", c.detail, ""}};
        std::ostringstream table;
        printDoctorReport(checks, false, table);
        EXPECT_EQ(table.str().substr(0, table.str().find('\n')), "WARN  in-use  " + c.inTable);
        std::ostringstream json;
        printDoctorReport(checks, true, json);
        EXPECT_NE(json.str().find("\"detail\": \"" + c.inJson + "\""), std::string::npos)
            << json.str();
    }
}

}  // namespace
}  // namespace plugshift
