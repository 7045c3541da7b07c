#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "conversion/run_step.h"

namespace plugshift {

// The data folder's book of radio work, conversion-record.jsonl: what every conversion was about
// to do before it erased anything, each step that changed the radio as it began, how it ended,
// and every serial-number update. It is what brings an interrupted conversion back (the radio's
// identity before, the files it was converted with, its backup, the last step begun) and the
// dealer's record of the radios converted.
//
// Append-only text, one JSON object per line, UTF-8, never rewritten by the tool:
//   {"entry":"open","id":"...","start":"<ISO time>","serial":"...","model":"...",
//    "firmware":"...","codeplug":"...","codeplugFile":"<absolute path>","codeplugFileId":"...",
//    "addressFile":"<absolute path>","addressFileId":"...","backup":"<absolute path>" or null,
//    "finishes":"<id of the conversion it finishes>" or null,"personality":"radio|backup|none",
//    "erase":"noted","steps":"noted"}
//   {"entry":"step","id":"...","step":"<RunStep name>","time":"<ISO time>"}
//   {"entry":"personality-back","id":"...","time":"<ISO time>"}
//   {"entry":"close","id":"...","end":"<ISO time>","result":"converted|failed|stopped|
//    interrupted","error":"..." or null}
//   {"entry":"serial","time":"<ISO time>","model":"...","serialBefore":"...",
//    "serialAfter":"...","result":"started|updated|failed|stopped|not-backed-up",
//    "error":"..." or null,"id":"...","serialRead":"..." or null}
// An open entry is on the disk before the radio is asked to change anything, each step line
// before its step begins, the personality-back line once the kept personality is in the radio
// again, and the close when the run ends. An open entry that never gets its close is a
// conversion the tool did not see end (killed, crashed, power lost); one without a step line left
// the radio's flash as it was. A file's id says what it is (internal name, version, digest), so a
// moved installation's files are still known.
// Earlier versions wrote {"entry":"erase",...} before the first erase and {"entry":"programmed",
// ...} once the default block was whole instead of step lines; they read as the first step and as
// the default block done with nothing known after it. Entries without "erase":"noted" are older
// still and are taken as having erased.
// A serial-number update writes its "started" line before anything is sent to the radio and a
// second line with the same id when it ends; a started one without its end is an update the tool
// did not see end. serialRead is what the radio reported after an update that did not succeed.
// (Serial lines without an id come from before started lines were written: each is a whole
// update, "updated" or "failed".)
// A line that does not end with a line feed, is longer than kMaxLineBytes or does not parse is a
// torn or damaged write and is skipped; the next entry starts on a line of its own, and a failed
// write is cut off again.
class ConversionRecord {
public:
    static constexpr const char* kFileName = "conversion-record.jsonl";
    // No entry the tool writes comes near this; a longer line is damage, not an entry.
    static constexpr size_t kMaxLineBytes = 64 * 1024;
    // The values of an entry's "personality".
    static constexpr const char* kFromRadio = "radio";
    static constexpr const char* kFromBackup = "backup";
    static constexpr const char* kKeptNone = "none";
    // The conversion's own record when its open entry could not be written.
    static constexpr const wchar_t* kNotRecorded =
        L"Error:the conversion could not be recorded before erasing; nothing was erased.";
    // The same before a later step (%ls: the step's name); the run stops before that step.
    static constexpr const wchar_t* kStepNotRecorded =
        L"Error:the conversion could not be recorded before its step [%ls]; the run stopped "
        L"there.";

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
        std::string codeplugFileId;  // empty in entries of earlier versions
        std::string addressFile;
        std::string addressFileId;
        std::string backup;    // empty: none saved
        std::string finishes;  // empty: a conversion of its own
        // Where the run takes the personality it writes back from: read from the radio, a
        // backup, or none kept; empty in entries of earlier versions.
        std::string personality;
        Result result = Result::Open;
        std::string end;
        std::string error;
        // The open entry promises an erase line (or step lines).
        bool eraseNoted = false;
        // The open entry promises a line before every step; entries of earlier versions knew
        // only the first erase and the whole default block ("programmed").
        bool stepsNoted = false;
        bool programmed = false;
        RunStep lastStep = RunStep::None;
        // The kept personality is back in the radio.
        bool personalityBack = false;

        // The run asked the radio to erase (or is too old to say it did not).
        bool touchedFlash() const { return !eraseNoted || lastStep != RunStep::None; }
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
    // Notes that the run with this id is about to begin `step`.
    bool markStep(const std::string& id, RunStep step, std::string& reason) const;
    // Notes that the run with this id has written the kept personality back.
    bool markPersonalityBack(const std::string& id, std::string& reason) const;
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
