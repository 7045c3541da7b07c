#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace plugshift {

// Bytes of a radio block read before a conversion, and where they were read from.
struct KeptBlock {
    int32_t kind = 0;
    uint32_t address = 0;
    std::vector<uint8_t> data;
    bool operator==(const KeptBlock&) const = default;
};

// What a conversion keeps of a radio's owner: the user-information blocks and the contacts, each
// contact in the group its own data name. Restoring writes the blocks back where they came from
// and the contacts group by group in kRestoreOrder.
struct Personality {
    static constexpr int kContactGroups = 4;
    // Byte 7 of a contact names its group, 1 to 4.
    static constexpr size_t kGroupByte = 7;
    static constexpr std::array<int, kContactGroups> kRestoreOrder = {4, 2, 3, 1};

    // The group a contact's data name, or 0 when they are too short or name none.
    static int contactGroup(std::span<const uint8_t> data);

    std::vector<KeptBlock> blocks;
    // Index group - 1; each group in the order the contacts were read.
    std::array<std::vector<std::vector<uint8_t>>, kContactGroups> contactGroups;

    // Files the contact under its group; false (nothing kept) when it names no group.
    bool addContact(std::span<const uint8_t> data);
    std::vector<std::vector<uint8_t>>& group(int number) { return contactGroups.at(number - 1); }
    const std::vector<std::vector<uint8_t>>& group(int number) const {
        return contactGroups.at(number - 1);
    }
    size_t contactCount() const;
    bool empty() const { return blocks.empty() && contactCount() == 0; }
    void clear();
    bool operator==(const Personality&) const = default;
};

}  // namespace plugshift
