#include "formats/file_bytes.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "errors/wide_text.h"
#include "platform/safe_file_writer.h"
#include "platform/system_files.h"

namespace plugshift {

namespace {

// Closes the descriptor on every way out.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            closeFile(fd_);
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
        ssize_t n = readFile(fd, buffer + done, length - done);
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

std::filesystem::path nativePath(const std::wstring& path) {
    return pathFromUtf8(toUtf8(path));
}

}  // namespace

FileReadResult readWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes,
                             uint64_t maxBytes) {
    FileDescriptor fd(openFile(nativePath(path), FileOpenMode::kRead));
    if (fd.get() < 0) {
        return FileReadResult::kOpenFailed;
    }
    const int64_t length = fileSize(fd.get());
    if (length < 0) {
        return FileReadResult::kReadFailed;
    }
    auto size = static_cast<uint64_t>(length);
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
    FileDescriptor fd(openFile(nativePath(path), FileOpenMode::kRead));
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
    const std::string_view content(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!SafeFileWriter::standard().replace(toUtf8(path), content)) {
        reason = systemReason();
        return false;
    }
    return true;
}

}  // namespace plugshift
