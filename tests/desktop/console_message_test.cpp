// The console protocol's lines, both ways.

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "desktop/console_message.h"

namespace plugshift {
namespace {

struct LineCase {
    const char* name;
    const char* line;
    std::optional<ConsoleMessage> expected;
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << '"' << c.line << '"';
}

class ConsoleMessageParse : public ::testing::TestWithParam<LineCase> {};

TEST_P(ConsoleMessageParse, ReadsOnlyWellFormedLines) {
    EXPECT_EQ(ConsoleMessage::parse(GetParam().line), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ConsoleMessageParse,
    ::testing::Values(LineCase{"Request", "WM_TOOL_UPDATE_START 1234 2056",
                               ConsoleMessage{"WM_TOOL_UPDATE_START", 1234, 2056}},
                      LineCase{"CarriageReturn", "WM_TOOL_UPDATE_END 8 0\r",
                               ConsoleMessage{"WM_TOOL_UPDATE_END", 8, 0}},
                      LineCase{"Negative", "RESULT -1 0", ConsoleMessage{"RESULT", -1, 0}},
                      LineCase{"Empty", "", std::nullopt},
                      LineCase{"MissingValue", "WM_TOOL_UPDATE_START 1 ", std::nullopt},
                      LineCase{"DoubleBlank", "WM_TOOL_UPDATE_START  1 2056", std::nullopt},
                      LineCase{"ExtraField", "WM_TOOL_UPDATE_START 1 2056 9", std::nullopt},
                      LineCase{"Hexadecimal", "WM_TOOL_UPDATE_START 0x10 2056", std::nullopt},
                      LineCase{"LowerCase", "wm_tool_update_start 1 2056", std::nullopt},
                      LineCase{"LeadingBlank", " WM_TOOL_UPDATE_START 1 2056", std::nullopt},
                      LineCase{"Overflow", "WM_TOOL_UPDATE_START 99999999999999999999 2056",
                               std::nullopt}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST(ConsoleMessageLine, RoundTripsAndRefusesOverlongLines) {
    const ConsoleMessage ack{ConsoleMessage::kEnterTestMode, 4242, ConsoleMessage::kReplyValue};
    EXPECT_EQ(ack.line(), "WM_TOOL_UPDATE_ENTER_TEST_MODE 4242 8\n");
    const std::string line = ack.line();
    EXPECT_EQ(ConsoleMessage::parse(line.substr(0, line.size() - 1)), ack);
    EXPECT_EQ(ConsoleMessage::result(1).line(), "RESULT 1 0\n");
    const std::string longName(ConsoleMessage::kMaxLineLength, 'A');
    EXPECT_EQ(ConsoleMessage::parse(longName + " 1 2"), std::nullopt);
}

}  // namespace
}  // namespace plugshift
