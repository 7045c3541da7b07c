#pragma once

#include <cerrno>

#include "platform/safe_file_writer.h"

namespace plugshift {

// Fails one system call of a safe write the way a full disk or a crash would: the write after
// half the bytes, the flush to the disk, or the rename (over a file or onto a free name).
class FailingWriter : public SafeFileWriter {
public:
    enum class Step { write, sync, rename };
    explicit FailingWriter(Step step) : step_(step) {}

protected:
    ssize_t writeSome(int fd, const char* data, size_t size) override {
        if (step_ != Step::write) {
            return SafeFileWriter::writeSome(fd, data, size);
        }
        if (!wroteHalf_) {
            wroteHalf_ = true;
            return SafeFileWriter::writeSome(fd, data, size / 2);
        }
        errno = ENOSPC;
        return -1;
    }
    int syncFile(int fd) override {
        if (step_ == Step::sync) {
            errno = EIO;
            return -1;
        }
        return SafeFileWriter::syncFile(fd);
    }
    int renameFile(const char* from, const char* to) override {
        return step_ == Step::rename ? refuseRename() : SafeFileWriter::renameFile(from, to);
    }
    int renameIfFree(const char* from, const char* to) override {
        return step_ == Step::rename ? refuseRename() : SafeFileWriter::renameIfFree(from, to);
    }

private:
    static int refuseRename() {
        errno = EXDEV;
        return -1;
    }

    Step step_;
    bool wroteHalf_ = false;
};

}  // namespace plugshift
