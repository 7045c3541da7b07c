#include "conversion/recorded_run.h"

#include <filesystem>
#include <system_error>

#include "conversion/convert_radio.h"
#include "conversion/personality_backup.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/system_files.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

std::string shown(const std::optional<std::wstring>& value) {
    return toUtf8(value.value_or(L""));
}

// A record outlives the folder the tool was started from: its paths name files on their own.
std::string absoluteText(const std::wstring& path) {
    std::error_code ec;
    const std::filesystem::path absolute =
        std::filesystem::absolute(pathFromUtf8(toUtf8(path)), ec);
    return ec ? toUtf8(path) : utf8FromPath(absolute.lexically_normal());
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
    identity.backup = utf8FromPath(path);
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
    closeFailed_ = false;
    reason_.clear();
    command.setBeforeErase(
        [this, &command, onBackup = std::move(onBackup)] { return openEntry(command, onBackup); });
    command.setEraseStarting([this] { return markErase(); });
    command.setDefaultBlockProgrammed([this] {
        // Only a later finish reads it; the conversion goes on without it.
        if (!record_.markProgrammed(entry_.id, reason_)) {
            ErrorLog::write(L"The conversion record [%ls] could not be written: %ls",
                            fromUtf8(utf8FromPath(record_.file())).c_str(),
                            fromUtf8(reason_).c_str());
        }
    });
}

bool RecordedRun::markErase() {
    if (!record_.markErase(entry_.id, reason_)) {
        ErrorChain::add(kErrorFile, L"Error:failed to write the conversion record [%ls]: %ls.",
                        fromUtf8(utf8FromPath(record_.file())).c_str(), fromUtf8(reason_).c_str());
        return false;
    }
    entry_.eraseBegan = true;
    return true;
}

bool RecordedRun::openEntry(const ConvertRadio& command,
                            const std::function<void(const std::filesystem::path&)>& onBackup) {
    const std::filesystem::path& backup = command.lastBackupPath();
    if (!backup.empty() && utf8FromPath(backup) != entry_.backup) {
        // Named now, not only at the end: a run that never ends still leaves the way back.
        ErrorLog::write(L"The radio's personality is saved in [%ls].",
                        fromUtf8(utf8FromPath(backup)).c_str());
        if (onBackup) {
            onBackup(backup);
        }
    }
    entry_.codeplugFile = absoluteText(command.codeplugPath());
    entry_.addressFile = absoluteText(command.addressPath());
    entry_.backup = utf8FromPath(backup);
    if (!record_.open(entry_, reason_)) {
        ErrorChain::add(kErrorFile, L"Error:failed to write the conversion record [%ls]: %ls.",
                        fromUtf8(utf8FromPath(record_.file())).c_str(), fromUtf8(reason_).c_str());
        return false;
    }
    opened_ = true;
    return true;
}

void RecordedRun::finish(const ConvertRadio& command, bool stopRequested) {
    if (!opened_) {
        return;  // stopped before the record: nothing was erased
    }
    ConversionRecord::Result result = ConversionRecord::Result::Converted;
    std::string error;
    if (!command.ok) {
        // A run that never asked for an erase left the flash as it was.
        result = !entry_.eraseBegan ? ConversionRecord::Result::NotStarted
                 : stopRequested    ? ConversionRecord::Result::Stopped
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
