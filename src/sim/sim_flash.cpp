#include "sim/sim_flash.h"

#include <algorithm>
#include <cassert>

namespace plugshift {

namespace {

// The address map's defaults. The default block's address has five hexadecimal digits and
// so does USERVOI's; with the first-block-wins rule the default block shadows USERVOI's range.
constexpr std::array<SimBlockInfo, kSimBlockCount> kBlocks = {{
    {"DYN", 0x820000, 0x1000},
    {"HW", 0x842000, 0x1000},
    {"CON", 0x830000, 0x2000},
    {"ERG", 0x840000, 0x1000},
    {"FAC", 0x841000, 0x1000},
    {"DEF", 0x84400, 0x10000},
    {"BAC", 0x843000, 0x1000},
    {"VOI", 0x854000, 0x6000},
    {"USERVOI", 0x86000, 0x6000},
}};

struct Layout {
    uint32_t dynamicBlock;
    uint32_t defaultBlock;
};
constexpr std::array<Layout, SimFlash::kFlashTypes> kLayouts = {{
    {0x70000, 0x64000},
    {0xE0000, 0x84000},
    {0x180000, 0x84000},
}};

constexpr uint8_t kErased = 0xFF;

size_t index(SimBlock block) {
    return static_cast<size_t>(block);
}

}  // namespace

const SimBlockInfo& SimFlash::info(SimBlock block) {
    return kBlocks[index(block)];
}

std::optional<SimBlock> SimFlash::blockNamed(std::string_view name) {
    for (size_t i = 0; i < kBlocks.size(); ++i) {
        if (name == kBlocks[i].name) {
            return static_cast<SimBlock>(i);
        }
    }
    return std::nullopt;
}

uint32_t SimFlash::defaultBlockAddress(int flashType) {
    return kLayouts.at(static_cast<size_t>(flashType)).defaultBlock;
}

uint32_t SimFlash::dynamicBlockAddress(int flashType) {
    return kLayouts.at(static_cast<size_t>(flashType)).dynamicBlock;
}

SimFlash::SimFlash(int flashType) : flashType_(flashType) {
    assert(flashType >= 0 && flashType < kFlashTypes);
    for (size_t i = 0; i < kBlocks.size(); ++i) {
        blocks_[i].assign(kBlocks[i].capacity, kErased);
    }
}

void SimFlash::setFlashType(int flashType) {
    assert(flashType >= 0 && flashType < kFlashTypes);
    flashType_ = flashType;
}

std::span<uint8_t> SimFlash::block(SimBlock block) {
    return blocks_[index(block)];
}

std::span<const uint8_t> SimFlash::block(SimBlock block) const {
    return blocks_[index(block)];
}

std::optional<SimBlock> SimFlash::memoryBlock(uint32_t address, size_t length) const {
    for (size_t i = 0; i < kBlocks.size(); ++i) {
        const uint64_t start = kBlocks[i].memoryAddress;
        if (address >= start && uint64_t{address} + length <= start + kBlocks[i].capacity) {
            return static_cast<SimBlock>(i);
        }
    }
    return std::nullopt;
}

bool SimFlash::memoryRead(uint32_t address, size_t length, std::vector<uint8_t>& out) const {
    const auto found = memoryBlock(address, length);
    if (!found) {
        return false;
    }
    const auto bytes = block(*found).subspan(address - info(*found).memoryAddress, length);
    out.assign(bytes.begin(), bytes.end());
    return true;
}

bool SimFlash::memoryWrite(uint32_t address, std::span<const uint8_t> data) {
    if (memoryBlock(address, data.size()) != SimBlock::Dyn) {
        return false;
    }
    std::ranges::copy(data,
                      block(SimBlock::Dyn).begin() + (address - info(SimBlock::Dyn).memoryAddress));
    return true;
}

bool SimFlash::eraseSector(uint32_t flashAddress) {
    const uint32_t start = defaultBlockAddress(flashType_);
    if (flashAddress < start || flashAddress >= start + info(SimBlock::Def).capacity ||
        (flashAddress - start) % kSectorSize != 0) {
        return false;
    }
    const uint32_t offset = flashAddress - start;
    std::fill_n(block(SimBlock::Def).begin() + offset, kSectorSize, kErased);
    verifyFailed_[offset / kSectorSize] = false;
    return true;
}

bool SimFlash::eraseDynamicBlock(uint32_t flashAddress) {
    if (flashAddress != dynamicBlockAddress(flashType_)) {
        return false;
    }
    std::ranges::fill(block(SimBlock::Dyn), kErased);
    return true;
}

bool SimFlash::program(uint32_t flashAddress, std::span<const uint8_t> data) {
    const uint32_t start = defaultBlockAddress(flashType_);
    if (flashAddress < start ||
        uint64_t{flashAddress} + data.size() > uint64_t{start} + info(SimBlock::Def).capacity) {
        return false;
    }
    const uint32_t offset = flashAddress - start;
    auto cells = block(SimBlock::Def).subspan(offset, data.size());
    bool unerased = false;
    for (size_t i = 0; i < data.size(); ++i) {
        unerased = unerased || (cells[i] != kErased && cells[i] != data[i]);
        cells[i] &= data[i];
        if (cells[i] != data[i]) {
            verifyFailed_[(offset + i) / kSectorSize] = true;
        }
    }
    unerasedPrograms_ += unerased ? 1 : 0;
    return true;
}

bool SimFlash::defaultBlockVerifyFailed() const {
    return std::ranges::any_of(verifyFailed_, [](bool failed) { return failed; });
}

}  // namespace plugshift
