#include "config/config_file_codec.h"

#include "config/config_scrambler.h"
#include "errors/wide_text.h"
#include "formats/ansi_text.h"

namespace plugshift {

bool encodeConfigText(std::string_view utf8Text, std::string& fileBytes) {
    std::wstring text = fromUtf8(utf8Text);
    // fromUtf8 stands U+FFFD in for bytes that are not UTF-8; refuse rather than store '?'.
    if (text.find(L'\uFFFD') != std::wstring::npos || !narrowAnsi(text, fileBytes)) {
        fileBytes.clear();
        return false;
    }
    scrambleConfigBytes(fileBytes);
    return true;
}

bool decodeConfigBytes(std::string_view fileBytes, std::string& utf8Text) {
    utf8Text = toUtf8(widenAnsi(scrambledConfigText(fileBytes)));
    return true;
}

}  // namespace plugshift
