#pragma once

#include <string>
#include <string_view>

namespace plugshift {

// Between the readable form of config.xml / setup.dat (UTF-8 XML text, as kept in the sources
// and shown to people) and the bytes of the file (code page 1252, scrambled).

// False when the text holds a character code page 1252 cannot store, or is not UTF-8 text.
bool encodeConfigText(std::string_view utf8Text, std::string& fileBytes);
// Every file decodes; false only when the code page converter is unavailable.
bool decodeConfigBytes(std::string_view fileBytes, std::string& utf8Text);

}  // namespace plugshift
