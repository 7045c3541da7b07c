#pragma once

#include <string>
#include <vector>

#include "child_process.h"

namespace plugshift::test {

// The build's kmv-sim as a child process: started with arguments, its terminal's path read from
// the first line of its output, stopped with SIGTERM (at the latest when the object goes).
class KmvSimProcess {
public:
    explicit KmvSimProcess(std::vector<std::string> args = {});
    ~KmvSimProcess();
    KmvSimProcess(const KmvSimProcess&) = delete;
    KmvSimProcess& operator=(const KmvSimProcess&) = delete;

    bool started() const { return child_.started(); }
    // Empty when kmv-sim did not start or printed no path.
    const std::string& path() const { return path_; }
    void signal(int number) { child_.signal(number); }
    // SIGTERM and the exit status.
    int stop();

private:
    ChildProcess child_;
    std::string path_;
};

}  // namespace plugshift::test
