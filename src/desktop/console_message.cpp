#include "desktop/console_message.h"

#include <charconv>

namespace plugshift {

namespace {

bool isNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// A whole field as a signed decimal number.
std::optional<int64_t> number(std::string_view field) {
    int64_t value = 0;
    const char* end = field.data() + field.size();
    const auto [at, error] = std::from_chars(field.data(), end, value);
    if (field.empty() || error != std::errc() || at != end) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<ConsoleMessage> ConsoleMessage::parse(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.size() > kMaxLineLength) {
        return std::nullopt;
    }
    const size_t first = line.find(' ');
    const size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos || first == 0) {
        return std::nullopt;
    }
    const std::string_view name = line.substr(0, first);
    for (const char c : name) {
        if (!isNameCharacter(c)) {
            return std::nullopt;
        }
    }
    const std::optional<int64_t> wParam = number(line.substr(first + 1, second - first - 1));
    const std::optional<int64_t> lParam = number(line.substr(second + 1));
    if (!wParam || !lParam) {
        return std::nullopt;
    }
    return ConsoleMessage{std::string(name), *wParam, *lParam};
}

std::string ConsoleMessage::line() const {
    return name + ' ' + std::to_string(wParam) + ' ' + std::to_string(lParam) + '\n';
}

}  // namespace plugshift
