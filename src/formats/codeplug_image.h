#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace plugshift {

// The nine flash blocks of a radio; the numbers are what configured blocks carry.
enum BlockKind : int32_t {
    kBlockDyn = 0,
    kBlockHw = 1,
    kBlockCon = 2,
    kBlockErg = 3,
    kBlockFac = 4,
    kBlockDef = 5,
    kBlockBac = 6,
    kBlockVoi = 7,
    kBlockUserVoi = 8,
};
inline constexpr int kBlockKindCount = 9;

struct CodeplugBlock {
    int32_t kind = 0;           // its own index
    uint32_t address = 0;       // radio flash address of the first byte
    uint32_t size = 0;          // meaningful bytes, set by the parsers
    uint32_t capacity = 0;      // length of the block, and of `data` once it exists
    std::vector<uint8_t> data;  // empty until first use, then `capacity` bytes
    uint8_t flag = 0;
};

// The radio's flash block table: an address map sets where the blocks are and how long they
// may be, a codeplug stream fills their buffers. Every store is bounded by the block's capacity.
class CodeplugImage {
public:
    CodeplugImage();
    virtual ~CodeplugImage();
    CodeplugImage(const CodeplugImage&) = delete;
    CodeplugImage& operator=(const CodeplugImage&) = delete;

    // "DYN", "HW", ... "USERVOI"; an empty text for a number that is no block.
    static const wchar_t* blockName(int kind);
    // The kind whose name matches, letter case ignored; -1 when none does.
    static int blockKindByName(std::wstring_view name);

    // Applies an address-map text (keywords, ADDRESS/BSIZE assignments in hexadecimal).
    // False for null text or a value that is not a number; blocks keep what was applied
    // before. Nothing is reset first: a capacity lowered by one map stays lowered.
    bool parseAddressMap(const uint8_t* text, size_t length);

    // Every block back to its default address and capacity, size 0, no buffer: the table as it
    // was constructed, before any address map.
    void restoreDefaultLayout();

    // Every block: size 0, buffer of `capacity` zero bytes.
    void resetBlocks();

    // Copies a record into the first block whose range holds `address`, cut at the block's
    // end; the block's size becomes the record's end. Returns the bytes stored (0 when the
    // address is in no block).
    uint32_t storeRecord(uint32_t address, const uint8_t* data, uint32_t length);

    // Resets the blocks and places every S-record of the stream into them. False for a null
    // stream, or with "Error:failed to parse CPG stream." on a syntax or checksum fault;
    // records before the fault stay stored.
    bool parseCodeplug(const uint8_t* stream, size_t length);

    CodeplugBlock& block(int kind) { return blocks_.at(static_cast<size_t>(kind)); }
    const CodeplugBlock& block(int kind) const { return blocks_.at(static_cast<size_t>(kind)); }

private:
    void setCapacity(CodeplugBlock& block, uint32_t capacity);

    std::array<CodeplugBlock, kBlockKindCount> blocks_;
};

}  // namespace plugshift
