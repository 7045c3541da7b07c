#include "config/safe_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace plugshift {

namespace {

// Names tried for the temporary file before giving up; only leftovers of crashed runs collide.
constexpr int kTemporaryNameAttempts = 100;

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The rename itself must reach the disk too, or a crash could bring the old name back.
void syncFolder(const std::string& path) {
    int fd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

SafeFileWriter& SafeFileWriter::standard() {
    static SafeFileWriter writer;
    return writer;
}

bool SafeFileWriter::replace(const std::string& path, std::string_view bytes) {
    return publish(path, bytes, true);
}

bool SafeFileWriter::create(const std::string& path, std::string_view bytes) {
    return publish(path, bytes, false);
}

bool SafeFileWriter::publish(const std::string& path, std::string_view bytes, bool overwrite) {
    if (path.empty()) {
        return false;
    }
    std::string temporaryPath;
    int fd = createTemporary(path, temporaryPath);
    if (fd < 0) {
        return false;
    }
    // Keep the permissions of the file being replaced (the data folder may be shared).
    struct stat old;
    if (::stat(path.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777);
    }
    bool ok = writeAll(fd, bytes) && syncFile(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && (overwrite ? renameFile(temporaryPath.c_str(), path.c_str())
                          : renameIfFree(temporaryPath.c_str(), path.c_str())) == 0;
    if (!ok) {
        // The caller may report why.
        const int reason = errno;
        ::unlink(temporaryPath.c_str());
        errno = reason;
        return false;
    }
    syncFolder(path);
    return true;
}

int SafeFileWriter::createTemporary(const std::string& path, std::string& temporaryPath) {
    // O_EXCL with the umask's say over the mode, which mkstemp's fixed 0600 would not give.
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporaryPath = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        int fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

bool SafeFileWriter::writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = writeSome(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

ssize_t SafeFileWriter::writeSome(int fd, const char* data, size_t size) {
    return ::write(fd, data, size);
}

int SafeFileWriter::syncFile(int fd) {
    return ::fsync(fd);
}

int SafeFileWriter::renameFile(const char* from, const char* to) {
    return ::rename(from, to);
}

int SafeFileWriter::renameIfFree(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
    // A file system without the flag: a hard link is refused as well when the name is taken.
    if (::link(from, to) != 0) {
        return -1;
    }
    ::unlink(from);
    return 0;
}

}  // namespace plugshift
