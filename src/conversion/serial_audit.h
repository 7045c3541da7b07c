#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace plugshift {

// The append-only record of serial-number changes, serial-audit.log beside err.log: one line per
// update that reached the radio, never rewritten or emptied by the tool, each on the disk before
// the workflow goes on. A line reads
//   2024-05-01T12:34:56+02:00 model=RQX770HJNWA old=752TRX4F21 new=123ABC4D56 success
// (local time with the zone's offset; "failure" when the update failed). A value without text is
// "N/A"; a character that is not printable ASCII, or a blank, shows as "?", so a radio's reply can
// never break a line or forge another.
class SerialAudit {
public:
    static constexpr const char* kFileName = "serial-audit.log";

    struct Entry {
        std::chrono::system_clock::time_point time;
        std::wstring model;
        std::wstring oldSerial;
        std::wstring newSerial;
        bool success = false;
    };

    // The entry's line, without its line feed.
    static std::string line(const Entry& entry);
    // Appends the entry's line to folder/serial-audit.log (created when missing). false with the
    // system's reason.
    static bool append(const std::filesystem::path& folder, const Entry& entry,
                       std::string& reason);
};

}  // namespace plugshift
