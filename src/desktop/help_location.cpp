#include "desktop/help_location.h"

#include "config/help_files.h"
#include "errors/wide_text.h"
#include "platform/system_files.h"

namespace plugshift {

std::vector<std::filesystem::path> HelpLocation::candidates(const std::wstring& language) {
    const std::filesystem::path folder = std::filesystem::path("..") / "lang";
    std::vector<std::filesystem::path> paths;
    for (const std::wstring& name : HelpFiles::fileNames(language)) {
        paths.push_back(folder / pathFromUtf8(toUtf8(name)));
    }
    return paths;
}

}  // namespace plugshift
