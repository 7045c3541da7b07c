#include "sim_rig.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <regex>

#include "conversion/personality.h"
#include "errors/wide_text.h"
#include "formats/codeplug_image.h"
#include "formats/ftf_image.h"
#include "radio/frame_event.h"
#include "radio/sbep.h"
#include "sim/sim_reply.h"

namespace plugshift::test {

std::wstring sampleFile(const char* name) {
    return fromUtf8(std::string(PLUGSHIFT_SAMPLE_INSTALL_DIR) + "/data/" + name);
}

std::span<const uint8_t> Request::body() const {
    if (frame.size() < 3) {
        return {};
    }
    // FF, opcode, two length bytes | Fk, opcode; the checksum ends both.
    const size_t head = frame[0] == 0xFF ? 4 : 2;
    if (frame.size() < head + 1) {
        return {};
    }
    return std::span(frame).subspan(head, frame.size() - head - 1);
}

std::optional<uint8_t> Request::sub() const {
    const auto bytes = body();
    return bytes.empty() ? std::nullopt : std::optional(bytes[0]);
}

bool RequestTarget::matches(const Request& request) const {
    return request.opcode() == opcode && (!sub || request.sub() == sub);
}

SimD2xx::Options SimRig::defaultOptions() {
    SimD2xx::Options options;
    options.radio.serial = "752TRX4F21";
    options.radio.contacts = 12;
    return options;
}

void ScriptedReplies::answer(const RequestTarget& target, Bytes reply) {
    scripts_.push_back({target, 0, std::move(reply)});
}

Bytes ScriptedReplies::reply(uint8_t opcode, const Bytes& data, bool damaged) {
    Bytes wire = SimReply{opcode, std::nullopt, data}.wire();
    if (damaged) {
        wire.back() ^= 0x5A;
    }
    return wire;
}

FT_STATUS ScriptedReplies::FT_Purge(FT_HANDLE handle, uint32_t mask) {
    if ((mask & FT_PURGE_RX) != 0) {
        replying_.clear();
    }
    return inner().FT_Purge(handle, mask);
}

FT_STATUS ScriptedReplies::FT_Read(FT_HANDLE handle, void* buffer, uint32_t count,
                                   uint32_t* received) {
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t taken = 0;
    for (; taken < count && !replying_.empty(); ++taken) {
        out[taken] = replying_.front();
        replying_.pop_front();
    }
    // What the script does not give comes from the line, with its time-outs.
    uint32_t rest = 0;
    const FT_STATUS status =
        taken < count ? inner().FT_Read(handle, out + taken, count - taken, &rest) : FT_OK;
    *received = taken + rest;
    return status;
}

FT_STATUS ScriptedReplies::FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                                    uint32_t* written) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    const Request request{Bytes(bytes, bytes + count)};
    for (auto script = scripts_.begin(); script != scripts_.end(); ++script) {
        if (!script->target.matches(request)) {
            continue;
        }
        if (++script->passed < script->target.occurrence) {
            break;
        }
        replying_.insert(replying_.end(), script->reply.begin(), script->reply.end());
        scripts_.erase(script);
        *written = count;
        return FT_OK;
    }
    return inner().FT_Write(handle, buffer, count, written);
}

SimRig::SimRig(const SimD2xx::Options& options, bool connect) : driver(options), radio(scripted) {
    if (connect) {
        EXPECT_TRUE(radio.connectPort(0));
        EXPECT_TRUE(radio.readIdentity());
        // The cable-mode probe of a digital cable leaves a read record; the runs start clean.
        ErrorChain::remove(0);
    }
    radio.sbep()->setFrameObserver([this](const FrameEvent& event) {
        if (event.direction == FrameDirection::kSent) {
            requests.push_back({Bytes(event.bytes.begin(), event.bytes.end())});
        }
    });
}

std::vector<Request> SimRig::requestsTo(const RequestTarget& target) const {
    std::vector<Request> found;
    for (const Request& request : requests) {
        if (target.matches(request)) {
            found.push_back(request);
        }
    }
    return found;
}

size_t SimRig::count(uint8_t opcode, std::optional<uint8_t> sub) const {
    return requestsTo({opcode, sub}).size();
}

std::vector<Bytes> SimRig::contacts() {
    std::vector<Bytes> out;
    for (int i = 0; i < sim().contactCount(); ++i) {
        out.push_back(sim().contact(i));
    }
    return out;
}

Bytes SimRig::dynBytes(size_t length) {
    const auto dyn = sim().flash().block(SimBlock::Dyn);
    return Bytes(dyn.begin(), dyn.begin() + static_cast<ptrdiff_t>(length));
}

void SimRig::seedDyn() {
    auto dyn = sim().flash().block(SimBlock::Dyn);
    for (size_t i = 0; i < dyn.size(); ++i) {
        dyn[i] = static_cast<uint8_t>(i * 7 + 3);
    }
}

Conversion::Conversion(SimRig& rig, const std::filesystem::path& backupFolder,
                       const ConversionSetup& setup) {
    command.radio = &rig.radio;
    command.setAddressFile(setup.addressFile.c_str());
    command.setCodeplugFile(setup.codeplugFile.c_str());
    command.enableDefaultBlockUpdate();
    if (setup.keep) {
        command.keepPersonality = true;
        command.enableKeepSteps();
        command.setBlocks(setup.blocks.data(), static_cast<uint8_t>(setup.blocks.size()));
    } else {
        command.keepPersonality = false;
    }
    command.setBackupFolder(backupFolder);
    command.setSleeper([this](std::chrono::milliseconds wait) { waits.push_back(wait); });
}

TempFolder::TempFolder() {
    static std::atomic<int> serial{0};
    path_ = std::filesystem::temp_directory_path() /
            ("conversion-test-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Bytes expectedDefaultBlock(const ConversionSetup& setup) {
    CodeplugImage cpg;
    FtfImage image;
    EXPECT_TRUE(loadFtf(setup.addressFile.c_str(), image));
    EXPECT_TRUE(cpg.parseAddressMap(image.data.data(), image.length));
    EXPECT_TRUE(loadFtf(setup.codeplugFile.c_str(), image));
    EXPECT_TRUE(cpg.parseCodeplug(image.data.data(), image.length));
    const CodeplugBlock& def = cpg.block(kBlockDef);
    return Bytes(def.data.begin(), def.data.begin() + def.capacity);
}

std::vector<Bytes> inRestoreOrder(const std::vector<Bytes>& contacts) {
    std::vector<Bytes> ordered;
    std::vector<int> groups(Personality::kRestoreOrder.begin(), Personality::kRestoreOrder.end());
    groups.push_back(Personality::kNoGroup);
    for (int group : groups) {
        for (const Bytes& contact : contacts) {
            if (Personality::contactGroup(contact) == group) {
                ordered.push_back(contact);
            }
        }
    }
    return ordered;
}

std::vector<int> numbersIn(const std::vector<ErrorRecord>& records) {
    static const std::wregex kNumber(L"\\(0x(0[0-9a-f]{2})\\)\\.$");
    std::vector<int> numbers;
    for (const ErrorRecord& record : records) {
        std::wsmatch match;
        if (std::regex_search(record.message, match, kNumber)) {
            numbers.push_back(std::stoi(match[1].str(), nullptr, 16));
        }
    }
    return numbers;
}

uint64_t FaultAim::byteInside(const RequestTarget& target) const {
    uint64_t offset = 0;
    int seen = 0;
    for (const Request& request : requests_) {
        if (target.matches(request) && ++seen == target.occurrence) {
            return offset + 1;
        }
        offset += request.frame.size();
    }
    ADD_FAILURE() << "the clean run sent no such request";
    return 0;
}

uint32_t FaultAim::replyTo(const RequestTarget& target) const {
    int seen = 0;
    for (size_t i = 0; i < requests_.size(); ++i) {
        if (target.matches(requests_[i]) && ++seen == target.occurrence) {
            return static_cast<uint32_t>(i + 1);
        }
    }
    ADD_FAILURE() << "the clean run sent no such request";
    return 0;
}

void pullAfter(SimRig& rig, uint64_t offset) {
    rig.faults().add({SimFaultKind::PullCable, static_cast<uint32_t>(rig.hostBytes() + offset), 0});
}

void dropReplies(SimRig& rig, uint32_t n) {
    // A fresh plan counts replies from here.
    rig.faults() = SimFaults();
    rig.faults().add({SimFaultKind::DropReply, n, 0});
    rig.faults().add({SimFaultKind::DropReply, n + 1, 0});
}

}  // namespace plugshift::test
