#include "cli/console_prompt.h"

#include <algorithm>
#include <cctype>
#include <iostream>

#include "platform/echo_off.h"
#include "platform/process_environment.h"

namespace plugshift {

namespace {

constexpr int kStandardInput = 0;

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

ConsolePrompt::ConsolePrompt(std::istream& in, std::ostream& out, bool interactive, int inputFd)
    : in_(in), out_(out), interactive_(interactive), inputFd_(inputFd) {}

ConsolePrompt ConsolePrompt::standard() {
    const bool interactive =
        isTerminal(StandardStream::kInput) && isTerminal(StandardStream::kError);
    return ConsolePrompt(std::cin, std::cerr, interactive, kStandardInput);
}

bool ConsolePrompt::confirm(const std::string& question) {
    if (!interactive_) {
        return false;
    }
    out_ << question << " [y/N] ";
    out_.flush();
    std::string answer;
    if (!readLine(in_, answer)) {
        out_ << "\n";
        return false;
    }
    answer = lowerCase(answer);
    return answer == "y" || answer == "yes";
}

bool ConsolePrompt::readSecret(const std::string& prompt, std::string& secret) {
    if (!interactive_) {
        return false;
    }
    out_ << prompt;
    out_.flush();
    EchoOff quiet(inputFd_);
    return readLine(in_, secret);
}

bool ConsolePrompt::readLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

}  // namespace plugshift
