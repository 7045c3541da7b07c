#pragma once

#include <string>

namespace plugshift {

// What a flash file is, wherever it lies: "<internal name> <version> md5:<digest of the whole
// file>". Two files with the same identity hold the same bytes, so a moved or reinstalled
// installation's files are known again. Empty when the file cannot be read or is no valid flash
// file.
std::string ftfIdentity(const std::wstring& path);

}  // namespace plugshift
