#include "formats/ftf_identity.h"

#include <utility>
#include <vector>

#include "errors/wide_text.h"
#include "formats/file_bytes.h"
#include "formats/ftf_image.h"
#include "formats/md5.h"

namespace plugshift {

namespace {

// Far beyond any flash file; a longer one is not read for its identity.
constexpr uint64_t kMaxIdentifiedSize = 256u << 20;

}  // namespace

std::string ftfIdentity(const std::wstring& path) {
    std::vector<uint8_t> file;
    if (readWholeFile(path, file, kMaxIdentifiedSize) != FileReadResult::kOk) {
        return {};
    }
    const std::string digest = Md5::toHex(Md5::of(file));
    FtfImage image;
    if (!loadFtfBytes(path, std::move(file), image)) {
        return {};
    }
    return toUtf8(image.internalName) + " " + toUtf8(image.versionText) + " md5:" + digest;
}

}  // namespace plugshift
