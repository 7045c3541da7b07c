#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace plugshift {

// The folder of err.log, where the files that support needs after a failure are kept beside it,
// and how they are written so that a crash or a power cut never leaves half of one.
class LogFolder {
public:
    using Clock = std::chrono::system_clock;

    // The folder of err.log; empty while no log directory has been set.
    static std::filesystem::path current();

    // Appends text to the file (created when missing) and flushes it to the disk before
    // returning. false with the system's reason.
    static bool appendDurably(const std::filesystem::path& file, std::string_view text,
                              std::string& reason);
    // Creates a new file in folder under the first free name that nameFor(1), nameFor(2), ...
    // gives, never replacing an existing file: the content is written and flushed beside it and
    // then linked in under the name, so the file appears whole or not at all. false with the
    // system's reason; `created` is the new file's path.
    static bool createDurably(const std::filesystem::path& folder,
                              const std::function<std::string(int attempt)>& nameFor,
                              std::string_view content, std::filesystem::path& created,
                              std::string& reason);

    // "2024-05-01T12:34:56+02:00": local time, ISO 8601 with the zone's offset.
    static std::string isoTime(Clock::time_point time);
    // An isoTime() text as a person reads it here, in this computer's local time:
    // "2024-05-01 12:34"; a text of another shape comes back as it is.
    static std::string shownTime(const std::string& iso);
    // "20240501-123456": local time, for file names that sort by age.
    static std::string fileStamp(Clock::time_point time);
};

}  // namespace plugshift
