#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "conversion/conversion_record.h"

namespace plugshift {

class ConvertRadio;
class PersonalityBackup;
class RadioInfo;

// The conversion record of one run of a ConvertRadio. Before the command changes anything in the
// radio (on its worker thread) the open entry goes on the disk, naming the backup the run has
// just saved, which is logged and handed to onBackup at once; before each step that changes the
// radio its step line follows, and once the kept personality is back, a line saying so. A line
// that cannot be written stops the run before the step it announces. After the run, finish()
// closes the entry with how it ended.
class RecordedRun {
public:
    using Conversion = ConversionRecord::Conversion;

    // `before`: the radio as it was before (serial number, model, versions) and, when this run
    // finishes an earlier one, its id in `finishes`.
    RecordedRun(ConversionRecord record, Conversion before);

    // The identity part of an entry, in display forms, from the radio's last identity read.
    static Conversion identityOf(const RadioInfo& radio);
    // For a run that writes the backup at `path` back: the radio as the backup saw it before its
    // conversion (no firmware version), and the backup, which is then not announced again.
    static Conversion identityOf(const PersonalityBackup& backup,
                                 const std::filesystem::path& path);
    // An entry for the run that finishes `unfinished`: its identity and backup, and its id as
    // `finishes`.
    static Conversion finishing(const Conversion& unfinished);

    // Hooks the record into the command's next run. onBackup (may be empty) runs on the worker
    // thread with the backup's path when the run has saved a new one.
    void attach(ConvertRadio& command, std::function<void(const std::filesystem::path&)> onBackup);
    // Closes the entry the run opened: converted, not-started (no erase was asked for), stopped
    // (the user asked the run to stop) or failed, with the oldest record of the error chain.
    // Call it before the chain is cleared.
    void finish(const ConvertRadio& command, bool stopRequested);

    // The run got as far as its open entry.
    bool opened() const { return opened_; }
    // A line could not be written, so the run stopped before the step it was to announce.
    bool notRecorded() const { return notRecorded_; }
    // The run began a step that changes the radio.
    bool radioChanged() const { return entry_.lastStep != RunStep::None; }
    // The run's end could not be written: the record still shows it as not ended.
    bool closeFailed() const { return closeFailed_; }
    // Why the record could not be written (open, a step or close).
    const std::string& reason() const { return reason_; }
    const Conversion& entry() const { return entry_; }
    const ConversionRecord& record() const { return record_; }

private:
    bool openEntry(const ConvertRadio& command,
                   const std::function<void(const std::filesystem::path&)>& onBackup);

    bool markStep(RunStep step);
    bool markPersonalityBack();
    // Says why a line could not be written, in the chain of the run it stops.
    bool noted(bool written);

    ConversionRecord record_;
    Conversion entry_;
    bool opened_ = false;
    bool notRecorded_ = false;
    bool closeFailed_ = false;
    std::string reason_;
};

}  // namespace plugshift
