#include "conversion/personality.h"

namespace plugshift {

int Personality::contactGroup(std::span<const uint8_t> data) {
    if (data.size() <= kGroupByte) {
        return kNoGroup;
    }
    const int group = data[kGroupByte];
    return group >= 1 && group <= kContactGroups ? group : kNoGroup;
}

void Personality::addContact(std::span<const uint8_t> data) {
    group(contactGroup(data)).emplace_back(data.begin(), data.end());
}

std::vector<Personality::Contact>& Personality::group(int number) {
    return number == kNoGroup ? ungrouped : contactGroups.at(number - 1);
}

const std::vector<Personality::Contact>& Personality::group(int number) const {
    return number == kNoGroup ? ungrouped : contactGroups.at(number - 1);
}

std::array<const std::vector<Personality::Contact>*, Personality::kContactGroups + 1>
Personality::restoreGroups() const {
    std::array<const std::vector<Contact>*, kContactGroups + 1> groups{};
    for (size_t i = 0; i < kRestoreOrder.size(); ++i) {
        groups[i] = &group(kRestoreOrder[i]);
    }
    groups.back() = &ungrouped;
    return groups;
}

size_t Personality::contactCount() const {
    size_t count = ungrouped.size();
    for (const auto& contacts : contactGroups) {
        count += contacts.size();
    }
    return count;
}

void Personality::clear() {
    blocks.clear();
    for (auto& contacts : contactGroups) {
        contacts.clear();
    }
    ungrouped.clear();
}

}  // namespace plugshift
