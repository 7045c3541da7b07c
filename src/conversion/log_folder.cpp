#include "conversion/log_folder.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <system_error>

#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/process_environment.h"
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

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = writeFile(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Gives the written temporary file its final name, never replacing a file of that name.
bool renameToFreeName(const fs::path& temporary, const fs::path& folder,
                      const std::function<std::string(int)>& nameFor, fs::path& created,
                      std::string& reason) {
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const fs::path candidate = folder / pathFromUtf8(nameFor(attempt));
        if (renameIfFree(temporary, candidate) == 0) {
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

// A fresh file beside the final ones that nobody else names: the process and a counter.
int createTemporary(const fs::path& folder, fs::path& temporary) {
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        temporary =
            folder / (".partial-" + std::to_string(processId()) + "-" + std::to_string(attempt));
        const int fd = openFile(temporary, FileOpenMode::kCreateNew);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

fs::path LogFolder::current() {
    const std::wstring log = ErrorLog::path();
    return log.empty() ? fs::path() : pathFromUtf8(toUtf8(log)).parent_path();
}

bool LogFolder::appendDurably(const fs::path& file, std::string_view text, std::string& reason) {
    std::error_code ignored;
    const bool existed = fs::exists(file, ignored);
    const int fd = openFile(file, FileOpenMode::kAppend);
    if (fd < 0) {
        reason = systemReason();
        return false;
    }
    bool ok = writeAll(fd, text) && syncFile(fd) == 0;
    if (!ok) {
        reason = systemReason();
    }
    if (closeFile(fd) != 0 && ok) {
        reason = systemReason();
        ok = false;
    }
    if (ok && !existed) {
        syncFolder(file.parent_path());
    }
    return ok;
}

bool LogFolder::createDurably(const fs::path& folder,
                              const std::function<std::string(int attempt)>& nameFor,
                              std::string_view content, fs::path& created, std::string& reason) {
    fs::path temporary;
    const int fd = createTemporary(folder, temporary);
    if (fd < 0) {
        reason = systemReason();
        return false;
    }
    setFileMode(fd, kFileMode);
    bool ok = writeAll(fd, content) && syncFile(fd) == 0;
    if (!ok) {
        reason = systemReason();
    }
    if (closeFile(fd) != 0 && ok) {
        reason = systemReason();
        ok = false;
    }
    ok = ok && renameToFreeName(temporary, folder, nameFor, created, reason);
    if (!ok) {
        removeFile(temporary);
    }
    if (ok) {
        syncFolder(folder);
    }
    return ok;
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

std::string LogFolder::fileStamp(Clock::time_point time) {
    const std::time_t since = Clock::to_time_t(time);
    std::tm local{};
    localTime(since, local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

}  // namespace plugshift
