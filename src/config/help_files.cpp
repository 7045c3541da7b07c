#include "config/help_files.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <system_error>

#include "errors/wide_text.h"
#include "platform/process_environment.h"
#include "platform/system_files.h"

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

std::filesystem::path HelpFiles::installedFolder() {
    const std::filesystem::path program = executableFolder();
    return (program.empty() ? std::filesystem::path("..") : program / "..") / "lang";
}

std::vector<std::wstring> HelpFiles::fileNames(const std::wstring& code) {
    const std::wstring name = lowerAscii(code.empty() ? kFallbackLanguage : code);
    std::vector<std::wstring> names;
    for (const wchar_t* extension : kExtensions) {
        names.push_back(name + extension);
    }
    return names;
}

bool HelpFiles::ships(const std::filesystem::path& folder, const std::wstring& code) {
    if (code.empty()) {
        return false;
    }
    for (const std::wstring& name : fileNames(code)) {
        std::error_code error;
        if (std::filesystem::is_regular_file(folder / pathFromUtf8(toUtf8(name)), error)) {
            return true;
        }
    }
    return false;
}

std::vector<std::wstring> HelpFiles::offered(const std::vector<std::wstring>& codes,
                                             const std::filesystem::path& folder) {
    std::vector<std::wstring> shipped;
    std::copy_if(codes.begin(), codes.end(), std::back_inserter(shipped),
                 [&folder](const std::wstring& code) { return ships(folder, code); });
    return shipped;
}

}  // namespace plugshift
