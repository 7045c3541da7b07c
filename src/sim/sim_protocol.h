#pragma once

#include <cstdint>

// The radio's side of the SBEP wire: the bytes it recognises and the bytes it answers with.
// Kept apart from the host's constants on purpose, so that a wrong value on either side shows up
// as a failed exchange instead of agreeing with itself.
namespace plugshift::simwire {

// Framing
inline constexpr uint8_t kLeadIn = 0x50;          // precedes every reply
inline constexpr uint8_t kLongStart = 0xFF;       // then opcode, 16-bit length, body, checksum
inline constexpr uint8_t kShortStartHigh = 0xF0;  // 0xFk: k bytes follow the opcode
// k = 15 would be 0xFF, the long-frame start, so a short frame carries at most 14.
inline constexpr int kShortMaxCount = 14;

// Requests
inline constexpr uint8_t kOpReset = 0x10;
inline constexpr uint8_t kOpMemRead = 0x11;
inline constexpr uint8_t kOpMemWrite = 0x17;
inline constexpr uint8_t kOpUpdateSerial = 0x18;
inline constexpr uint8_t kOpSoftpotRead = 0x20;
inline constexpr uint8_t kOpTestMode = 0x22;
inline constexpr uint8_t kOpRadioItem = 0x23;
inline constexpr uint8_t kOpQueryFlashMode = 0x24;
inline constexpr uint8_t kOpSoftpotWrite = 0x38;
inline constexpr uint8_t kOpFlash = 0x72;
inline constexpr uint8_t kOpContact = 0x9B;

// Replies. The host tests the opcode of some replies; for the others (reset, radio item,
// query) it takes any opcode, and these values are this radio's choice.
inline constexpr uint8_t kReplyMemRead = 0x80;   // address field, then data
inline constexpr uint8_t kReplyMemWrite = 0x84;  // address field only
// A refused request: the address field echoes the request's address (0 when it has none) and no
// data follows, so every success test that counts data bytes or checks an opcode fails on it,
// while the host's messages still show the address it asked for.
inline constexpr uint8_t kReplyRefused = 0x85;
inline constexpr uint8_t kReplySoftpotRead = 0x8A;
inline constexpr uint8_t kReplyAccepted = 0x8C;
inline constexpr uint8_t kReplyFlash = 0x95;
inline constexpr uint8_t kReplyContact = 0x41;
inline constexpr uint8_t kReplyRadioItem = 0xA3;
inline constexpr uint8_t kReplyQueryFlashMode = 0xA4;

// Sub-requests
inline constexpr uint8_t kResetSoft = 0;
inline constexpr uint8_t kResetHard = 1;
inline constexpr uint8_t kTestModeSbep = 1;
inline constexpr uint8_t kTestModeFlash = 8;
inline constexpr uint8_t kFlashProgram = 0x01;
inline constexpr uint8_t kFlashEraseSector = 0x04;
inline constexpr uint8_t kFlashEraseDynamic = 0x06;
inline constexpr uint8_t kFlashProtection = 0x08;
inline constexpr uint8_t kSoftpotBackupFactory = 0x26;
inline constexpr uint8_t kSoftpotRestoreFactory = 0x27;
inline constexpr uint8_t kSoftpotBaudRate = 0x2A;
inline constexpr uint8_t kSoftpotResetAllBlocks = 0x2E;
inline constexpr uint8_t kSoftpotUserId = 0x31;  // the one item of the softpot read
inline constexpr uint8_t kContactRead = 0x30;
inline constexpr uint8_t kContactWrite = 0x31;
inline constexpr uint8_t kContactMasterReset = 0x36;
inline constexpr uint8_t kContactReadDone = 0x8C;   // first data byte of a contact read reply
inline constexpr uint8_t kContactWriteDone = 0x50;  // ... of a contact write or master reset
inline constexpr uint8_t kMemWriteKind = 0x01;      // the byte before the address of a memWrite
inline constexpr uint8_t kSerialHeader = 0x01;      // both bytes before the digits of updateSN

// Bits of the status word of a reset reply (data bytes 0 and 1, high byte first).
inline constexpr uint16_t kStatusFactoryIntact = 0x0040;  // factory block equals its backup
inline constexpr uint16_t kStatusDefaultBlank = 0x0080;   // default-block header is erased
inline constexpr uint16_t kStatusDefaultVerify = 0x0200;  // a program left bits unlike asked

// Largest memory transfer the radio accepts in one request, and largest flash program.
inline constexpr int kMaxMemoryTransfer = 220;
inline constexpr int kMaxProgram = 4096;

}  // namespace plugshift::simwire
