#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "conversion/block_to_keep.h"
#include "conversion/convert_radio.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "forwarding_d2xx.h"
#include "radio/d2xx.h"
#include "sim/sim_d2xx.h"
#include "tasks/radio_info.h"

namespace plugshift {

// Records show as their category and text in test failures.
inline void PrintTo(const ErrorRecord& record, std::ostream* os) {
    *os << record.category << " \"" << toUtf8(record.message) << "\"";
}

}  // namespace plugshift

namespace plugshift::test {

using Bytes = std::vector<uint8_t>;

// The sample installation's flash files, packed by the build.
std::wstring sampleFile(const char* name);
inline constexpr const char* kNewAddressMap = "KMVADDR_A01.02.00.ftf";
inline constexpr const char* kNewCodeplug = "RQX770HJNWE_DEF_R01.02.00.ftf";
// The old layout's default block (0xC000 bytes) is the one that fits flash type 0.
inline constexpr const char* kOldAddressMap = "KMVADDR_A01.03.00.ftf";
inline constexpr const char* kOldCodeplug = "RQX770HJNWE_DEF_R01.03.00.ftf";
inline constexpr const char* kTargetModel = "RQX770HJNWE";

// The sample configuration's DYN block kept between codeplugs of the same first number.
inline constexpr BlockToKeep kKeptDyn{0, 0x820000, 0x800};

// A request frame as the radio reads it.
struct Request {
    Bytes frame;
    uint8_t opcode() const { return frame.size() > 1 ? frame[1] : 0; }
    // The bytes after the opcode (and the length of a long frame), checksum excluded.
    std::span<const uint8_t> body() const;
    // The first body byte: the sub-request of test-mode, flash, softpot and contact requests.
    std::optional<uint8_t> sub() const;
};

// Which request a fault is aimed at: the n-th (from 1) with the opcode and, if given, the first
// body byte.
struct RequestTarget {
    RequestTarget(uint8_t opcode, std::optional<uint8_t> sub = std::nullopt, int occurrence = 1)
        : opcode(opcode), sub(sub), occurrence(occurrence) {}

    uint8_t opcode;
    std::optional<uint8_t> sub;
    int occurrence;
    bool matches(const Request& request) const;
};

// Stands between the host's port and the simulated cable. A request it was given a reply for
// never reaches the radio: the host reads the scripted bytes instead, or nothing (a lost reply),
// so a test can send what the simulated radio never would. Everything else passes through.
class ScriptedReplies : public ForwardingD2xx {
public:
    explicit ScriptedReplies(D2xx& cable) : ForwardingD2xx(cable) {}

    // The target's occurrence-th request from now gets `reply` (lead-in and frame, as on the
    // wire). Scripts aimed at the same request strike in the order given: one per attempt.
    void answer(const RequestTarget& target, Bytes reply);
    // A reply framed as the radio frames it, with its checksum broken if asked.
    static Bytes reply(uint8_t opcode, const Bytes& data, bool damaged = false);

    FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) override;
    FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* received) override;
    FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                       uint32_t* written) override;

private:
    struct Script {
        RequestTarget target;
        int passed;  // matching requests let through so far
        Bytes reply;
    };

    std::vector<Script> scripts_;
    std::deque<uint8_t> replying_;
};

// One simulated radio on one cable, connected through RadioInfo as the program does it, with
// every request frame the host sends from then on recorded.
class SimRig {
public:
    static SimD2xx::Options defaultOptions();

    explicit SimRig(const SimD2xx::Options& options = defaultOptions(), bool connect = true);

    SimRadio& sim() { return driver.radio(0); }
    SimFaults& faults() { return driver.faults(0); }
    uint64_t hostBytes() { return driver.cable(0).hostBytes(); }
    // Requests recorded since the last clear.
    std::vector<Request> requests;
    std::vector<Request> requestsTo(const RequestTarget& target) const;
    size_t count(uint8_t opcode, std::optional<uint8_t> sub = std::nullopt) const;

    // The radio's contacts in slot order.
    std::vector<Bytes> contacts();
    Bytes dynBytes(size_t length);
    // Fills the DYN block with a pattern an erase or a reset cannot produce.
    void seedDyn();

    SimD2xx driver;
    ScriptedReplies scripted{driver};
    RadioInfo radio;
};

// A conversion as the Convert workflow sets it up, on the sample's new files.
struct ConversionSetup {
    bool keep = true;
    std::vector<BlockToKeep> blocks = {kKeptDyn};
    std::wstring addressFile = sampleFile(kNewAddressMap);
    std::wstring codeplugFile = sampleFile(kNewCodeplug);
};

// A conversion command ready to run on the rig, with waits recorded instead of slept.
class Conversion {
public:
    Conversion(SimRig& rig, const std::filesystem::path& backupFolder,
               const ConversionSetup& setup = {});
    // Runs it on this thread.
    bool run() { return command.run(); }

    ConvertRadio command;
    std::vector<std::chrono::milliseconds> waits;
};

// A fresh folder below the system's temporary folder, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// What the default block holds after a conversion with the set-up: the codeplug parsed on its
// own, over the block's capacity.
Bytes expectedDefaultBlock(const ConversionSetup& setup);
// The contacts as a restore leaves them: groups 4, 2, 3, 1, then those of no group, each in the
// order read.
std::vector<Bytes> inRestoreOrder(const std::vector<Bytes>& contacts);

// The numbers "(0x0NN)" of the records, oldest first.
std::vector<int> numbersIn(const std::vector<ErrorRecord>& records);

// Aims a fault at a request of a run: a clean run of the same set-up, on a fresh rig, tells where
// the request falls. pullAt pulls the cable inside that request's frame (the radio never gets it
// whole); dropReplies loses the replies of its first two attempts (the radio acts on it).
class FaultAim {
public:
    // The requests of the clean run, from its start.
    explicit FaultAim(std::vector<Request> cleanRun) : requests_(std::move(cleanRun)) {}
    // Host byte count, from the start of the run, inside the target's frame.
    uint64_t byteInside(const RequestTarget& target) const;
    // Reply number, from the start of the run, answering the target.
    uint32_t replyTo(const RequestTarget& target) const;

private:
    std::vector<Request> requests_;
};

// Pulls the cable `offset` host bytes after the rig's present count.
void pullAfter(SimRig& rig, uint64_t offset);
// Restarts the reply count and drops replies n and n + 1 from now on.
void dropReplies(SimRig& rig, uint32_t n);

}  // namespace plugshift::test
