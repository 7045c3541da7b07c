#include "errors/error_log.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "errors/wide_text.h"

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

bool ensureOpen(LogState& s) {
    const std::string narrow = toUtf8(s.path);
    if (s.file == nullptr && !s.path.empty()) {
        if (std::FILE* f = std::fopen(narrow.c_str(), "a")) {
            openFresh(s, f);
        }
    }
    if (s.countdown == 0) {
        // Budget of this opening spent (or never opened): start the file afresh.
        closeFile(s);
        std::FILE* f = s.path.empty() ? nullptr : std::fopen(narrow.c_str(), "w");
        if (f == nullptr) {
            return false;
        }
        f = std::freopen(narrow.c_str(), "a", f);
        if (f == nullptr) {
            return false;
        }
        openFresh(s, f);
    }
    return s.file != nullptr;
}

}  // namespace

void ErrorLog::setDirectory(const std::wstring& directory) {
    std::wstring path = directory.empty() ? L".." : directory;
    if (path.back() != L'/') {
        path += L'/';
    }
    path += L"log";
    const std::string folder = toUtf8(path);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        ::mkdir(folder.c_str(), 0775);  // one level; a failure shows later as an unwritable log
    }
    state().path = path + L"/err.log";
}

bool ErrorLog::write(const wchar_t* format, ...) {
    LogState& s = state();
    std::lock_guard guard(s.lock);
    if (!ensureOpen(s)) {
        return false;
    }
    std::time_t now = std::time(nullptr);
    std::tm local {};
    char stamp[64];
    if (now != static_cast<std::time_t>(-1) && ::localtime_r(&now, &local) != nullptr &&
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
