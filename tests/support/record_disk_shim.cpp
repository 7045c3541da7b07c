// Preloaded into the program under test, it stands in for a disk that fills up or a stop that
// comes while the conversion record is written. Each opening of the record for writing is one
// line; with PLUGSHIFT_TEST_RECORD_FULL_AT=N the N-th line and all after it find the disk full
// (ENOSPC), and with PLUGSHIFT_TEST_RECORD_SIGINT_AT=N the process gets SIGINT as it begins the
// N-th line. Plain C calls only: it runs inside any program, sanitized or not.

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kRecordName = "conversion-record.jsonl";
constexpr int kMaxWatched = 4096;

std::array<bool, kMaxWatched> full{};
int lines = 0;

int settingOf(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::atoi(value) : 0;
}

bool isRecord(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return std::strcmp(slash != nullptr ? slash + 1 : path, kRecordName) == 0;
}

// A line of the record begins with its opening for writing. Returns fd.
int noteOpening(int fd, const char* path, int flags) {
    if (fd < 0 || fd >= kMaxWatched) {
        return fd;
    }
    full[fd] = false;
    if ((flags & (O_WRONLY | O_RDWR)) == 0 || !isRecord(path)) {
        return fd;
    }
    ++lines;
    if (lines == settingOf("PLUGSHIFT_TEST_RECORD_SIGINT_AT")) {
        ::raise(SIGINT);
    }
    const int fullAt = settingOf("PLUGSHIFT_TEST_RECORD_FULL_AT");
    full[fd] = fullAt > 0 && lines >= fullAt;
    return fd;
}

template <typename Fn>
Fn real(const char* name) {
    return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

mode_t modeOf(int flags, va_list args) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    static const auto next = real<int (*)(const char*, int, ...)>("open");
    return noteOpening(next(path, flags, mode), path, flags);
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    static const auto next = real<int (*)(const char*, int, ...)>("open64");
    return noteOpening(next(path, flags, mode), path, flags);
}

int openat(int folder, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    static const auto next = real<int (*)(int, const char*, int, ...)>("openat");
    return noteOpening(next(folder, path, flags, mode), path, flags);
}

ssize_t write(int fd, const void* buffer, size_t count) {
    if (fd >= 0 && fd < kMaxWatched && full[fd]) {
        errno = ENOSPC;
        return -1;
    }
    static const auto next = real<ssize_t (*)(int, const void*, size_t)>("write");
    return next(fd, buffer, count);
}

int close(int fd) {
    if (fd >= 0 && fd < kMaxWatched) {
        full[fd] = false;
    }
    static const auto next = real<int (*)(int)>("close");
    return next(fd);
}

}  // extern "C"
