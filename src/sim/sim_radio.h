#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/sim_flash.h"
#include "sim/sim_version.h"

namespace plugshift {

// What a fresh simulated radio is made of.
struct SimRadioConfig {
    int flashType = 1;
    std::string model = "RQX770HJNWA";  // 11 letters and digits
    std::string serial = "752TRX4F21";  // at most 11 characters
    SimVersion firmware{{'R', 2, 10, 5}};
    SimVersion keypad{{'R', 1, 0, 2}};
    SimVersion codeplug{{'R', 1, 3, 0}};
    uint64_t userPrivateId = 1234567;
    int contacts = 12;
    uint32_t baud = 57600;  // the rate it listens at when it powers on
};

// The state of one KMV radio and what its firmware does to it; the wire is SimResponder's.
//
// Everything the radio reports lives in its flash blocks, so a saved radio is its blocks:
//   DEF +0   model number, 11 bytes, letters as ASCII and digits as the values 0..9
//   DEF +11  codeplug version, 4 bytes (a letter and three numbers)
//   FAC +0   serial number, 11 bytes of ASCII, zero padded; BAC holds the backup copy of FAC
//   HW  +0   firmware version, HW +4 keypad version
//   DYN +0   user private ID, 12 bytes, the first 8 a big-endian number
//   CON      contacts in 32-byte slots, the count in one byte after the last slot
// The model number and codeplug version come with the codeplug, so converting a radio changes
// them; the user private ID is part of the dynamic block, which a conversion erases unless the
// host keeps and restores it.
class SimRadio {
public:
    static constexpr size_t kModelOffset = 0;
    static constexpr size_t kModelLength = 11;
    static constexpr size_t kCodeplugVersionOffset = kModelOffset + kModelLength;
    static constexpr size_t kSerialOffset = 0;
    static constexpr size_t kSerialLength = 11;
    static constexpr size_t kFirmwareOffset = 0;
    static constexpr size_t kKeypadOffset = 4;
    static constexpr size_t kUserIdOffset = 0;
    static constexpr size_t kUserIdLength = 12;
    static constexpr size_t kContactSize = 32;
    static constexpr int kMaxContacts = 250;
    static constexpr size_t kContactCountOffset = kContactSize * kMaxContacts;
    // Groups 1 to 4; a contact may name none of them (0 and the rest) and is kept all the same.
    static constexpr size_t kContactGroupByte = 7;
    static constexpr size_t kContactMinSize = kContactGroupByte + 1;

    enum class Mode { Normal, SbepTest, FlashTest };

    // The 11 stored bytes of a model number, or nothing when it is not 11 letters and digits.
    static std::optional<std::array<uint8_t, kModelLength>> encodeModel(const std::string& model);
    // The contact a fresh radio holds at an index (groups 1 to 4 in turn).
    static std::vector<uint8_t> sampleContact(int index);
    // At least 8 (up to the group byte) and at most 32 bytes.
    static bool isContact(std::span<const uint8_t> data);
    // The protection mode that opens the default block to erasing and programming, and the one
    // the host leaves it in afterwards.
    static uint16_t unlockMode(int flashType);
    static uint16_t lockMode(int flashType);

    // The config must have been checked (flash type 0..2, model and serial encodable).
    explicit SimRadio(const SimRadioConfig& config = {});

    SimFlash& flash() { return flash_; }
    const SimFlash& flash() const { return flash_; }
    int flashType() const { return flash_.flashType(); }

    std::vector<uint8_t> model() const;
    SimVersion codeplugVersion() const;
    SimVersion firmwareVersion() const;
    SimVersion keypadVersion() const;
    // The stored serial without its zero padding.
    std::vector<uint8_t> serial() const;
    bool setSerial(std::span<const uint8_t> digits);
    std::vector<uint8_t> userPrivateId() const;

    Mode mode() const { return mode_; }
    void setMode(Mode mode) { mode_ = mode; }
    bool inTestMode() const { return mode_ != Mode::Normal; }
    uint16_t protectionMode() const { return protection_; }
    // Only the two modes of the radio's own flash type are known to it.
    bool setProtectionMode(uint16_t mode);
    bool defaultBlockUnlocked() const { return protection_ == unlockMode(flashType()); }
    uint32_t baud() const { return baud_; }
    void setBaud(uint32_t baud) { baud_ = baud; }

    // The health bits a reset reports (kStatus... in sim_protocol.h).
    uint16_t status() const;
    // Restart: back to normal mode with the default block locked, staged contacts dropped.
    // Returns the status word found on the way up.
    uint16_t reset();

    void backupFactoryBlock();
    void restoreFactoryBlock();
    // Back to a blank personality: dynamic block zeroed, contacts gone.
    void resetAllBlocks();

    int contactCount() const;
    std::vector<uint8_t> contact(int index) const;
    bool setContacts(const std::vector<std::vector<uint8_t>>& contacts);
    // Contact `number` (1-based) of `total` for the next master reset.
    bool stageContact(int number, int total, std::span<const uint8_t> data);
    // Master reset: the staged contacts, in number order, replace the list when any were
    // staged. Returns the number of contacts the radio then holds.
    int commitContacts();

private:
    SimFlash flash_;
    Mode mode_ = Mode::Normal;
    uint16_t protection_;
    uint32_t baud_;
    int stagedTotal_ = 0;
    std::vector<std::optional<std::vector<uint8_t>>> staged_;
};

}  // namespace plugshift
