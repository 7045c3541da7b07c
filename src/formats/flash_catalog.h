#pragma once

#include <map>
#include <string>

#include "formats/ftf_info.h"

namespace plugshift {

// The flash files of one folder, by file name and by internal name. The configuration resolves
// every file it names through this catalogue.
class FlashCatalog {
public:
    // Empties both maps and catalogues every valid flash file matched by `pattern`, a folder
    // followed by "*.*" ("/opt/tool/data/config.xml/../*.*" names the folder of config.xml;
    // the folder is resolved by name, so ".." after a file works as it does on Windows).
    // Files that are not flash files leave no records. Returns the number of valid files; a
    // folder that cannot be listed records "Error:failed to find the file [...]." and gives 0.
    int scan(const wchar_t* pattern);

    // True, with the full path, when a file of that internal name was catalogued.
    bool findPath(const std::wstring& internalName, std::wstring& path) const;

    const std::map<std::wstring, FtfInfo>& byFileName() const { return byFileName_; }
    const std::map<std::wstring, std::wstring>& byInternalName() const { return byInternalName_; }

private:
    std::map<std::wstring, FtfInfo> byFileName_;
    // A later file with the same internal name replaces the path.
    std::map<std::wstring, std::wstring> byInternalName_;
};

}  // namespace plugshift
