// Any bytes as a codeplug stream, after an optional address map (the bytes before the first
// NUL), so that records meet blocks moved and shrunk by a map: no write past a block.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "errors/error_chain.h"
#include "formats/codeplug_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace plugshift;
    CodeplugImage cpg;
    const uint8_t* end = data + size;
    const uint8_t* nul = std::find(data, end, 0);
    const uint8_t* stream = data;
    if (nul != end) {
        cpg.parseAddressMap(data, static_cast<size_t>(nul - data));
        stream = nul + 1;
    }
    cpg.parseCodeplug(stream, static_cast<size_t>(end - stream));
    for (int kind = 0; kind < kBlockKindCount; ++kind) {
        const CodeplugBlock& block = cpg.block(kind);
        if (block.data.size() != block.capacity || block.size > block.capacity) {
            __builtin_trap();
        }
    }
    ErrorChain::remove(0);
    return 0;
}
