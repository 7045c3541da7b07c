#include "conversion/conversion_command.h"

#include <algorithm>
#include <cstdarg>
#include <thread>

#include "conversion/conversion_messages.h"
#include "conversion/flash_layout.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "formats/codeplug_image.h"
#include "radio/sbep.h"
#include "radio/sbep_protocol.h"
#include "tasks/messages.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace text = conversion_text;

namespace {

void realSleep(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

// The last position stays on screen this long before the bar goes back to 0.
constexpr std::chrono::milliseconds kFinalProgressWait{100};
// The master reset's reply lands in a zero-filled buffer as large as a contact frame.
constexpr size_t kMasterResetReplySize = sbep::kContactFrameCapacity;
// A contact write's frame around the contact: start, opcode, two length bytes, the sub-request
// and the checksum of a long frame, and the three header bytes before the contact.
constexpr size_t kLongFrameFraming = 6;
constexpr size_t kContactWriteHeader = 3;

}  // namespace

ConversionCommand::ConversionCommand() : sleeper_(realSleep) {}

void ConversionCommand::setSleeper(Sleeper sleeper) {
    sleeper_ = sleeper ? std::move(sleeper) : Sleeper(realSleep);
}

void ConversionCommand::beginRun(const wchar_t* stepText) {
    ok = true;
    stepText_ = stepText;
    response_.assign(kResponseSize, 0);
    lastOpc_ = 0;
    flashType_ = 0;
    startPos_ = progressPos;
    int weights = 0;
    for (int step : steps_) {
        if (step >= 0 && step < static_cast<int>(kProgressWeights.size())) {
            weights += kProgressWeights[step];
        }
    }
    if (weights != 0) {
        progressScale = static_cast<float>(progressEnd - progressPos) / static_cast<float>(weights);
    }
    postToWindow(kMsgCommandStarted);
}

bool ConversionCommand::endRun() {
    progressPos = progressEnd + startPos_;
    notifyProgress(progressPos);
    wait(kFinalProgressWait);
    notifyProgress(0);
    postToWindow(kMsgCommandEnded);
    std::vector<uint8_t>().swap(response_);
    steps_.clear();
    if (!ok) {
        // Literal text, never a format.
        ErrorChain::add(kErrorUpdate, L"%ls", stepText_.c_str());
    }
    return ok;
}

bool ConversionCommand::portConnected() const {
    return radio != nullptr && radio->isConnected() && radio->sbep() != nullptr;
}

SBEP& ConversionCommand::sbep() {
    return *radio->sbep();
}

void ConversionCommand::fail(int category, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const std::wstring message = vformatWide(format, args);
    va_end(args);
    ErrorChain::add(category, L"%ls", message.c_str());
    ok = false;
}

void ConversionCommand::wait(std::chrono::milliseconds duration) {
    sleeper_(duration);
}

int32_t ConversionCommand::share(int step) const {
    if (!steps_.contains(step) || step < 0 || step >= static_cast<int>(kProgressWeights.size())) {
        return 0;
    }
    return static_cast<int32_t>(static_cast<float>(kProgressWeights[step]) * progressScale);
}

void ConversionCommand::reportUnit(int step, uint64_t done, uint64_t total) {
    if (total == 0) {
        return;
    }
    // Exact integer form of trunc(done / total x share).
    const auto part =
        static_cast<int64_t>(std::min(done, total)) * share(step) / static_cast<int64_t>(total);
    notifyProgress(static_cast<int32_t>(part) + progressPos);
}

void ConversionCommand::notifyProgress(int32_t position) {
    if (window && window->isAlive()) {
        window->sendNotify(kMsgProgress, static_cast<uintptr_t>(position), 0);
    }
}

void ConversionCommand::postToWindow(uint32_t id) {
    if (window && window->isAlive()) {
        window->post(id, 0, 0);
    }
}

void ConversionCommand::enterSbepTestMode() {
    if (!ok) {
        return;
    }
    if (sbep().requestTestMode(sbep::kTestModeSbep, kNoTestModeParameters, lastOpc_, response_) <
        0) {
        fail(kErrorUpdate, text::kSbepTestMode);
    }
}

void ConversionCommand::restoreBlocks(Personality& kept) {
    for (KeptBlock& block : kept.blocks) {
        if (!ok) {
            break;
        }
        const uint64_t chunks = chunksOf(block.data.size(), sbep::kMaxPayload);
        uint64_t done = 0;
        uint32_t address = block.address;
        for (size_t offset = 0; offset < block.data.size();) {
            const size_t chunk = std::min<size_t>(block.data.size() - offset, sbep::kMaxPayload);
            uint32_t echoed = address;
            if (sbep().memWrite(std::span(block.data).subspan(offset, chunk), echoed, lastOpc_,
                                response_) < 0) {
                fail(kErrorUpdate, text::kMemWrite, CodeplugImage::blockName(block.kind));
                break;
            }
            offset += chunk;
            address += static_cast<uint32_t>(chunk);
            reportUnit(kStepRestoreUserInfo, ++done, chunks);
        }
        std::vector<uint8_t>().swap(block.data);
    }
    kept.blocks.clear();
}

void ConversionCommand::restoreContacts(const Personality& kept) {
    const size_t total = kept.contactCount();
    if (total == 0) {
        return;
    }
    size_t counter = 1;
    std::vector<uint8_t> request;
    for (const auto* group : kept.restoreGroups()) {
        for (const Personality::Contact& contact : *group) {
            // A zero byte, the contact's number and the total, both cut to their low 8 bits.
            request.assign({0x00, static_cast<uint8_t>(counter), static_cast<uint8_t>(total)});
            request.insert(request.end(), contact.begin(), contact.end());
            const int result =
                sbep().contactCommand(sbep::kContactWrite, request, lastOpc_, response_);
            ++counter;
            reportUnit(kStepRestoreContacts, counter - 1, total);
            if (result < 0) {
                // The rest of this group is skipped; the next group is still tried.
                fail(kErrorUpdate, text::kContactWrite, static_cast<int>(counter));
                break;
            }
        }
    }
    std::array<uint8_t, kMasterResetReplySize> reply{};
    if (sbep().performMasterReset(lastOpc_, reply) < 0) {
        fail(kErrorUpdate, text::kMasterReset);
    }
}

size_t ConversionCommand::longestContactWrite() {
    const auto frame =
        static_cast<size_t>(std::min(sbep().maxPayload(), sbep::kContactFrameCapacity));
    return frame > kLongFrameFraming + kContactWriteHeader
               ? frame - kLongFrameFraming - kContactWriteHeader
               : 0;
}

void ConversionCommand::returnToNormalMode(bool learnFlashType) {
    if (!ok) {
        return;
    }
    const int flashMode =
        sbep().requestTestMode(sbep::kTestModeFlash, kNoTestModeParameters, lastOpc_, response_);
    if (learnFlashType) {
        flashType_ = response_[1];
    }
    if (flashMode < 0) {
        fail(kErrorUpdate, text::kNormalFlashTestMode, static_cast<int>(sbep::kTestModeFlash));
        return;
    }
    const uint16_t mode = FlashLayout::endProtectionMode(flashType_);
    if (sbep().requestProtectionMode(mode, lastOpc_, response_) < 0) {
        fail(kErrorUpdate, text::kNormalProtection, static_cast<int>(mode));
        return;
    }
    if (sbep().setRadioBaudRate(0, lastOpc_, response_) < 0) {
        fail(kErrorUpdate, text::kNormalBaudRate, static_cast<int>(sbep::kRadioBaudRate));
        return;
    }
    if (sbep().resetDevice(sbep::kResetSoft, lastOpc_, response_) < 0) {
        fail(kErrorUpdate, text::kSoftReset);
    }
}

}  // namespace plugshift
