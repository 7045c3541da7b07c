#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace plugshift {

// Where the help of a language is looked for: ../lang/<code>.chm, then the .html beside it,
// relative to the working directory; the fallback language's for an empty code.
class HelpLocation {
public:
    static std::vector<std::filesystem::path> candidates(const std::wstring& language);
};

}  // namespace plugshift
