#include "sim/sim_radio.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "sim/sim_protocol.h"

namespace plugshift {

namespace {

constexpr uint8_t kErased = 0xFF;
constexpr uint32_t kFirstContactId = 1001;

void put(std::span<uint8_t> block, size_t offset, std::span<const uint8_t> bytes) {
    std::ranges::copy(bytes, block.begin() + static_cast<std::ptrdiff_t>(offset));
}

SimVersion versionAt(std::span<const uint8_t> block, size_t offset) {
    SimVersion version;
    std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(offset), version.bytes.size(),
                version.bytes.begin());
    return version;
}

}  // namespace

std::optional<std::array<uint8_t, SimRadio::kModelLength>> SimRadio::encodeModel(
    const std::string& model) {
    if (model.size() != kModelLength) {
        return std::nullopt;
    }
    std::array<uint8_t, kModelLength> bytes{};
    for (size_t i = 0; i < model.size(); ++i) {
        const auto c = static_cast<unsigned char>(model[i]);
        if (std::isdigit(c) != 0) {
            bytes[i] = static_cast<uint8_t>(c - '0');
        } else if (std::isalpha(c) != 0) {
            bytes[i] = c;
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

std::vector<uint8_t> SimRadio::sampleContact(int index) {
    std::vector<uint8_t> contact(kContactSize, 0);
    const uint32_t id = kFirstContactId + static_cast<uint32_t>(index);
    contact[0] = static_cast<uint8_t>(id >> 24);
    contact[1] = static_cast<uint8_t>(id >> 16);
    contact[2] = static_cast<uint8_t>(id >> 8);
    contact[3] = static_cast<uint8_t>(id);
    contact[4] = 1;  // private call
    contact[kContactGroupByte] = static_cast<uint8_t>(1 + index % 4);
    char name[24];
    std::snprintf(name, sizeof name, "Contact %03d", index + 1);
    std::copy_n(name, std::strlen(name), contact.begin() + kContactMinSize);
    return contact;
}

bool SimRadio::isContact(std::span<const uint8_t> data) {
    return data.size() >= kContactMinSize && data.size() <= kContactSize;
}

uint16_t SimRadio::unlockMode(int flashType) {
    return flashType == 0 ? 0x840 : 0x3000;
}

uint16_t SimRadio::lockMode(int flashType) {
    switch (flashType) {
        case 1:
            return 0x840;
        case 2:
            return 0x1040;
        default:
            return 0x440;
    }
}

SimRadio::SimRadio(const SimRadioConfig& config)
    : flash_(config.flashType), protection_(lockMode(config.flashType)), baud_(config.baud) {
    auto def = flash_.block(SimBlock::Def);
    std::ranges::fill(def, 0);
    if (const auto model = encodeModel(config.model)) {
        put(def, kModelOffset, *model);
    }
    put(def, kCodeplugVersionOffset, config.codeplug.bytes);

    auto hw = flash_.block(SimBlock::Hw);
    put(hw, kFirmwareOffset, config.firmware.bytes);
    put(hw, kKeypadOffset, config.keypad.bytes);

    setSerial(std::span(reinterpret_cast<const uint8_t*>(config.serial.data()),
                        std::min(config.serial.size(), kSerialLength)));
    backupFactoryBlock();

    auto dyn = flash_.block(SimBlock::Dyn);
    for (size_t i = 0; i < dyn.size(); ++i) {
        dyn[i] = static_cast<uint8_t>(i);  // user settings
    }
    std::fill_n(dyn.begin() + kUserIdOffset, kUserIdLength, 0);
    for (size_t i = 0; i < 8; ++i) {
        dyn[kUserIdOffset + i] = static_cast<uint8_t>(config.userPrivateId >> (56 - 8 * i));
    }

    std::vector<std::vector<uint8_t>> contacts;
    for (int i = 0; i < std::min(config.contacts, kMaxContacts); ++i) {
        contacts.push_back(sampleContact(i));
    }
    setContacts(contacts);
}

std::vector<uint8_t> SimRadio::model() const {
    const auto def = flash_.block(SimBlock::Def).subspan(kModelOffset, kModelLength);
    return {def.begin(), def.end()};
}

SimVersion SimRadio::codeplugVersion() const {
    return versionAt(flash_.block(SimBlock::Def), kCodeplugVersionOffset);
}

SimVersion SimRadio::firmwareVersion() const {
    return versionAt(flash_.block(SimBlock::Hw), kFirmwareOffset);
}

SimVersion SimRadio::keypadVersion() const {
    return versionAt(flash_.block(SimBlock::Hw), kKeypadOffset);
}

std::vector<uint8_t> SimRadio::serial() const {
    const auto field = flash_.block(SimBlock::Fac).subspan(kSerialOffset, kSerialLength);
    std::vector<uint8_t> serial(field.begin(), field.end());
    while (!serial.empty() && (serial.back() == 0 || serial.back() == kErased)) {
        serial.pop_back();
    }
    return serial;
}

bool SimRadio::setSerial(std::span<const uint8_t> digits) {
    if (digits.empty() || digits.size() > kSerialLength) {
        return false;
    }
    auto field = flash_.block(SimBlock::Fac).subspan(kSerialOffset, kSerialLength);
    std::ranges::fill(field, 0);
    std::ranges::copy(digits, field.begin());
    return true;
}

std::vector<uint8_t> SimRadio::userPrivateId() const {
    const auto field = flash_.block(SimBlock::Dyn).subspan(kUserIdOffset, kUserIdLength);
    return {field.begin(), field.end()};
}

bool SimRadio::setProtectionMode(uint16_t mode) {
    if (mode != unlockMode(flashType()) && mode != lockMode(flashType())) {
        return false;
    }
    protection_ = mode;
    return true;
}

uint16_t SimRadio::status() const {
    uint16_t status = 0;
    const auto header = flash_.block(SimBlock::Def).subspan(kModelOffset, kModelLength + 4);
    if (std::ranges::all_of(header, [](uint8_t b) { return b == kErased; })) {
        status |= simwire::kStatusDefaultBlank;
    }
    if (flash_.defaultBlockVerifyFailed()) {
        status |= simwire::kStatusDefaultVerify;
    }
    if (std::ranges::equal(flash_.block(SimBlock::Fac), flash_.block(SimBlock::Bac))) {
        status |= simwire::kStatusFactoryIntact;
    }
    return status;
}

uint16_t SimRadio::reset() {
    const uint16_t word = status();
    mode_ = Mode::Normal;
    protection_ = lockMode(flashType());
    stagedTotal_ = 0;
    staged_.clear();
    return word;
}

void SimRadio::backupFactoryBlock() {
    std::ranges::copy(flash_.block(SimBlock::Fac), flash_.block(SimBlock::Bac).begin());
}

void SimRadio::restoreFactoryBlock() {
    std::ranges::copy(flash_.block(SimBlock::Bac), flash_.block(SimBlock::Fac).begin());
}

void SimRadio::resetAllBlocks() {
    std::ranges::fill(flash_.block(SimBlock::Dyn), 0);
    setContacts({});
}

int SimRadio::contactCount() const {
    const uint8_t count = flash_.block(SimBlock::Con)[kContactCountOffset];
    return count > kMaxContacts ? 0 : count;  // an erased count byte means none
}

std::vector<uint8_t> SimRadio::contact(int index) const {
    if (index < 0 || index >= contactCount()) {
        return {};
    }
    const auto slot = flash_.block(SimBlock::Con)
                          .subspan(static_cast<size_t>(index) * kContactSize, kContactSize);
    return {slot.begin(), slot.end()};
}

bool SimRadio::setContacts(const std::vector<std::vector<uint8_t>>& contacts) {
    if (contacts.size() > static_cast<size_t>(kMaxContacts) ||
        !std::ranges::all_of(contacts, [](const auto& c) { return isContact(c); })) {
        return false;
    }
    auto con = flash_.block(SimBlock::Con);
    std::ranges::fill(con, kErased);
    for (size_t i = 0; i < contacts.size(); ++i) {
        auto slot = con.subspan(i * kContactSize, kContactSize);
        std::ranges::fill(slot, 0);
        std::ranges::copy(contacts[i], slot.begin());
    }
    con[kContactCountOffset] = static_cast<uint8_t>(contacts.size());
    return true;
}

bool SimRadio::stageContact(int number, int total, std::span<const uint8_t> data) {
    if (total < 1 || total > kMaxContacts || number < 1 || number > total || !isContact(data)) {
        return false;
    }
    if (number == 1 || total != stagedTotal_) {
        stagedTotal_ = total;
        staged_.assign(static_cast<size_t>(total), std::nullopt);
    }
    staged_[static_cast<size_t>(number - 1)] = std::vector<uint8_t>(data.begin(), data.end());
    return true;
}

int SimRadio::commitContacts() {
    if (stagedTotal_ > 0) {
        std::vector<std::vector<uint8_t>> contacts;
        for (const auto& slot : staged_) {
            if (slot) {
                contacts.push_back(*slot);
            }
        }
        setContacts(contacts);
        stagedTotal_ = 0;
        staged_.clear();
    }
    return contactCount();
}

}  // namespace plugshift
