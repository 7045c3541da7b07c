#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace plugshift {

// The append-only record of serial-number changes, serial-audit.log beside err.log, never
// rewritten or emptied by the tool. Every update that is to reach the radio leaves two lines, each
// on the disk before the workflow goes on: the first before anything is sent, the second when the
// update has ended. They read
//   2024-05-01T12:34:56+02:00 model=RQX770HJNWA old=752TRX4F21 new=123ABC4D56 started
//   2024-05-01T12:34:58+02:00 model=RQX770HJNWA old=752TRX4F21 new=123ABC4D56 success
// (local time with the zone's offset). The second ends in "success", "stopped" (stopped before
// the number was sent; the radio is unchanged), "failure now=NUMBER" or "not-backed-up now=NUMBER"
// (the radio took the number, its factory block was not backed up), NUMBER being what the radio
// reported afterwards ("N/A" when it could not be read). A "started" line without a second one is
// an update the tool did not see end. A value without text is "N/A"; a character that is not
// printable ASCII, or a blank, shows as "?", so a radio's reply can never break a line or forge
// another. Lines of older versions have only the second line, "success" or "failure", without
// "now=".
class SerialAudit {
public:
    static constexpr const char* kFileName = "serial-audit.log";

    enum class Stage { Started, Success, Stopped, Failure, NotBackedUp };

    struct Entry {
        std::chrono::system_clock::time_point time;
        std::wstring model;
        std::wstring oldSerial;
        std::wstring newSerial;
        Stage stage = Stage::Started;
        // Failure and NotBackedUp: the number the radio reported afterwards; empty: not read.
        std::wstring serialNow;
    };

    // The entry's line, without its line feed.
    static std::string line(const Entry& entry);
    // Appends the entry's line to folder/serial-audit.log (created when missing) and puts it on
    // the disk. false with the system's reason.
    static bool append(const std::filesystem::path& folder, const Entry& entry,
                       std::string& reason);
};

}  // namespace plugshift
