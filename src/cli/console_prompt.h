#pragma once

#include <iosfwd>
#include <string>

namespace plugshift {

// The questions a radio command asks the person at the terminal. A prompt that is not
// interactive asks nothing: confirm says no and readSecret fails, so a script never hangs on a
// question nobody sees.
class ConsolePrompt {
public:
    // inputFd: the descriptor behind `in` whose echo readSecret turns off; -1 for none.
    ConsolePrompt(std::istream& in, std::ostream& out, bool interactive, int inputFd = -1);
    // The process's standard input and error; interactive when both are terminals.
    static ConsolePrompt standard();

    bool interactive() const { return interactive_; }

    // Shows the question with " [y/N] "; true for an answer of y or yes in any case.
    bool confirm(const std::string& question);
    // Shows the prompt and reads one line with the echo off; false at the end of the input.
    bool readSecret(const std::string& prompt, std::string& secret);

    // One line without its line ending; false at the end of the input.
    static bool readLine(std::istream& in, std::string& line);

private:
    std::istream& in_;
    std::ostream& out_;
    bool interactive_;
    int inputFd_;
};

}  // namespace plugshift
