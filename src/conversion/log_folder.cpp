#include "conversion/log_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <system_error>

#include "errors/error_log.h"
#include "errors/wide_text.h"

namespace plugshift {

namespace {

namespace fs = std::filesystem;

// Names tried before giving up: far more failures than one second can hold.
constexpr int kMaxNameAttempts = 1000;
constexpr mode_t kFileMode = 0644;  // as err.log beside it

std::string systemReason() {
    return std::error_code(errno, std::generic_category()).message();
}

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
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

// A new name is only durable once the folder that holds it is flushed too.
void syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Gives the written temporary file its final name, never replacing a file of that name.
bool linkUnderFreeName(const std::string& temporary, const fs::path& folder,
                       const std::function<std::string(int)>& nameFor, fs::path& created,
                       std::string& reason) {
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const fs::path candidate = folder / nameFor(attempt);
        if (::link(temporary.c_str(), candidate.c_str()) == 0) {
            created = candidate;
            return true;
        }
        if (errno == EEXIST) {
            continue;
        }
        // A file system without hard links: a rename onto a name that is still free.
        if (::access(candidate.c_str(), F_OK) != 0 &&
            ::rename(temporary.c_str(), candidate.c_str()) == 0) {
            created = candidate;
            return true;
        }
        reason = systemReason();
        return false;
    }
    reason = "no free file name";
    return false;
}

}  // namespace

fs::path LogFolder::current() {
    const std::wstring log = ErrorLog::path();
    return log.empty() ? fs::path() : fs::path(toUtf8(log)).parent_path();
}

bool LogFolder::appendDurably(const fs::path& file, std::string_view text, std::string& reason) {
    const bool existed = ::access(file.c_str(), F_OK) == 0;
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kFileMode);
    if (fd < 0) {
        reason = systemReason();
        return false;
    }
    bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    if (!ok) {
        reason = systemReason();
    }
    if (::close(fd) != 0 && ok) {
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
    std::string temporary = (folder / ".partial-XXXXXX").string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        reason = systemReason();
        return false;
    }
    bool ok = ::fchmod(fd, kFileMode) == 0 && writeAll(fd, content) && ::fsync(fd) == 0;
    if (!ok) {
        reason = systemReason();
    }
    if (::close(fd) != 0 && ok) {
        reason = systemReason();
        ok = false;
    }
    ok = ok && linkUnderFreeName(temporary, folder, nameFor, created, reason);
    ::unlink(temporary.c_str());  // gone already after a rename
    if (ok) {
        syncFolder(folder);
    }
    return ok;
}

std::string LogFolder::isoTime(Clock::time_point time) {
    const std::time_t since = Clock::to_time_t(time);
    std::tm local{};
    localtime_r(&since, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const int offset = static_cast<int>(local.tm_gmtoff / 60);  // minutes east of UTC
    const int magnitude = offset < 0 ? -offset : offset;
    char zone[32];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return std::string(text) + zone;
}

std::string LogFolder::fileStamp(Clock::time_point time) {
    const std::time_t since = Clock::to_time_t(time);
    std::tm local{};
    localtime_r(&since, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

}  // namespace plugshift
