#pragma once

#include <cstdint>
#include <optional>

namespace plugshift {

// Where a radio's flash requests point, by the flash type its FLASH test mode reports. The
// codeplug file only decides what lands where inside the default block; these addresses decide
// where the block goes in the radio.
struct FlashLayout {
    uint32_t dynamicEraseAddress;
    uint32_t defaultBlockAddress;

    static constexpr int kKnownTypes = 3;
    static constexpr uint32_t kSectorSize = 4096;

    static constexpr bool known(int flashType) { return flashType >= 0 && flashType < kKnownTypes; }

    // Nothing for a type we do not know: erasing at a guessed address could wipe the radio's
    // boot code, so there is no fallback layout.
    static constexpr std::optional<FlashLayout> forType(int flashType) {
        constexpr FlashLayout kRows[kKnownTypes] = {
            {0x70000, 0x64000},
            {0xE0000, 0x84000},
            {0x180000, 0x84000},
        };
        if (!known(flashType)) {
            return std::nullopt;
        }
        return kRows[flashType];
    }

    // The protection mode that opens the default block to erasing and programming.
    static constexpr uint16_t updateProtectionMode(int flashType) {
        return flashType == 1 || flashType == 2 ? 0x3000 : 0x840;
    }
    // The protection mode the radio is left in afterwards.
    static constexpr uint16_t endProtectionMode(int flashType) {
        switch (flashType) {
            case 1:
                return 0x840;
            case 2:
                return 0x1040;
            default:
                return 0x440;
        }
    }
};

}  // namespace plugshift
