#include "conversion/recorded_run.h"

#include <filesystem>
#include <system_error>

#include "conversion/convert_radio.h"
#include "conversion/personality_backup.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "formats/ftf_identity.h"
#include "platform/system_files.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

std::string shown(const std::optional<std::wstring>& value) {
    return toUtf8(value.value_or(L""));
}

// A record outlives the folder the tool was started from: its paths name files on their own.
std::string absoluteText(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return utf8FromPath(ec ? path : absolute.lexically_normal());
}

std::string absoluteText(const std::wstring& path) {
    return absoluteText(pathFromUtf8(toUtf8(path)));
}

const char* personalityName(ConvertRadio::PersonalitySource source) {
    switch (source) {
        case ConvertRadio::PersonalitySource::Radio:
            return ConversionRecord::kFromRadio;
        case ConvertRadio::PersonalitySource::Backup:
            return ConversionRecord::kFromBackup;
        case ConvertRadio::PersonalitySource::None:
            break;
    }
    return ConversionRecord::kKeptNone;
}

}  // namespace

RecordedRun::RecordedRun(ConversionRecord record, Conversion before)
    : record_(std::move(record)), entry_(std::move(before)) {}

RecordedRun::Conversion RecordedRun::identityOf(const RadioInfo& radio) {
    Conversion identity;
    identity.serial = shown(RadioInfo::serialText(radio.serialValue()));
    identity.model = shown(RadioInfo::modelText(radio.model()));
    identity.firmware = shown(RadioInfo::versionText(radio.firmwareVersion()));
    identity.codeplug = shown(RadioInfo::versionText(radio.codeplugVersion()));
    return identity;
}

RecordedRun::Conversion RecordedRun::identityOf(const PersonalityBackup& backup,
                                                const std::filesystem::path& path) {
    Conversion identity;
    identity.backup = absoluteText(path);
    identity.serial = shown(RadioInfo::serialText(backup.serial));
    identity.model = shown(RadioInfo::modelText(backup.model));
    identity.codeplug = shown(RadioInfo::versionText(backup.codeplugVersion));
    return identity;
}

RecordedRun::Conversion RecordedRun::finishing(const Conversion& unfinished) {
    Conversion entry;
    entry.serial = unfinished.serial;
    entry.model = unfinished.model;
    entry.firmware = unfinished.firmware;
    entry.codeplug = unfinished.codeplug;
    entry.backup = unfinished.backup;
    entry.finishes = unfinished.id;
    return entry;
}

void RecordedRun::attach(ConvertRadio& command,
                         std::function<void(const std::filesystem::path&)> onBackup) {
    opened_ = false;
    notRecorded_ = false;
    closeFailed_ = false;
    reason_.clear();
    // What the files are, taken here and not on the worker thread: a file that cannot be read
    // leaves its records in this thread's chain, which the caller clears before the run.
    entry_.codeplugFileId = ftfIdentity(command.codeplugPath());
    entry_.addressFileId = ftfIdentity(command.addressPath());
    command.setBeforeErase(
        [this, &command, onBackup = std::move(onBackup)] { return openEntry(command, onBackup); });
    command.setStepStarting([this](RunStep step) { return markStep(step); });
    command.setPersonalityBack([this] { return markPersonalityBack(); });
}

bool RecordedRun::noted(bool written) {
    if (!written) {
        notRecorded_ = true;
        ErrorChain::add(kErrorFile, L"Error:failed to write the conversion record [%ls]: %ls.",
                        fromUtf8(utf8FromPath(record_.file())).c_str(), fromUtf8(reason_).c_str());
    }
    return written;
}

bool RecordedRun::markStep(RunStep step) {
    if (!noted(record_.markStep(entry_.id, step, reason_))) {
        return false;
    }
    entry_.lastStep = step;
    return true;
}

bool RecordedRun::markPersonalityBack() {
    if (!noted(record_.markPersonalityBack(entry_.id, reason_))) {
        return false;
    }
    entry_.personalityBack = true;
    return true;
}

bool RecordedRun::openEntry(const ConvertRadio& command,
                            const std::function<void(const std::filesystem::path&)>& onBackup) {
    const std::filesystem::path& backup = command.lastBackupPath();
    const std::string backupText = backup.empty() ? std::string() : absoluteText(backup);
    if (!backup.empty() && backupText != entry_.backup) {
        // Named now, not only at the end: a run that never ends still leaves the way back.
        ErrorLog::write(L"The radio's personality is saved in [%ls].",
                        fromUtf8(backupText).c_str());
        if (onBackup) {
            onBackup(pathFromUtf8(backupText));
        }
    }
    entry_.codeplugFile = absoluteText(command.codeplugPath());
    entry_.addressFile = absoluteText(command.addressPath());
    // A finish that saves no backup of its own still names the one of the run it finishes.
    if (!backupText.empty()) {
        entry_.backup = backupText;
    }
    entry_.personality = personalityName(command.personalitySource());
    opened_ = noted(record_.open(entry_, reason_));
    return opened_;
}

void RecordedRun::finish(const ConvertRadio& command, bool stopRequested) {
    if (!opened_) {
        return;  // stopped before the record: nothing was erased
    }
    ConversionRecord::Result result = ConversionRecord::Result::Converted;
    std::string error;
    if (!command.ok) {
        // A run that never asked for an erase left the flash as it was.
        result = !radioChanged() ? ConversionRecord::Result::NotStarted
                 : stopRequested ? ConversionRecord::Result::Stopped
                                 : ConversionRecord::Result::Failed;
        error = toUtf8(ErrorChain::firstMessage());
    }
    entry_.result = result;
    entry_.error = error;
    if (!record_.close(entry_.id, result, error, reason_)) {
        closeFailed_ = true;
        ErrorLog::write(L"The conversion record [%ls] could not be closed: %ls",
                        fromUtf8(utf8FromPath(record_.file())).c_str(), fromUtf8(reason_).c_str());
    }
}

}  // namespace plugshift
