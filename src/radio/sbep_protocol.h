#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

// The numbers of the radio's request/reply protocol, shared by the host engine and the simulated
// radio. Constants only: each side frames and parses with code of its own.
namespace plugshift::sbep {

// --- Framing -------------------------------------------------------------------------------------

// Every reply starts with this byte; the engine reports any other first byte as this opcode.
inline constexpr uint8_t kLeadIn = 0x50;
inline constexpr uint8_t kBadLeadIn = 0x60;

// Long frame: FF, opcode, 16-bit length of what follows it (checksum included), body, checksum.
inline constexpr uint8_t kLongStart = 0xFF;
// Short frame: Fk, opcode, body, checksum; k counts the bytes after the opcode, checksum included.
inline constexpr uint8_t kShortMark = 0xF0;
inline constexpr uint8_t kNibbleMask = 0x0F;
inline constexpr int kShortMaxCount = 15;
// A long frame's length field follows its opcode.
inline constexpr size_t kLengthFieldSize = 2;
// Replies with these opcodes start their body with a 4-byte big-endian address.
inline constexpr int kAddressFieldSize = 4;

// --- Request opcodes -----------------------------------------------------------------------------

inline constexpr uint8_t kOpReset = 0x10;
inline constexpr uint8_t kOpMemRead = 0x11;
inline constexpr uint8_t kOpMemWrite = 0x17;
inline constexpr uint8_t kOpUpdateSerial = 0x18;
inline constexpr uint8_t kOpSoftpotRead = 0x20;
inline constexpr uint8_t kOpTestMode = 0x22;
inline constexpr uint8_t kOpRadioItem = 0x23;
inline constexpr uint8_t kOpQueryFlashMode = 0x24;
// Softpot write and factory-block backup.
inline constexpr uint8_t kOpSoftpot = 0x38;
// Sent raw by the cable-mode probe: F1 40 CE.
inline constexpr uint8_t kOpCableProbe = 0x40;
// Protection mode, erase and flash programming.
inline constexpr uint8_t kOpFlash = 0x72;
inline constexpr uint8_t kOpContact = 0x9B;

// --- Reply opcodes -------------------------------------------------------------------------------

inline constexpr uint8_t kReplyAddressed80 = 0x80;
inline constexpr uint8_t kReplyMemWriteDone = 0x84;
inline constexpr uint8_t kReplyAddressed85 = 0x85;
inline constexpr uint8_t kReplySoftpotReadDone = 0x8A;
// Test mode, softpot write, serial number, factory-block backup.
inline constexpr uint8_t kReplyAccepted = 0x8C;
// Protection mode, erase, flash write.
inline constexpr uint8_t kReplyFlashAccepted = 0x95;
inline constexpr uint8_t kReplyContactDone = 0x41;

constexpr bool carriesAddress(uint8_t replyOpcode) {
    return replyOpcode == kReplyAddressed80 || replyOpcode == kReplyMemWriteDone ||
           replyOpcode == kReplyAddressed85;
}

// First data byte of a contact reply that reports success.
inline constexpr uint8_t kContactWriteDone = 0x50;  // sub kContactWrite
inline constexpr uint8_t kContactReadDone = 0x8C;   // sub kContactRead
inline constexpr uint8_t kMasterResetDone = 0x50;   // sub kContactMasterReset

// --- Request arguments ---------------------------------------------------------------------------

inline constexpr uint8_t kResetSoft = 0;
inline constexpr uint8_t kResetHard = 1;

inline constexpr uint8_t kTestModeSbep = 1;
inline constexpr uint8_t kTestModeFlash = 8;

inline constexpr uint8_t kSoftpotRestoreFactory = 0x27;
inline constexpr uint8_t kSoftpotBaudRate = 0x2A;
inline constexpr uint8_t kSoftpotResetAllBlocks = 0x2E;
// The fixed item of the softpot read (the user private id).
inline constexpr uint8_t kSoftpotReadItem = 0x31;

inline constexpr uint8_t kEraseSector = 4;   // one 4 KiB sector of the default block
inline constexpr uint8_t kEraseDynamic = 6;  // the whole dynamic block

inline constexpr uint8_t kContactRead = 0x30;
inline constexpr uint8_t kContactWrite = 0x31;
inline constexpr uint8_t kContactMasterReset = 0x36;

inline constexpr uint8_t kItemModel = 0;
inline constexpr uint8_t kItemSerialNumber = 1;
inline constexpr uint8_t kItemFirmwareVersion = 3;
inline constexpr uint8_t kItemCodeplugVersion = 4;
inline constexpr uint8_t kItemKeypadVersion = 8;

// Fixed body bytes.
inline constexpr uint8_t kWriteCommand = 0x01;  // before the address of memory and flash writes
inline constexpr uint8_t kUpdateSerialHead[] = {0x01, 0x01};
inline constexpr uint8_t kProtectionHead[] = {0x08, 0x00};
inline constexpr uint8_t kQueryFlashModeBody[] = {0x02, 0x00};
inline constexpr uint8_t kFactoryBackupBody[] = {0x26, 0x00, 0x00, 0x00};

// --- Sizes ---------------------------------------------------------------------------------------

// Largest data length of one memory read or write, and largest contact request frame.
inline constexpr int kMaxPayload = 220;
// Raw reply bytes the engine holds, lead-in included.
inline constexpr size_t kReceiveBufferSize = 4109;
// Largest data a reply can carry: the receive buffer less lead-in, FF, opcode, length, checksum.
inline constexpr size_t kMaxReplyData = kReceiveBufferSize - 6;
inline constexpr size_t kTransmitBufferSize = 4111;
// Flash is programmed and erased in 4 KiB sectors.
inline constexpr int kFlashChunk = 4096;
inline constexpr int kContactFrameCapacity = 512;
// updateSN's short frame carries the two head bytes, the serial number and the checksum. Its
// count must stay below 15: a start byte of 0xFF would mark a long frame to the radio.
inline constexpr int kMaxSerialBytes = kShortMaxCount - 4;

// --- Baud rates ----------------------------------------------------------------------------------

// The rate of all radio traffic, and the odd rate at which the cable-mode probe runs.
inline constexpr uint32_t kRadioBaudRate = 57600;
inline constexpr uint32_t kProbeBaudRate = 16406;

// --- Attempts and time-outs ----------------------------------------------------------------------

// One retry rides out a single lost or damaged frame; more would only delay the report of a
// radio that is gone.
inline constexpr int kDefaultTrials = 2;
// Two read time-outs for the radio to begin its reply.
inline constexpr int kDefaultWaitTrials = 2;

// A 229-byte reply takes 40 ms at 57600 baud; 250 ms leaves the radio room to turn around.
inline constexpr uint32_t kDefaultReadTimeoutMs = 250;
inline constexpr uint32_t kDefaultWriteTimeoutMs = 300;

// A reset is answered around the radio's restart: its reply may begin up to 4 x 600 ms late, and
// 500 attempts per byte keep the transaction alive across the restart instead of abandoning a
// radio half-way through its reboot. The request itself is 6 bytes, hence the short write.
inline constexpr int kResetTrials = 500;
inline constexpr int kResetWaitTrials = 4;
inline constexpr uint32_t kResetReadTimeoutMs = 600;
inline constexpr uint32_t kResetWriteTimeoutMs = 200;

// Identity items are answered at once; a single 100 ms wait keeps an absent radio from
// stalling the identity read.
inline constexpr int kItemWaitTrials = 1;
inline constexpr uint32_t kItemReadTimeoutMs = 100;
inline constexpr uint32_t kItemWriteTimeoutMs = 300;

// Resetting all blocks (0x2E) and switching the radio's baud rate (0x2A) keep the radio busy
// before it answers: 100 waits of the current read time-out (25 s at 250 ms).
inline constexpr int kSlowSoftpotWaitTrials = 100;

// Erasing or programming a sector takes the radio hundreds of milliseconds, and a 4105-byte
// write frame alone takes 0.7 s on the wire at 57600 baud.
inline constexpr uint32_t kFlashReadTimeoutMs = 300;
inline constexpr uint32_t kFlashWriteTimeoutMs = 3000;

// An echoing cable returns the three probe bytes within a few byte times; 20 ms keeps the probe
// of a silent (digital-mode) cable short.
inline constexpr uint32_t kProbeReadTimeoutMs = 20;
inline constexpr uint32_t kProbeWriteTimeoutMs = 300;

// The rest of a reply given up on is read off until the line has been quiet this long: longer
// than an FTDI adapter holds bytes back (its latency timer, 16 ms at most by default), so a reply
// still streaming never looks finished.
inline constexpr uint32_t kQuietLineMs = 30;
// ... but no longer than the longest reply takes on the wire (4109 bytes at 57600 baud: 0.71 s).
inline constexpr std::chrono::milliseconds kLongestReplyTime{750};
inline constexpr int kDiscardChunk = 64;

// --- How long the radio takes to answer ----------------------------------------------------------
// The time-outs above stay the least a request waits; these make the wait cover the radio's own
// longest time for the request. A wait ends at the first byte, so a long one costs nothing while
// the radio answers in time, and a reply that comes after its wait is never taken for the next
// request's.

// An FTDI adapter holds bytes that do not fill a USB packet until its latency timer (16 ms by
// default) runs out.
inline constexpr std::chrono::milliseconds kAdapterLatency{16};
// The host's own scheduling on top of every wait.
inline constexpr std::chrono::milliseconds kHostMargin{50};

// Memory, identity items, test and protection modes, softpot reads, serial number, contact reads
// and writes: the firmware answers from RAM or one small write, within a few milliseconds.
inline constexpr std::chrono::milliseconds kAnswerAtOnce{20};
// One 4 KiB NOR sector erases in about 25 ms; datasheets give ten times that or more for worn
// parts near the end of their life.
inline constexpr std::chrono::milliseconds kSectorEraseLongest{400};
// Programming 4 KiB is some 2048 word writes of 10 us typically, up to 200 us each on a worn part,
// and the firmware's verify.
inline constexpr std::chrono::milliseconds kProgramChunkLongest{500};
// The dynamic block, and the contact store a master reset clears, span many sectors.
inline constexpr std::chrono::milliseconds kBlockEraseLongest{3000};
// A reset is answered around the radio's restart, some 400 ms on a healthy radio and up to two
// seconds on a slow one.
inline constexpr std::chrono::milliseconds kResetLongest{2000};

// A reply that has begun comes at the line's rate; one that falls this far behind it has stopped
// (a radio whose battery sagged at a reset), and fails at once instead of holding the
// transaction for the long waits of the request.
inline constexpr std::chrono::milliseconds kStalledReplyMargin{300};

// A request that went unanswered is sent again only once the line has been quiet this long (or
// the request's own wait, when that is longer): a radio that missed its wait is slower than it
// should be (a sagging battery, a busy firmware), and its late reply must land and be dropped
// rather than be taken for the answer to the resend. One later still holds back the resend's own
// reply, so the resend waits this much longer for its reply to begin. It costs nothing while
// replies come in time.
inline constexpr std::chrono::milliseconds kStragglerQuiet{2000};
// After a resend, further replies are heard out for at most this many of the resend's whole
// waits: a line that never falls quiet leaves the request's outcome unknown.
inline constexpr int kResendSettleRounds = 4;

// Bits of one byte on the line: start, eight data bits, stop.
inline constexpr int kBitsPerByte = 10;

}  // namespace plugshift::sbep
