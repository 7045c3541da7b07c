#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace plugshift::test {

// A program run as a child process, its standard output (and its standard error, when merged)
// read through a pipe. A child still running when the object goes is killed.
class ChildProcess {
public:
    // Only a bound against a hang; reading ends as soon as the output is complete.
    static constexpr std::chrono::seconds kHangLimit{30};

    // Where and with what the child runs, beyond this process's own.
    struct Surroundings {
        std::vector<std::string> environment;  // NAME=VALUE, before the inherited ones
        std::string folder;                    // its working folder; empty: this one's
        std::string input;                     // what it reads on its standard input, then end
    };

    explicit ChildProcess(const std::vector<std::string>& argv, bool mergeErrors = true,
                          const Surroundings& surroundings = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // Reads until the delimiter, which is dropped (with '\0': until the output closes), or until
    // the limit has passed.
    std::string readUntil(char delimiter, std::chrono::milliseconds limit = kHangLimit);
    void signal(int number);
    // Signals the child (0: none), waits for it and returns its exit code; -1 when it did not
    // exit normally.
    int finish(int signal = 0);

private:
    pid_t pid_ = -1;
    int fd_ = -1;
};

}  // namespace plugshift::test
