#include "errors/error_log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "errors/wide_text.h"
#include "platform/system_files.h"
#include "platform/system_time.h"

namespace plugshift {

namespace {

struct LogState {
    std::mutex lock;
    std::FILE* file = nullptr;
    std::wstring path;
    int countdown = 0;
};

LogState& state() {
    static LogState s;
    return s;
}

void closeFile(LogState& s) {
    if (s.file != nullptr) {
        std::fclose(s.file);
        s.file = nullptr;
    }
}

void openFresh(LogState& s, std::FILE* file) {
    std::setvbuf(file, nullptr, _IONBF, 0);
    s.file = file;
    s.countdown = ErrorLog::kEntriesPerOpening;
}

// Text mode: each line ends as the system's text files do.
std::FILE* openLog(const std::wstring& path, const char* mode) {
    return openTextFile(pathFromUtf8(toUtf8(path)), mode);
}

bool ensureOpen(LogState& s) {
    if (s.file == nullptr && !s.path.empty()) {
        if (std::FILE* f = openLog(s.path, "a")) {
            openFresh(s, f);
        }
    }
    if (s.countdown == 0) {
        // Budget of this opening spent (or never opened): start the file afresh.
        closeFile(s);
        std::FILE* f = s.path.empty() ? nullptr : openLog(s.path, "w");
        if (f == nullptr) {
            return false;
        }
        std::fclose(f);
        f = openLog(s.path, "a");
        if (f == nullptr) {
            return false;
        }
        openFresh(s, f);
    }
    return s.file != nullptr;
}

}  // namespace

void ErrorLog::setDirectory(const std::wstring& directory) {
    // The system's own separator ('\\' on Windows), though '/' is taken as one everywhere.
    const auto separator = static_cast<wchar_t>(std::filesystem::path::preferred_separator);
    std::wstring path = directory.empty() ? L".." : directory;
    const auto endsInSeparator = [&] { return path.back() == L'/' || path.back() == separator; };
    while (path.size() > 1 && endsInSeparator()) {
        path.pop_back();
    }
    if (!endsInSeparator()) {
        path += separator;
    }
    path += L"log";
    // One level; a failure shows later as an unwritable log.
    std::error_code ignored;
    std::filesystem::create_directory(pathFromUtf8(toUtf8(path)), ignored);
    state().path = path + separator + L"err.log";
}

bool ErrorLog::write(const wchar_t* format, ...) {
    LogState& s = state();
    std::lock_guard guard(s.lock);
    if (!ensureOpen(s)) {
        return false;
    }
    std::time_t now = std::time(nullptr);
    std::tm local{};
    char stamp[64];
    if (now != static_cast<std::time_t>(-1) && localTime(now, local) &&
        std::strftime(stamp, sizeof stamp, "[ %m-%d %H:%M:%S ] ", &local) > 0) {
        std::fputs(stamp, s.file);
    }
    va_list args;
    va_start(args, format);
    const std::string message = toUtf8(vformatWide(format, args));
    va_end(args);
    std::fputs(message.c_str(), s.file);
    std::fputc('\n', s.file);
    --s.countdown;
    return true;
}

std::wstring ErrorLog::path() {
    return state().path;
}

void ErrorLog::reset() {
    LogState& s = state();
    std::lock_guard guard(s.lock);
    closeFile(s);
    s.path.clear();
    s.countdown = 0;
}

}  // namespace plugshift
