#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace plugshift {

// The installation's help documents, lang/<code>.chm or lang/<code>.html beside bin/. The
// Language menu offers only the languages whose help is there, so a choice never leaves F1 with
// nothing to open; every window asks here.
class HelpFiles {
public:
    // The help of an empty language code.
    static constexpr const wchar_t* kFallbackLanguage = L"en_us";

    // The installation's lang/ folder: the program's folder + "../lang".
    static std::filesystem::path installedFolder();

    // The file names a language's help may have, in the order tried: the compiled help, for a
    // desktop with a viewer for it, then the HTML help, which every desktop opens. Codes compare
    // without regard to case and the files are named in lower case.
    static std::vector<std::wstring> fileNames(const std::wstring& code);

    // Whether the folder holds a help file of the language.
    static bool ships(const std::filesystem::path& folder, const std::wstring& code);

    // The codes, in their order, whose help the folder holds.
    static std::vector<std::wstring> offered(const std::vector<std::wstring>& codes,
                                             const std::filesystem::path& folder);
};

}  // namespace plugshift
