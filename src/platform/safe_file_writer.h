#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace plugshift {

// Replaces a file's contents so that it is never lost: the whole new content goes to a fresh file
// in the same folder, is flushed to the disk and only then renamed over the old one. A crash, a
// full disk or any failure on the way leaves the old file as it was.
class SafeFileWriter {
public:
    virtual ~SafeFileWriter() = default;

    // False when any step fails; the temporary file is then removed.
    bool replace(const std::string& path, std::string_view bytes);
    // The same care for a file that must not exist yet: the finished file takes the name only
    // while it is free, so a file that appeared meanwhile is never overwritten (false with errno
    // EEXIST). A mode, when given, replaces the one the umask leaves.
    bool create(const std::string& path, std::string_view bytes,
                std::optional<unsigned> mode = std::nullopt);

    // The writer the configuration uses unless a test gives it another.
    static SafeFileWriter& standard();

protected:
    // The system calls that can fail half-way; tests override them to inject failures.
    virtual ssize_t writeSome(int fd, const char* data, size_t size);
    virtual int syncFile(int fd);
    virtual int renameFile(const char* from, const char* to);
    virtual int renameIfFree(const char* from, const char* to);

private:
    // Writes the bytes beside `path`, then gives them its name with replace or create's step.
    bool publish(const std::string& path, std::string_view bytes, bool overwrite,
                 std::optional<unsigned> mode);
    int createTemporary(const std::string& path, std::string& temporaryPath);
    bool writeAll(int fd, std::string_view bytes);
};

}  // namespace plugshift
