#pragma once

#include <string>
#include <vector>

namespace plugshift {

// The installation's help documents, lang/<code>.chm or lang/<code>.html beside bin/, one per
// language code; the Language menu lists the configured languages whether or not their help is
// there, and F1 says when it is not.
class HelpFiles {
public:
    // The help of an empty language code.
    static constexpr const wchar_t* kFallbackLanguage = L"en_us";

    // The file names a language's help may have, in the order tried: the compiled help, for a
    // desktop with a viewer for it, then the HTML help, which every desktop opens. Codes compare
    // without regard to case and the files are named in lower case.
    static std::vector<std::wstring> fileNames(const std::wstring& code);
};

}  // namespace plugshift
