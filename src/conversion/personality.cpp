#include "conversion/personality.h"

namespace plugshift {

int Personality::contactGroup(std::span<const uint8_t> data) {
    if (data.size() <= kGroupByte) {
        return 0;
    }
    const int group = data[kGroupByte];
    return group >= 1 && group <= kContactGroups ? group : 0;
}

bool Personality::addContact(std::span<const uint8_t> data) {
    const int number = contactGroup(data);
    if (number == 0) {
        return false;
    }
    group(number).emplace_back(data.begin(), data.end());
    return true;
}

size_t Personality::contactCount() const {
    size_t count = 0;
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
}

}  // namespace plugshift
