#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace plugshift {

// Points err.log at a temporary folder for one test and reads its entries back without their
// time stamps. Leaves the log and the error chain as a fresh program has them.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The whole file as written.
    std::string text() const;
    // Each entry's message: the "[ mm-dd hh:mm:ss ] " stamp taken off, continuation lines kept.
    std::vector<std::string> messages() const;
    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
};

}  // namespace plugshift
