#pragma once

#include <fstream>
#include <mutex>
#include <string>

namespace plugshift {

class SBEP;

// --trace FILE: every SBEP frame sent and received, one time-stamped hex line each, written as
// it happens so a trace of a run that hangs or crashes is complete up to that point.
class FrameTrace {
public:
    // false with `error` set when the file cannot be created.
    bool open(const std::string& path, std::string& error);
    // Sees the engine's frames from now on; the trace must outlive the engine's use.
    void attach(SBEP& sbep);

private:
    std::mutex lock_;  // the worker and the command line's thread both send frames
    std::ofstream file_;
};

}  // namespace plugshift
