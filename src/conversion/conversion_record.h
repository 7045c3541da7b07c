#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace plugshift {

// The data folder's book of radio work, conversion-record.jsonl: what every conversion was about
// to do before it erased anything, how it ended, and every serial-number update. It is what
// brings an interrupted conversion back (the radio's identity before, the files it was converted
// with, its backup) and the dealer's record of the radios converted.
//
// Append-only text, one JSON object per line, UTF-8, never rewritten by the tool:
//   {"entry":"open","id":"...","start":"<ISO time>","serial":"...","model":"...",
//    "firmware":"...","codeplug":"...","codeplugFile":"...","addressFile":"...",
//    "backup":"..." or null,"finishes":"<id of the conversion it finishes>" or null}
//   {"entry":"close","id":"...","end":"<ISO time>","result":"converted|failed|stopped|
//    interrupted","error":"..." or null}
//   {"entry":"serial","time":"<ISO time>","model":"...","serialBefore":"...",
//    "serialAfter":"...","result":"updated|failed","error":"..." or null}
// An open entry is on the disk before the first erase; its close follows when the run ends. An
// open entry that never gets its close is a conversion the tool did not see end (killed, crashed,
// power lost). A line that does not end with a line feed, or does not parse, is a torn write and
// is skipped; the next entry starts on a line of its own.
class ConversionRecord {
public:
    static constexpr const char* kFileName = "conversion-record.jsonl";
    // The conversion's own record when its open entry could not be written.
    static constexpr const wchar_t* kNotRecorded =
        L"Error:the conversion could not be recorded before erasing; nothing was erased.";

    enum class Result { Open, Converted, Failed, Stopped, Interrupted, NotStarted };

    // One conversion: its open entry and, once written, its close.
    struct Conversion {
        std::string id;
        std::string start;
        std::string serial;
        std::string model;
        std::string firmware;
        std::string codeplug;
        std::string codeplugFile;
        std::string addressFile;
        std::string backup;    // empty: none saved
        std::string finishes;  // empty: a conversion of its own
        Result result = Result::Open;
        std::string end;
        std::string error;

        // Not converted: open (the tool never saw it end), failed, stopped or interrupted. Its
        // open entry was written right before the first erase, so the radio may be half-written.
        // A run whose codeplug file failed to load (not-started) erased nothing.
        bool unfinished() const {
            return result != Result::Converted && result != Result::NotStarted;
        }
    };

    struct SerialUpdate {
        std::string time;
        std::string model;
        std::string serialBefore;
        std::string serialAfter;
        bool updated = false;
        std::string error;
    };

    struct History {
        std::vector<Conversion> conversions;  // in the order they were opened
        std::vector<SerialUpdate> serialUpdates;
        size_t skippedLines = 0;  // torn or damaged lines
    };

    explicit ConversionRecord(std::filesystem::path folder) : folder_(std::move(folder)) {}

    // The record of the data folder that err.log is in (its log/ subfolder's parent); empty
    // while no log directory is set.
    static std::filesystem::path dataFolderOfLog();

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path file() const { return folder_ / kFileName; }

    // Writes the open entry of `conversion` (its id and start are set here) and puts it on the
    // disk, with the folder's entry when the file is new. false with the system's reason.
    bool open(Conversion& conversion, std::string& reason) const;
    bool close(const std::string& id, Result result, const std::string& error,
               std::string& reason) const;
    bool addSerialUpdate(SerialUpdate update, std::string& reason) const;

    // Everything the file holds; an absent file is an empty history. false with the reason when
    // the file exists and cannot be read.
    bool read(History& history, std::string& reason) const;
    // The last conversion of the radio with this serial number, when it is unfinished.
    std::optional<Conversion> unfinishedFor(const std::string& serial) const;

    static const char* resultName(Result result);

private:
    bool append(const std::string& line, std::string& reason) const;

    std::filesystem::path folder_;
};

}  // namespace plugshift
