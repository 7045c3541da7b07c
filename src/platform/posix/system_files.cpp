#include "platform/system_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace plugshift {

int openFile(const std::filesystem::path& path, FileOpenMode mode) {
    switch (mode) {
        case FileOpenMode::kRead:
            return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        case FileOpenMode::kCreateNew:
            // The umask has its say over the mode, as for any file the user creates.
            return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        case FileOpenMode::kAppend:
            return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    }
    errno = EINVAL;
    return -1;
}

ssize_t readFile(int fd, void* buffer, size_t length) {
    return ::read(fd, buffer, length);
}

ssize_t writeFile(int fd, const void* data, size_t length) {
    return ::write(fd, data, length);
}

int closeFile(int fd) {
    return ::close(fd);
}

int syncFile(int fd) {
    return ::fsync(fd);
}

int64_t fileSize(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

void setFileMode(int fd, unsigned mode) {
    ::fchmod(fd, static_cast<mode_t>(mode));
}

bool fileMode(const std::filesystem::path& path, unsigned& mode) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    mode = info.st_mode & 07777;
    return true;
}

bool syncFolder(const std::filesystem::path& folder) {
    const std::filesystem::path name = folder.empty() ? std::filesystem::path(".") : folder;
    const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

int replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::rename(from.c_str(), to.c_str());
}

int renameIfFree(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
    // A file system without the flag: a hard link is refused as well when the name is taken.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return -1;
    }
    ::unlink(from.c_str());
    return 0;
}

int removeFile(const std::filesystem::path& path) {
    return ::unlink(path.c_str());
}

std::FILE* openTextFile(const std::filesystem::path& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

}  // namespace plugshift
