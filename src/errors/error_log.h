#pragma once

#include <string>

namespace plugshift {

// The single writer of err.log: one time-stamped line per entry, unbuffered so a crash loses
// nothing, emptied after every kEntriesPerOpening entries so it stays small.
class ErrorLog {
public:
    static constexpr int kEntriesPerOpening = 1000;

    // The log becomes <directory>/log/err.log; the log folder is created when missing.
    // An empty directory stands for "..". Takes effect at the next opening.
    static void setDirectory(const std::wstring& directory);
    // printf-style wide format. Text taken from the chain must go in as a "%ls" argument.
    static bool write(const wchar_t* format, ...);

    static std::wstring path();
    // Back to the state at program start: no file, no path, countdown 0.
    static void reset();
};

}  // namespace plugshift
