#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "conversion/block_to_keep.h"
#include "conversion/conversion_command.h"
#include "conversion/flash_layout.h"
#include "conversion/personality.h"
#include "conversion/personality_backup.h"
#include "conversion/run_step.h"
#include "formats/ftf_image.h"
#include "tasks/radio_info.h"

namespace plugshift {

// Converts the connected radio: rewrites its default block (the codeplug) from a codeplug file
// laid out by an address-map file, erases its dynamic block and, with keepPersonality, reads the
// owner's DYN blocks and contacts first and writes them back afterwards. Every failure leaves a
// numbered record (0x001 to 0x02c) and, at the end of the run, the step text as the last record.
//
// Nothing is erased unless the FLASH test mode's reply passed and named a flash type we know, and
// nothing is programmed over a sector this run did not erase. A contact too long to be written
// back stops the run before anything is erased.
//
// What was kept is saved to a personality backup in the backup folder before anything is erased;
// a run that cannot save it stops there with the radio untouched. The backup stays after the run,
// so a run that fails later loses nothing; only a successful run prunes the older backups of the
// same radio beside the one it saved, never that one.
//
// Before each run the caller sets radio, window, the progress range, the two files, the steps
// (enableDefaultBlockUpdate, and enableKeepSteps with setBlocks when keeping the personality,
// otherwise keepPersonality = false) and the backup folder. A run clears the update flag, the
// steps and the backup it took the personality from.
//
// Before each step that changes the radio the step is announced (setStepStarting), so a run that
// stops anywhere can be taken up again from the step it was in (resumeAt).
//
// After a failed run the radio may hold part of a default block; the way back is to convert it
// again with the personality taken from the failed run's backup (takePersonalityFrom): nothing is
// then read from the radio and no new backup is written.
class ConvertRadio : public ConversionCommand {
public:
    enum class ResumePoint { Start, DynamicBlock, NormalMode };
    enum class PersonalitySource { None, Radio, Backup };

    // The flag bit that makes a run update the default block.
    static constexpr uint16_t kUpdateDefaultBlock = 0x40;

    bool keepPersonality = true;

    // false for a null path.
    bool setAddressFile(const wchar_t* path);
    bool setCodeplugFile(const wchar_t* path);
    // Sets the update flag and enables the default-block step.
    void enableDefaultBlockUpdate();
    // Enables the keep and restore steps of the user information.
    void enableKeepSteps();
    // Replaces the blocks to keep; false for a null array.
    bool setBlocks(const BlockToKeep* blocks, uint8_t count);
    // The model and codeplug version the personality backup names, in place of what the radio
    // reports.
    void setBackupIdentity(const RadioInfo::Model& model, const RadioInfo::Version& version) {
        backupIdentity_ = {model, version};
    }
    // Where personality backups go (the data folder's backup/); created when missing.
    void setBackupFolder(std::filesystem::path folder) { backupFolder_ = std::move(folder); }
    // The next run writes this backup's personality back instead of reading the radio's: its DYN
    // blocks become the blocks to keep (checked against the address map like any other) and the
    // restore steps are enabled. `path` stays the run's lastBackupPath.
    void takePersonalityFrom(const PersonalityBackup& backup, std::filesystem::path path);
    // Called on the worker thread once the backup is saved and before anything is erased (the
    // conversion record goes on the disk there); false stops the run with the radio untouched.
    void setBeforeErase(std::function<bool()> beforeErase) {
        beforeErase_ = std::move(beforeErase);
    }
    // Called on the worker thread before each step that changes the radio (the record notes
    // there where the run is); false stops the run before the step.
    void setStepStarting(std::function<bool(RunStep)> stepStarting) {
        stepStarting_ = std::move(stepStarting);
    }
    // Called on the worker thread once the kept personality is back in the radio; false stops
    // the run before it returns the radio to its normal mode.
    void setPersonalityBack(std::function<bool()> personalityBack) {
        personalityBack_ = std::move(personalityBack);
    }
    // Where the next run takes up the radio work, for a conversion that stopped on the way: from
    // the start, from the dynamic block's erase (the default block is whole; the personality, if
    // any, comes from a backup) or only the return to normal mode (everything else is done).
    // Nothing is read from the radio to keep unless the run starts at the start.
    void resumeAt(ResumePoint point) { resumeAt_ = point; }

    bool run() override;

    // Where the next (or running) run takes the personality it writes back from.
    PersonalitySource personalitySource() const;
    const std::wstring& addressPath() const { return addressPath_; }
    const std::wstring& codeplugPath() const { return codeplugPath_; }
    uint16_t flags() const { return flags_; }
    const std::vector<BlockToKeep>& blocks() const { return blocks_; }
    const std::filesystem::path& backupFolder() const { return backupFolder_; }
    // The backup the last run saved; empty when it saved none. Name it in a failure report.
    const std::filesystem::path& lastBackupPath() const { return lastBackupPath_; }
    // The status word of the last run's hard reset (0 until it answered).
    uint16_t statusWord() const { return statusWord_; }
    // The last run stopped because the kept personality could not be saved in backupFolder().
    bool backupNotSaved() const { return backupNotSaved_; }

private:
    bool updating() const { return (flags_ & kUpdateDefaultBlock) != 0; }
    // The record has noted the step; a failure stops the run before it.
    void beginStep(RunStep step);
    void noteRestored();

    void enterFlashTestMode();
    void raiseBaudRate();
    void loadAddressMap();
    void checkBlocks();
    void keepUserInfo();
    void keepContacts();
    // A contact read at `index` (0-based) whose reply said the radio holds `count`.
    void keepContact(int index, int count, std::span<const uint8_t> data);
    void checkContactsFit();
    void saveBackup();
    void enterUpdateProtection();
    void loadCodeplug();
    void checkDefaultBlockFits();
    void eraseDefaultBlock();
    void programDefaultBlock();
    void eraseDynamicBlock();
    // The step text always; the request only when the run rewrites the radio.
    void finalize(bool rewriting);
    void hardReset();
    void resetBlocks();
    void pruneOlderBackups();

    std::wstring codeplugPath_;
    std::wstring addressPath_;
    uint16_t flags_ = 0;
    std::vector<BlockToKeep> blocks_;
    std::filesystem::path backupFolder_;
    std::filesystem::path lastBackupPath_;
    std::optional<std::pair<RadioInfo::Model, RadioInfo::Version>> backupIdentity_;
    uint16_t statusWord_ = 0;
    bool backupNotSaved_ = false;
    // Where this radio's blocks are; set only by a FLASH test-mode reply that named a known type.
    std::optional<FlashLayout> layout_;
    Personality kept_;
    // Set by takePersonalityFrom for the next run only.
    std::optional<Personality> fromBackup_;
    std::filesystem::path fromBackupPath_;
    std::function<bool()> beforeErase_;
    std::function<bool(RunStep)> stepStarting_;
    std::function<bool()> personalityBack_;
    ResumePoint resumeAt_ = ResumePoint::Start;
    // The address map first, then the codeplug.
    FtfImage image_;
};

}  // namespace plugshift
