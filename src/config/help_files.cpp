#include "config/help_files.h"

#include <algorithm>
#include <array>

namespace plugshift {

namespace {

// Compiled help first: where the desktop has no viewer for it, the HTML help beside it opens.
constexpr std::array<const wchar_t*, 2> kExtensions = {L".chm", L".html"};

std::wstring lowerAscii(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; });
    return text;
}

}  // namespace

std::vector<std::wstring> HelpFiles::fileNames(const std::wstring& code) {
    const std::wstring name = lowerAscii(code.empty() ? kFallbackLanguage : code);
    std::vector<std::wstring> names;
    for (const wchar_t* extension : kExtensions) {
        names.push_back(name + extension);
    }
    return names;
}

}  // namespace plugshift
