// Any text as an address map: no read past the text, and every block buffer stays exactly as
// long as its block.
#include <cstddef>
#include <cstdint>

#include "formats/codeplug_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace plugshift;
    CodeplugImage cpg;
    cpg.resetBlocks();
    cpg.parseAddressMap(data, size);
    for (int kind = 0; kind < kBlockKindCount; ++kind) {
        const CodeplugBlock& block = cpg.block(kind);
        if (block.kind != kind || block.data.size() != block.capacity) {
            __builtin_trap();
        }
    }
    return 0;
}
