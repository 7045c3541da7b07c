#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>

namespace plugshift {

class FrameRing;

// The SBEP frames of a failed conversion or serial-number update, kept beside err.log so that a
// support request carries the wire traffic without a rerun: one file per failure,
// sbep-trace-YYYYMMDD-HHMMSS.txt (local time; "-2", "-3", ... when a second failure falls in the
// same second), a header line and then one formatFrameLine per frame, oldest first. Only the
// newest kKept files stay.
class FailureTrace {
public:
    static constexpr size_t kKept = 10;

    // Writes the ring's frames into a new file in folder and removes the oldest trace files
    // beyond kKept (never the new one). false with the system's reason.
    static bool save(const FrameRing& ring, const std::filesystem::path& folder,
                     std::chrono::system_clock::time_point now, std::filesystem::path& written,
                     std::string& reason);

    // Right after a failure's summary in err.log: saves the ring beside err.log and names the file
    // (or why it could not be written) in the next entry. Nothing without a ring or a log folder.
    static void logAfterSummary(const FrameRing* ring);
};

}  // namespace plugshift
