#pragma once

#include <string>
#include <vector>

namespace plugshift {

struct ErrorRecord {
    int category;
    std::wstring message;  // at most kMaxMessage characters
};

// The process-wide ordered list of error records, oldest first. Every failing operation appends
// one record before it returns its failure, so the chain reads from root cause to top step.
class ErrorChain {
public:
    static constexpr size_t kMaxMessage = 255;

    // printf-style wide format ("%ls" for wide strings); the text is cut to kMaxMessage.
    static bool add(int category, const wchar_t* format, ...);
    static std::wstring firstMessage();
    static int firstCategory();
    // 0 removes every record; any other category removes only the records of that category.
    static void remove(int category);
    // Every message, newest first, each followed by "\n"; "OK" when empty.
    static std::wstring text();
    static std::vector<ErrorRecord> records();
};

}  // namespace plugshift
