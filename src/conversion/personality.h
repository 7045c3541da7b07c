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
// and the contacts group by group in kRestoreOrder, then those of no group.
struct Personality {
    using Contact = std::vector<uint8_t>;

    static constexpr int kContactGroups = 4;
    // Byte 7 of a contact names its group, 1 to 4.
    static constexpr size_t kGroupByte = 7;
    static constexpr std::array<int, kContactGroups> kRestoreOrder = {4, 2, 3, 1};
    // What contactGroup says of a contact too short to name a group or naming none of the four.
    static constexpr int kNoGroup = 0;

    // The group a contact's data name, or kNoGroup.
    static int contactGroup(std::span<const uint8_t> data);

    std::vector<KeptBlock> blocks;
    // Index group - 1; each group in the order the contacts were read.
    std::array<std::vector<Contact>, kContactGroups> contactGroups;
    // The owner's contacts that name no group are theirs all the same, in the order read.
    std::vector<Contact> ungrouped;

    // Files the contact under its group, or with the ungrouped ones.
    void addContact(std::span<const uint8_t> data);
    // Group 1 to 4, or kNoGroup for the ungrouped contacts.
    std::vector<Contact>& group(int number);
    const std::vector<Contact>& group(int number) const;
    // The groups in the order a restore writes them: kRestoreOrder, then the ungrouped.
    std::array<const std::vector<Contact>*, kContactGroups + 1> restoreGroups() const;
    size_t contactCount() const;
    bool empty() const { return blocks.empty() && contactCount() == 0; }
    void clear();
    bool operator==(const Personality&) const = default;
};

}  // namespace plugshift
