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
//    "backup":"..." or null,"finishes":"<id of the conversion it finishes>" or null,
//    "erase":"noted"}
//   {"entry":"erase","id":"...","time":"<ISO time>"}
//   {"entry":"programmed","id":"...","time":"<ISO time>"}
//   {"entry":"close","id":"...","end":"<ISO time>","result":"converted|failed|stopped|
//    interrupted","error":"..." or null}
//   {"entry":"serial","time":"<ISO time>","model":"...","serialBefore":"...",
//    "serialAfter":"...","result":"started|updated|failed|stopped|not-backed-up",
//    "error":"..." or null,"id":"...","serialRead":"..." or null}
// An open entry is on the disk before the radio is asked to change anything, its erase line right
// before the first erase request, and its close when the run ends. An open entry that never gets
// its close is a conversion the tool did not see end (killed, crashed, power lost); one without
// an erase line left the radio's flash as it was. (Entries without "erase":"noted" come from
// before erase lines were written: they are taken as having erased.) A line that does not end
// with a line feed, is longer than kMaxLineBytes or does not parse is a torn or damaged write and
// is skipped; the next entry starts on a line of its own, and a failed write is cut off again.
// A serial-number update writes its "started" line before anything is sent to the radio and a
// second line with the same id when it ends; a started one without its end is an update the tool
// did not see end. serialRead is what the radio reported after an update that did not succeed.
// (Serial lines without an id come from before started lines were written: each is a whole
// update, "updated" or "failed".)
class ConversionRecord {
public:
    static constexpr const char* kFileName = "conversion-record.jsonl";
    // No entry the tool writes comes near this; a longer line is damage, not an entry.
    static constexpr size_t kMaxLineBytes = 64 * 1024;
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
        // The open entry promises an erase line, and whether it came; and whether the whole
        // default block was programmed after it.
        bool eraseNoted = false;
        bool eraseBegan = false;
        bool programmed = false;

        // The run asked the radio to erase (or is too old to say it did not).
        bool touchedFlash() const { return !eraseNoted || eraseBegan; }
        // The radio holds the whole new default block (or the entry is too old to say): one that
        // reads as converted then is, where a run cut in the middle of programming leaves a
        // radio that reports the new model from its first chunk alone.
        bool defaultBlockWritten() const { return !eraseNoted || programmed; }
        // Touched the flash and did not convert (open: the tool never saw it end; failed,
        // stopped or interrupted): the radio may be half-written.
        bool unfinished() const {
            return touchedFlash() && result != Result::Converted && result != Result::NotStarted;
        }
    };

    struct SerialUpdate {
        std::string time;
        std::string model;
        std::string serialBefore;
        std::string serialAfter;
        bool updated = false;
        std::string error;
        // Pairs the started line with its end; empty in lines of older versions.
        std::string id;
        // "started" (no end was written), "updated", "failed", "stopped" or "not-backed-up" (the
        // radio took the number, its factory block was not backed up); empty: from `updated`.
        std::string result;
        // The end line's time; empty when there is none (or the line is an older version's).
        std::string end;
        // What the radio reported after an update that did not succeed; empty: not read.
        std::string serialRead;

        static constexpr const char* kStarted = "started";
        static constexpr const char* kUpdated = "updated";
        static constexpr const char* kFailed = "failed";
        static constexpr const char* kStopped = "stopped";
        static constexpr const char* kNotBackedUp = "not-backed-up";
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
    // Notes that the run with this id is about to send its first erase.
    bool markErase(const std::string& id, std::string& reason) const;
    // Notes that the run with this id has programmed the whole default block.
    bool markProgrammed(const std::string& id, std::string& reason) const;
    bool close(const std::string& id, Result result, const std::string& error,
               std::string& reason) const;
    bool addSerialUpdate(SerialUpdate update, std::string& reason) const;

    // Everything the file holds; an absent file is an empty history. false with the reason when
    // the file exists and cannot be read.
    bool read(History& history, std::string& reason) const;
    // Of the conversions of the radio with this serial number that touched its flash, the last,
    // when it is unfinished; runs that erased nothing are passed over, since they left the radio
    // as the one before them did. Read from the end, so a long record costs only its tail. false
    // with the reason when the file exists and cannot be read.
    bool findUnfinished(const std::string& serial, std::optional<Conversion>& unfinished,
                        std::string& reason) const;

    static const char* resultName(Result result);

private:
    bool append(const std::string& line, std::string& reason) const;

    std::filesystem::path folder_;
};

}  // namespace plugshift
