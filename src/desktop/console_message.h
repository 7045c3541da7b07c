#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plugshift {

// One line of the console protocol: "NAME WPARAM LPARAM" with the two values in decimal. The
// console and the tool exchange these over a local stream socket, one message per line.
//
// A console sends a request with its own "window handle" (any positive number that it keeps for
// the life of its connection) as WPARAM and kRequestValue as LPARAM. The tool answers every line
// with exactly one RESULT line, "RESULT <value> 0", in the order the lines came, and sends its
// acknowledgements and the conversion's result as messages of their own with kReplyValue or the
// result as LPARAM.
struct ConsoleMessage {
    static constexpr const char* kStart = "WM_TOOL_UPDATE_START";
    static constexpr const char* kEnd = "WM_TOOL_UPDATE_END";
    static constexpr const char* kEnterTestMode = "WM_TOOL_UPDATE_ENTER_TEST_MODE";
    static constexpr const char* kExitTestMode = "WM_TOOL_UPDATE_EXIT_TEST_MODE";
    // The tool's answer to one request line.
    static constexpr const char* kResult = "RESULT";

    // LPARAM of every request; a request with another value is ignored.
    static constexpr int64_t kRequestValue = 2056;
    // WPARAM of the conversion's result, LPARAM of the test-mode acknowledgements.
    static constexpr int64_t kReplyValue = 8;
    // LPARAM of WM_TOOL_UPDATE_END.
    static constexpr int64_t kEndSuccess = 1;
    static constexpr int64_t kEndFailure = 0;
    // What the tool answers a request it ignores (bad LPARAM, unknown handle, busy, unknown name).
    static constexpr int64_t kIgnored = 1;
    // What it answers a WM_TOOL_UPDATE_START it has taken: the conversion starts.
    static constexpr int64_t kStarted = 0;

    // Longer lines are refused: no message comes near it.
    static constexpr size_t kMaxLineLength = 128;

    std::string name;
    int64_t wParam = 0;
    int64_t lParam = 0;

    // A line without its line feed. Nothing for anything but a name of capitals, digits and
    // underscores and two decimal numbers, separated by single blanks (a trailing carriage return
    // is allowed).
    static std::optional<ConsoleMessage> parse(std::string_view line);
    // The line with its line feed.
    std::string line() const;
    static ConsoleMessage result(int64_t value) { return {kResult, value, 0}; }

    bool operator==(const ConsoleMessage&) const = default;
};

}  // namespace plugshift
