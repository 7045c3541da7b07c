#pragma once

#include <cstdint>

namespace plugshift {

// A block of the radio to keep across a conversion, as the configuration's range rules give it.
// Only DYN blocks are read and written back; blocks of other kinds are carried along untouched.
struct BlockToKeep {
    int32_t kind = 0;  // a BlockKind; negative: no block
    uint32_t address = 0;
    uint32_t length = 0;
    bool operator==(const BlockToKeep&) const = default;
};

}  // namespace plugshift
