#include "cli/console_prompt.h"

#include <gtest/gtest.h>

#include <sstream>

namespace plugshift {
namespace {

TEST(ConsolePromptTest, OnlyYesConfirms) {
    struct Case {
        std::string input;
        bool confirmed;
    };
    const Case cases[] = {{"y\n", true},  {"YES\r\n", true}, {"yes please\n", false},
                          {"n\n", false}, {"\n", false},     {"", false}};
    for (const Case& c : cases) {
        std::istringstream in(c.input);
        std::ostringstream out;
        ConsolePrompt prompt(in, out, true);
        EXPECT_EQ(prompt.confirm("Go?"), c.confirmed) << c.input;
        EXPECT_EQ(out.str().rfind("Go? [y/N] ", 0), 0u);
    }
}

TEST(ConsolePromptTest, WithoutATerminalNothingIsAskedOrRead) {
    std::istringstream in("y\nsecret\n");
    std::ostringstream out;
    ConsolePrompt prompt(in, out, false);
    std::string secret;
    EXPECT_FALSE(prompt.confirm("Go?"));
    EXPECT_FALSE(prompt.readSecret("Password: ", secret));
    EXPECT_EQ(out.str(), "");
    std::string line;
    ASSERT_TRUE(ConsolePrompt::readLine(in, line));
    EXPECT_EQ(line, "y");
}

TEST(ConsolePromptTest, SecretIsOneLineWithoutItsEnding) {
    std::istringstream in("2468\r\nrest\n");
    std::ostringstream out;
    ConsolePrompt prompt(in, out, true);
    std::string secret;
    ASSERT_TRUE(prompt.readSecret("Dealer password: ", secret));
    EXPECT_EQ(secret, "2468");
    EXPECT_EQ(out.str(), "Dealer password: ");
}

}  // namespace
}  // namespace plugshift
