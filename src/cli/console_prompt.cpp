#include "cli/console_prompt.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <iostream>

namespace plugshift {

namespace {

// Turns the terminal's echo off for as long as it lives.
class EchoOff {
public:
    explicit EchoOff(int fd) : fd_(fd) {
        if (fd_ >= 0 && ::tcgetattr(fd_, &saved_) == 0) {
            termios quiet = saved_;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            quiet.c_lflag |= ECHONL;
            active_ = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
        }
    }
    ~EchoOff() {
        if (active_) {
            ::tcsetattr(fd_, TCSAFLUSH, &saved_);
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

ConsolePrompt::ConsolePrompt(std::istream& in, std::ostream& out, bool interactive, int inputFd)
    : in_(in), out_(out), interactive_(interactive), inputFd_(inputFd) {}

ConsolePrompt ConsolePrompt::standard() {
    const bool interactive = ::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1;
    return ConsolePrompt(std::cin, std::cerr, interactive, STDIN_FILENO);
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
