#include "errors/error_chain.h"

#include <algorithm>
#include <cstdarg>
#include <mutex>

#include "errors/error_category.h"
#include "errors/wide_text.h"

namespace plugshift {

namespace {
// Callers keep to one thread at a time; the lock only makes a slip harmless.
std::mutex chainLock;
std::vector<ErrorRecord> chain;
}  // namespace

bool ErrorChain::add(int category, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring message = vformatWide(format, args);
    va_end(args);
    if (message.size() > kMaxMessage) {
        message.resize(kMaxMessage);
    }
    std::lock_guard lock(chainLock);
    chain.push_back({category, std::move(message)});
    return true;
}

std::wstring ErrorChain::firstMessage() {
    std::lock_guard lock(chainLock);
    return chain.empty() ? std::wstring(errorCategoryLabel(kErrorOk)) : chain.front().message;
}

int ErrorChain::firstCategory() {
    std::lock_guard lock(chainLock);
    return chain.empty() ? kErrorOk : chain.front().category;
}

void ErrorChain::remove(int category) {
    std::lock_guard lock(chainLock);
    if (category == kErrorOk) {
        chain.clear();
        return;
    }
    std::erase_if(chain, [category](const ErrorRecord& r) { return r.category == category; });
}

std::wstring ErrorChain::text() {
    std::lock_guard lock(chainLock);
    std::wstring out;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        out += it->message;
        out += L'\n';
    }
    return out.empty() ? std::wstring(errorCategoryLabel(kErrorOk)) : out;
}

std::vector<ErrorRecord> ErrorChain::records() {
    std::lock_guard lock(chainLock);
    return chain;
}

}  // namespace plugshift
