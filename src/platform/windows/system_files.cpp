#include "platform/system_files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <climits>

namespace plugshift {

namespace {

// The C library's error numbers for the system's, so callers read errno on both systems.
int errnoFor(DWORD error) {
    switch (error) {
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_INVALID_NAME:
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        default:
            return EIO;
    }
}

int failWithLastError() {
    errno = errnoFor(::GetLastError());
    return -1;
}

// One _read or _write moves at most this much.
constexpr size_t kMaxTransfer = INT_MAX / 2;

}  // namespace

int openFile(const std::filesystem::path& path, FileOpenMode mode) {
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    int flags = _O_BINARY | _O_RDONLY;
    if (mode == FileOpenMode::kCreateNew) {
        access = GENERIC_WRITE;
        disposition = CREATE_NEW;
        flags = _O_BINARY | _O_WRONLY;
    } else if (mode == FileOpenMode::kAppend) {
        access = FILE_APPEND_DATA | SYNCHRONIZE;
        disposition = OPEN_ALWAYS;
        flags = _O_BINARY | _O_WRONLY | _O_APPEND;
    }
    // Others may read, and rename or delete the name (as on Linux) while the file is open.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE handle = ::CreateFileW(path.c_str(), access, share, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return failWithLastError();
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (fd < 0) {
        ::CloseHandle(handle);
        errno = EMFILE;
    }
    return fd;
}

ssize_t readFile(int fd, void* buffer, size_t length) {
    return ::_read(fd, buffer,
                   static_cast<unsigned>(length < kMaxTransfer ? length : kMaxTransfer));
}

ssize_t writeFile(int fd, const void* data, size_t length) {
    return ::_write(fd, data, static_cast<unsigned>(length < kMaxTransfer ? length : kMaxTransfer));
}

int closeFile(int fd) {
    return ::_close(fd);
}

int syncFile(int fd) {
    return ::_commit(fd);
}

int64_t fileSize(int fd) {
    LARGE_INTEGER size{};
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE || !::GetFileSizeEx(handle, &size)) {
        return failWithLastError();
    }
    return size.QuadPart;
}

void setFileMode(int, unsigned) {}

bool fileMode(const std::filesystem::path&, unsigned&) {
    return false;
}

bool syncFolder(const std::filesystem::path&) {
    // The renames below are written through, name included; a folder cannot be flushed here.
    return true;
}

int replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (!::MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return failWithLastError();
    }
    return 0;
}

int renameIfFree(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
        return failWithLastError();
    }
    return 0;
}

int removeFile(const std::filesystem::path& path) {
    if (!::DeleteFileW(path.c_str())) {
        return failWithLastError();
    }
    return 0;
}

std::FILE* openTextFile(const std::filesystem::path& path, const char* mode) {
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return ::_wfopen(path.c_str(), wideMode.c_str());
}

}  // namespace plugshift
