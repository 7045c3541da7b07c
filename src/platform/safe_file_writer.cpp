#include "platform/safe_file_writer.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/process_environment.h"
#include "platform/system_files.h"

namespace plugshift {

namespace {

// Names tried for the temporary file before giving up; only leftovers of crashed runs collide.
constexpr int kTemporaryNameAttempts = 100;

// The rename itself must reach the disk too, or a crash could bring the old name back.
void syncFolderOf(const std::string& path) {
    syncFolder(pathFromUtf8(path).parent_path());
}

}  // namespace

SafeFileWriter& SafeFileWriter::standard() {
    static SafeFileWriter writer;
    return writer;
}

bool SafeFileWriter::replace(const std::string& path, std::string_view bytes) {
    return publish(path, bytes, true, std::nullopt);
}

bool SafeFileWriter::create(const std::string& path, std::string_view bytes,
                            std::optional<unsigned> mode) {
    return publish(path, bytes, false, mode);
}

bool SafeFileWriter::publish(const std::string& path, std::string_view bytes, bool overwrite,
                             std::optional<unsigned> mode) {
    if (path.empty()) {
        return false;
    }
    std::string temporaryPath;
    int fd = createTemporary(path, temporaryPath);
    if (fd < 0) {
        return false;
    }
    // Keep the permissions of the file being replaced (the data folder may be shared).
    if (unsigned kept = 0; !mode && fileMode(pathFromUtf8(path), kept)) {
        mode = kept;
    }
    if (mode) {
        setFileMode(fd, *mode);
    }
    bool ok = writeAll(fd, bytes) && syncFile(fd) == 0;
    ok = closeFile(fd) == 0 && ok;
    ok = ok && (overwrite ? renameFile(temporaryPath.c_str(), path.c_str())
                          : renameIfFree(temporaryPath.c_str(), path.c_str())) == 0;
    if (!ok) {
        // The caller may report why.
        const int reason = errno;
        removeFile(pathFromUtf8(temporaryPath));
        errno = reason;
        return false;
    }
    syncFolderOf(path);
    return true;
}

int SafeFileWriter::createTemporary(const std::string& path, std::string& temporaryPath) {
    // A new file with the umask's say over the mode, which mkstemp's fixed 0600 would not give.
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporaryPath = path + ".tmp" + std::to_string(processId()) + "-" + std::to_string(attempt);
        int fd = openFile(pathFromUtf8(temporaryPath), FileOpenMode::kCreateNew);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

bool SafeFileWriter::writeAll(int fd, std::string_view bytes) {
    return writeFullyWith(
        [this, fd](const char* data, size_t size) { return writeSome(fd, data, size); }, bytes);
}

ssize_t SafeFileWriter::writeSome(int fd, const char* data, size_t size) {
    return writeFile(fd, data, size);
}

int SafeFileWriter::syncFile(int fd) {
    return ::plugshift::syncFile(fd);
}

int SafeFileWriter::renameFile(const char* from, const char* to) {
    return replaceFile(pathFromUtf8(from), pathFromUtf8(to));
}

int SafeFileWriter::renameIfFree(const char* from, const char* to) {
    return ::plugshift::renameIfFree(pathFromUtf8(from), pathFromUtf8(to));
}

}  // namespace plugshift
