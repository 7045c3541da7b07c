#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace plugshift {

// The nine flash blocks, numbered as the address map numbers them.
enum class SimBlock { Dyn, Hw, Con, Erg, Fac, Def, Bac, Voi, UserVoi };
inline constexpr int kSimBlockCount = 9;

struct SimBlockInfo {
    const char* name;
    uint32_t memoryAddress;  // where memory requests reach it: the address map's default
    uint32_t capacity;
};

// The radio's flash. Memory requests see each block at its address-map default address. Flash
// requests see two windows whose addresses depend on the flash type: the default block, NOR
// flash in 4 KiB sectors that must be erased (to 0xFF) before programming, because programming
// only clears bits (the result is the AND of old and new bytes); and the dynamic block, which
// one request erases whole. Each request names its window, so the two never alias even where
// their address ranges overlap (flash type 0).
class SimFlash {
public:
    static constexpr uint32_t kSectorSize = 0x1000;
    static constexpr int kFlashTypes = 3;
    // The default block's 64 KiB in sectors.
    static constexpr size_t kDefaultSectors = 0x10000 / kSectorSize;

    static const SimBlockInfo& info(SimBlock block);
    static std::optional<SimBlock> blockNamed(std::string_view name);
    static uint32_t defaultBlockAddress(int flashType);
    static uint32_t dynamicBlockAddress(int flashType);

    // Every block erased. flashType must be 0, 1 or 2.
    explicit SimFlash(int flashType);

    int flashType() const { return flashType_; }
    void setFlashType(int flashType);

    std::span<uint8_t> block(SimBlock block);
    std::span<const uint8_t> block(SimBlock block) const;

    // The first block, in block order, that holds the whole range.
    std::optional<SimBlock> memoryBlock(uint32_t address, size_t length) const;
    bool memoryRead(uint32_t address, size_t length, std::vector<uint8_t>& out) const;
    // Only the dynamic block takes memory writes; the firmware rewrites it in place.
    bool memoryWrite(uint32_t address, std::span<const uint8_t> data);

    // False when the address is not the start of a default-block sector.
    bool eraseSector(uint32_t flashAddress);
    // False when the address is not the dynamic block's flash address.
    bool eraseDynamicBlock(uint32_t flashAddress);
    // False when the range leaves the default block; otherwise the AND of old and new bytes.
    bool program(uint32_t flashAddress, std::span<const uint8_t> data);
    // Programs that met bytes neither erased nor already as asked: flash written without the
    // erase it needs (an identical rewrite, as a resend makes, does no harm).
    int unerasedPrograms() const { return unerasedPrograms_; }
    // A program since the sector's last erase left bytes unlike the ones asked for.
    bool defaultBlockVerifyFailed() const;
    bool sectorVerifyFailed(size_t sector) const { return verifyFailed_.at(sector); }
    void setSectorVerifyFailed(size_t sector, bool failed) { verifyFailed_.at(sector) = failed; }

private:
    int flashType_;
    std::array<std::vector<uint8_t>, kSimBlockCount> blocks_;
    std::array<bool, kDefaultSectors> verifyFailed_{};
    int unerasedPrograms_ = 0;
};

}  // namespace plugshift
