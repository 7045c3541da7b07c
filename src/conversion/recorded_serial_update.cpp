#include "conversion/recorded_serial_update.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <system_error>

#include "conversion/log_folder.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/process_environment.h"
#include "platform/system_files.h"

namespace plugshift {

namespace {

using Clock = std::chrono::system_clock;
using Update = ConversionRecord::SerialUpdate;

// By SerialAudit::Stage.
constexpr const char* kResults[] = {Update::kStarted, Update::kUpdated, Update::kStopped,
                                    Update::kFailed, Update::kNotBackedUp};
constexpr int kMillisPerSecond = 1000;

// Unique within the record: the time to the millisecond, the process and a counter of this run.
std::string newId() {
    static std::atomic<unsigned> counter{0};
    const Clock::time_point now = Clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    char millis[8];
    std::snprintf(millis, sizeof millis, "%03d", static_cast<int>(ms.count() % kMillisPerSecond));
    return "sn-" + LogFolder::fileStamp(now) + "-" + millis + "-" + std::to_string(processId()) +
           "-" + std::to_string(counter++);
}

void logUnwritten(const wchar_t* what, const std::filesystem::path& folder,
                  const std::string& reason) {
    ErrorLog::write(what, fromUtf8(utf8FromPath(folder)).c_str(), fromUtf8(reason).c_str());
}

}  // namespace

RecordedSerialUpdate::RecordedSerialUpdate(std::filesystem::path auditFolder,
                                           ConversionRecord record, Numbers numbers)
    : auditFolder_(std::move(auditFolder)),
      record_(std::move(record)),
      numbers_(std::move(numbers)),
      id_(newId()) {}

bool RecordedSerialUpdate::begin(std::filesystem::path& unwritable) {
    std::string reason;
    if (!writeAudit(Stage::Started, {}, reason)) {
        unwritable = auditFolder_;
    } else if (!writeRecord(Stage::Started, {}, {}, reason)) {
        unwritable = record_.folder();
        // Nothing was sent: the audit's started line ends with the radio as it was.
        std::string ignored;
        writeAudit(Stage::Failure, numbers_.oldSerial, ignored);
    } else {
        return true;
    }
    logUnwritten(L"The serial-number update cannot be recorded in [%ls]: %ls", unwritable, reason);
    return false;
}

void RecordedSerialUpdate::finish(Stage stage, const std::wstring& serialNow,
                                  const std::string& error) {
    std::string reason;
    if (!writeAudit(stage, serialNow, reason)) {
        logUnwritten(L"The serial-number audit could not be written in [%ls]: %ls", auditFolder_,
                     reason);
    }
    if (!writeRecord(stage, serialNow, error, reason)) {
        logUnwritten(L"The conversion record could not be written in [%ls]: %ls", record_.folder(),
                     reason);
    }
}

bool RecordedSerialUpdate::writeAudit(Stage stage, const std::wstring& serialNow,
                                      std::string& reason) const {
    if (auditFolder_.empty()) {
        return true;
    }
    std::error_code ec;
    std::filesystem::create_directories(auditFolder_, ec);
    return SerialAudit::append(
        auditFolder_,
        {Clock::now(), numbers_.model, numbers_.oldSerial, numbers_.newSerial, stage, serialNow},
        reason);
}

bool RecordedSerialUpdate::writeRecord(Stage stage, const std::wstring& serialNow,
                                       const std::string& error, std::string& reason) const {
    if (record_.folder().empty()) {
        return true;
    }
    return record_.addSerialUpdate({.time = {},
                                    .model = toUtf8(numbers_.model),
                                    .serialBefore = toUtf8(numbers_.oldSerial),
                                    .serialAfter = toUtf8(numbers_.newSerial),
                                    .updated = stage == Stage::Success,
                                    .error = error,
                                    .id = id_,
                                    .result = kResults[static_cast<size_t>(stage)],
                                    .end = {},
                                    .serialRead = toUtf8(serialNow)},
                                   reason);
}

}  // namespace plugshift
