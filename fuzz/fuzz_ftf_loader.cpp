// Any bytes as a flash file: both readers must refuse or accept without reading out of bounds,
// and what loadFtf accepts must survive a rebuild by the writer with the same body. Each input
// is also tried with its digest made right, so that mutations reach the checks behind it.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "errors/error_chain.h"
#include "formats/ansi_text.h"
#include "formats/ftf_image.h"
#include "formats/ftf_info.h"
#include "formats/ftf_writer.h"
#include "formats/md5.h"

namespace {

void check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

void rebuildAndCompare(const plugshift::FtfImage& image) {
    using namespace plugshift;
    if (image.type < kFtfModelPrefix || image.type > kFtfRegionPrefix) {
        return;  // the writer makes only the four known types
    }
    FtfFields fields;
    fields.type = image.type;
    fields.internalName = image.internalName;
    fields.codeplugVersion = image.type == kFtfModelPrefix ? image.codeplugVersion : image.version;
    fields.modelNumber =
        widenAnsi(reinterpret_cast<const uint8_t*>(image.modelName), image.modelNameLength);
    fields.regionName = image.regionName;
    std::vector<uint8_t> file;
    check(buildFtf(fields, image.body(), file));
    FtfImage again;
    check(loadFtfBytes(L"rebuilt", std::move(file), again));
    check(again.length == image.length);
    check(std::equal(again.body().begin(), again.body().end(), image.body().begin()));
}

void loadAndCheck(std::vector<uint8_t> file) {
    using namespace plugshift;
    const size_t size = file.size();
    FtfImage image;
    if (loadFtfBytes(L"fuzz", std::move(file), image)) {
        check(image.length <= size && image.length <= image.data.size());
        rebuildAndCompare(image);
    } else {
        check(image.length == 0 && image.data.empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace plugshift;
    FtfInfo info;
    parseFtfInfo(L"fuzz", std::span<const uint8_t>(data, size), info);

    std::vector<uint8_t> file(data, data + size);
    loadAndCheck(file);
    if (size >= ftf::kDigestedFrom) {
        Md5::Digest digest = Md5::of({file.data() + ftf::kDigestedFrom, size - ftf::kDigestedFrom});
        std::copy(digest.begin(), digest.end(), file.begin() + ftf::kDigestOffset);
        loadAndCheck(std::move(file));
    }
    ErrorChain::remove(0);
    return 0;
}
