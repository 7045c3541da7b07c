#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace plugshift {

// The file calls whose system functions differ between Linux and Windows, on descriptors and
// std::filesystem paths (UTF-16 on Windows, so any file name works). Failures return -1 or
// false with errno set, as the C library's own calls do.

enum class FileOpenMode {
    kRead,       // an existing file, read only
    kCreateNew,  // a new file for writing; EEXIST when the name is taken
    kAppend,     // created when missing; every write goes to the end
};

// A binary descriptor, not inherited by child processes, for the calls below.
int openFile(const std::filesystem::path& path, FileOpenMode mode);
ssize_t readFile(int fd, void* buffer, size_t length);
ssize_t writeFile(int fd, const void* data, size_t length);
// Writes all of bytes through write (called as writeFile is), going on after interrupted and
// partial writes; false with errno set.
template <typename Write>
bool writeFullyWith(Write write, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(bytes.data(), bytes.size());
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
inline bool writeFully(int fd, std::string_view bytes) {
    return writeFullyWith([fd](const char* data, size_t size) { return writeFile(fd, data, size); },
                          bytes);
}
int closeFile(int fd);
// Puts the file's data on the disk before returning.
int syncFile(int fd);
// The file's length in bytes.
int64_t fileSize(int fd);
// Gives new permission bits to the file as created; a no-op where files have none.
void setFileMode(int fd, unsigned mode);
// The permission bits of the file at path; false when it has none or cannot be read.
bool fileMode(const std::filesystem::path& path, unsigned& mode);

// Makes the names just created or renamed in folder survive a power cut.
bool syncFolder(const std::filesystem::path& folder);
// Renames from over to in one step that reaches the disk: to holds the old content or the new.
int replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);
// Gives from the name to only while that name is free (EEXIST otherwise).
int renameIfFree(const std::filesystem::path& from, const std::filesystem::path& to);
int removeFile(const std::filesystem::path& path);

// A stdio stream in text mode: lines end as the system's text files do ("\r\n" on Windows).
std::FILE* openTextFile(const std::filesystem::path& path, const char* mode);

// A file name held as UTF-8 (as the configuration and the command line give them).
inline std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace plugshift
