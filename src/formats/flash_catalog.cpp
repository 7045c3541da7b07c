#include "formats/flash_catalog.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "platform/system_files.h"

namespace plugshift {

namespace {

constexpr std::wstring_view kMatchAll = L"*.*";

// The folder part of the pattern, with "x/.." folded by name: on this platform a path through
// a file ("config.xml/..") does not open, while the pattern is built that way.
std::filesystem::path folderOf(std::wstring_view pattern) {
    if (pattern.ends_with(kMatchAll)) {
        pattern.remove_suffix(kMatchAll.size());
    }
    std::filesystem::path folder = pathFromUtf8(toUtf8(pattern)).lexically_normal();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

}  // namespace

int FlashCatalog::scan(const wchar_t* pattern) {
    byFileName_.clear();
    byInternalName_.clear();
    if (pattern == nullptr) {
        return 0;
    }
    const std::filesystem::path folder = folderOf(pattern);
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    if (error) {
        ErrorChain::add(kErrorFile, L"Error:failed to find the file [%ls].", pattern);
        return 0;
    }
    // Sorted, so that of two files with one internal name the same one wins on every machine.
    std::vector<std::filesystem::path> entries;
    for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
        entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());

    int count = 0;
    for (const std::filesystem::path& entry : entries) {
        const std::wstring fullPath = fromUtf8(utf8FromPath(entry));
        FtfInfo info;
        if (readFtfInfo(fullPath.c_str(), info)) {
            byFileName_[fromUtf8(utf8FromPath(entry.filename()))] = info;
            byInternalName_[info.internalName] = fullPath;
            ++count;
        }
        // Files that are not flash files are expected here; their records mean nothing.
        ErrorChain::remove(kErrorOk);
    }
    return count;
}

bool FlashCatalog::findPath(const std::wstring& internalName, std::wstring& path) const {
    auto found = byInternalName_.find(internalName);
    if (found == byInternalName_.end()) {
        return false;
    }
    path = found->second;
    return true;
}

}  // namespace plugshift
