#include "conversion/log_folder.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <system_error>

#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/process_environment.h"
#include "platform/safe_file_writer.h"
#include "platform/system_files.h"
#include "platform/system_time.h"

namespace plugshift {

namespace {

namespace fs = std::filesystem;

// Names tried before giving up: far more failures than one second can hold.
constexpr int kMaxNameAttempts = 1000;
constexpr unsigned kFileMode = 0644;  // as err.log beside it

std::string systemReason() {
    return std::error_code(errno, std::generic_category()).message();
}

}  // namespace

fs::path LogFolder::current() {
    const std::wstring log = ErrorLog::path();
    return log.empty() ? fs::path() : pathFromUtf8(toUtf8(log)).parent_path();
}

bool LogFolder::appendDurably(const fs::path& file, std::string_view text, std::string& reason) {
    std::error_code ec;
    const bool existed = fs::exists(file, ec);
    const uintmax_t sizeBefore = existed ? fs::file_size(file, ec) : 0;
    const int fd = openFile(file, FileOpenMode::kAppend);
    if (fd < 0) {
        reason = systemReason();
        return false;
    }
    bool ok = writeFully(fd, text) && syncFile(fd) == 0;
    if (!ok) {
        reason = systemReason();
    }
    if (closeFile(fd) != 0 && ok) {
        reason = systemReason();
        ok = false;
    }
    if (!ok) {
        // A full disk takes part of the text: cut it off again, so no torn line is left for a
        // reader to take as an entry.
        fs::resize_file(file, sizeBefore, ec);
        return false;
    }
    if (!existed && !syncFolder(file.parent_path())) {
        reason = "the folder's entry for the new file could not be synced: " + systemReason();
        return false;
    }
    return true;
}

bool LogFolder::createDurably(const fs::path& folder,
                              const std::function<std::string(int attempt)>& nameFor,
                              std::string_view content, fs::path& created, std::string& reason) {
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const fs::path candidate = folder / pathFromUtf8(nameFor(attempt));
        if (SafeFileWriter::standard().create(utf8FromPath(candidate), content, kFileMode)) {
            created = candidate;
            return true;
        }
        if (errno != EEXIST) {
            reason = systemReason();
            return false;
        }
    }
    reason = "no free file name";
    return false;
}

std::string LogFolder::isoTime(Clock::time_point time) {
    const std::time_t since = Clock::to_time_t(time);
    std::tm local{};
    localTime(since, local);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const int offset = utcOffsetMinutes(since, local);
    const int magnitude = offset < 0 ? -offset : offset;
    char zone[32];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return std::string(text) + zone;
}

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

}  // namespace

std::string LogFolder::shownTime(const std::string& iso) {
    int year = 0;
    unsigned month = 0, day = 0, hour = 0, minute = 0, second = 0, zoneHours = 0, zoneMinutes = 0;
    char sign = 0;
    char tail = 0;
    if (std::sscanf(iso.c_str(), "%4d-%2u-%2uT%2u:%2u:%2u%c%2u:%2u%c", &year, &month, &day, &hour,
                    &minute, &second, &sign, &zoneHours, &zoneMinutes, &tail) != 9 ||
        (sign != '+' && sign != '-') || month < 1 || month > 12 || day < 1 || day > 31) {
        return iso;
    }
    const int64_t offset = (sign == '-' ? -1 : 1) * int64_t{zoneHours * 60 + zoneMinutes} * 60;
    const int64_t utc =
        daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - offset;
    std::tm local{};
    if (!localTime(static_cast<std::time_t>(utc), local)) {
        return iso;
    }
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

std::string LogFolder::fileStamp(Clock::time_point time) {
    const std::time_t since = Clock::to_time_t(time);
    std::tm local{};
    localTime(since, local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

}  // namespace plugshift
