#include "formats/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "errors/wide_text.h"

namespace plugshift {

namespace {

// Closes the descriptor on every way out.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

// Reads until `length` bytes are in or the file ends; -1 on an error.
ssize_t readFully(int fd, uint8_t* buffer, size_t length) {
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::read(fd, buffer + done, length - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

std::wstring systemReason() {
    return fromUtf8(std::strerror(errno));
}

}  // namespace

FileReadResult readWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes,
                             uint64_t maxBytes) {
    FileDescriptor fd(::open(toUtf8(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        return FileReadResult::kOpenFailed;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return FileReadResult::kReadFailed;
    }
    auto size = static_cast<uint64_t>(st.st_size);
    if (size > maxBytes) {
        return FileReadResult::kTooLarge;
    }
    bytes.resize(static_cast<size_t>(size));
    ssize_t n = readFully(fd.get(), bytes.data(), bytes.size());
    if (n < 0 || static_cast<size_t>(n) != bytes.size()) {
        return FileReadResult::kReadFailed;
    }
    return FileReadResult::kOk;
}

FileReadResult readFileHead(const std::wstring& path, size_t limit, std::vector<uint8_t>& bytes) {
    FileDescriptor fd(::open(toUtf8(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        return FileReadResult::kOpenFailed;
    }
    bytes.resize(limit);
    ssize_t n = readFully(fd.get(), bytes.data(), limit);
    if (n < 0) {
        bytes.clear();
        return FileReadResult::kReadFailed;
    }
    bytes.resize(static_cast<size_t>(n));
    return FileReadResult::kOk;
}

bool writeWholeFile(const std::wstring& path, std::span<const uint8_t> bytes,
                    std::wstring& reason) {
    std::string target = toUtf8(path);
    std::string temporary = target + ".partial";
    FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.get() < 0) {
        reason = systemReason();
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            reason = systemReason();
            ::unlink(temporary.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd.get()) != 0 || ::close(fd.release()) != 0 ||
        ::rename(temporary.c_str(), target.c_str()) != 0) {
        reason = systemReason();
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace plugshift
