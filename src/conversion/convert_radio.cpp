#include "conversion/convert_radio.h"

#include <algorithm>
#include <chrono>

#include "conversion/conversion_messages.h"
#include "conversion/conversion_record.h"
#include "conversion/flash_layout.h"
#include "conversion/personality_backup.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "formats/codeplug_image.h"
#include "formats/ftf_image.h"
#include "platform/system_files.h"
#include "radio/sbep.h"
#include "radio/sbep_protocol.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace text = conversion_text;
using std::chrono::milliseconds;

namespace {

// The radio needs these pauses around programming and resets before it takes the next request.
constexpr milliseconds kBeforeProgramming{100};
constexpr milliseconds kBeforeHardReset{200};
constexpr milliseconds kAfterHardReset{1000};
constexpr milliseconds kAfterBlockReset{100};

// Bits of the hard reset's status word.
constexpr uint16_t kStatusFactoryIntact = 0x40;
constexpr uint16_t kStatusDefaultDamaged = 0x280;

// A first contact reply counting more than this keeps nothing from index 0; past one more the
// reading stops there.
constexpr int kMaxContacts = 200;
constexpr size_t kContactDataOffset = 4;
constexpr size_t kContactCountByte = 3;

// The FLASH test mode's reply names the flash type in its second data byte.
constexpr size_t kFlashTypeByte = 1;
// Shown when the reply was too short to carry a type at all.
constexpr int kNoFlashType = -1;

int64_t nowMs() {
    return std::chrono::duration_cast<milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

bool ConvertRadio::setAddressFile(const wchar_t* path) {
    if (path == nullptr) {
        return false;
    }
    addressPath_ = path;
    return true;
}

bool ConvertRadio::setCodeplugFile(const wchar_t* path) {
    if (path == nullptr) {
        return false;
    }
    codeplugPath_ = path;
    return true;
}

void ConvertRadio::enableDefaultBlockUpdate() {
    flags_ |= kUpdateDefaultBlock;
    steps_.insert(kStepUpdateDefaultBlock);
}

void ConvertRadio::enableKeepSteps() {
    steps_.insert(kStepKeepUserInfo);
    steps_.insert(kStepRestoreUserInfo);
}

bool ConvertRadio::setBlocks(const BlockToKeep* blocks, uint8_t count) {
    if (blocks == nullptr) {
        return false;
    }
    blocks_.assign(blocks, blocks + count);
    return true;
}

void ConvertRadio::takePersonalityFrom(const PersonalityBackup& backup,
                                       std::filesystem::path path) {
    blocks_.clear();
    for (const KeptBlock& block : backup.personality.blocks) {
        blocks_.push_back(
            BlockToKeep{block.kind, block.address, static_cast<uint32_t>(block.data.size())});
    }
    keepPersonality = true;
    steps_.insert(kStepRestoreUserInfo);
    steps_.insert(kStepRestoreContacts);
    fromBackup_ = backup.personality;
    fromBackupPath_ = std::move(path);
}

ConvertRadio::PersonalitySource ConvertRadio::personalitySource() const {
    if (!keepPersonality) {
        return PersonalitySource::None;
    }
    if (!fromBackupPath_.empty()) {
        return PersonalitySource::Backup;
    }
    return resumeAt_ == ResumePoint::Start ? PersonalitySource::Radio : PersonalitySource::None;
}

bool ConvertRadio::run() {
    beginRun(text::kStepUpdate);
    lastBackupPath_.clear();
    statusWord_ = 0;
    backupNotSaved_ = false;
    kept_.clear();
    const bool recovering = fromBackup_.has_value();
    if (recovering) {
        kept_ = std::move(*fromBackup_);
        lastBackupPath_ = fromBackupPath_;
    }

    enterFlashTestMode();
    raiseBaudRate();
    loadAddressMap();
    checkBlocks();
    // Every file the run needs is whole before anything changes in the radio or the record.
    loadCodeplug();
    checkDefaultBlockFits();
    // Only a run from the start finds the owner's personality where it was.
    const bool readPersonality = !recovering && resumeAt_ == ResumePoint::Start;
    if (readPersonality) {
        keepUserInfo();
    }
    finishStep(kStepKeepUserInfo);
    if (readPersonality) {
        keepContacts();
    }
    finishStep(kStepKeepContacts);
    checkContactsFit();
    if (!ok) {
        kept_.clear();
    }
    if (!recovering) {
        saveBackup();
    }
    if (ok && updating() && beforeErase_ && !beforeErase_()) {
        fail(kErrorFile, ConversionRecord::kNotRecorded);
    }

    const bool fromStart = resumeAt_ == ResumePoint::Start;
    const bool rewriting = resumeAt_ != ResumePoint::NormalMode;
    if (rewriting) {
        enterUpdateProtection();
    }
    if (fromStart) {
        beginStep(RunStep::EraseDefaultBlock);
        eraseDefaultBlock();
        beginStep(RunStep::ProgramDefaultBlock);
        programDefaultBlock();
    }
    if (rewriting) {
        beginStep(RunStep::EraseDynamicBlock);
        eraseDynamicBlock();
    }
    finishStep(kStepUpdateDefaultBlock);
    if (rewriting) {
        beginStep(RunStep::HardReset);
    }
    finalize(rewriting);
    if (rewriting) {
        hardReset();
        if (updating() || keepPersonality) {
            enterSbepTestMode();
        }
        resetBlocks();
    }
    const bool restoring = rewriting && keepPersonality;
    if (ok && restoring) {
        beginStep(RunStep::RestorePersonality);
        setStepText(text::kStepRestoreUserInfo);
        restoreBlocks(kept_);
    }
    finishStep(kStepRestoreUserInfo);
    if (ok && restoring) {
        restoreContacts(kept_);
        noteRestored();
    }
    finishStep(kStepRestoreContacts);
    beginStep(RunStep::ReturnToNormalMode);
    returnToNormalMode(false);
    // A recovery wrote no backup to make room for, and its file may lie among the dealer's own.
    if (!recovering) {
        pruneOlderBackups();
    }

    flags_ = 0;
    resumeAt_ = ResumePoint::Start;
    kept_.clear();
    fromBackup_.reset();
    fromBackupPath_.clear();
    image_ = FtfImage{};
    return endRun();
}

void ConvertRadio::enterFlashTestMode() {
    layout_.reset();
    if (!portConnected()) {
        fail(kErrorProt, text::kNoPort);
        return;
    }
    // Only a reply that passed names the flash type: a byte a damaged or lost reply left behind
    // must never choose where the radio is erased.
    response()[kFlashTypeByte] = 0;
    const int result =
        sbep().requestTestMode(sbep::kTestModeFlash, kNoTestModeParameters, lastOpc(), response());
    if (result < 0) {
        fail(kErrorUpdate, text::kFlashTestMode, static_cast<int>(sbep::kTestModeFlash));
        return;
    }
    const int type =
        result > static_cast<int>(kFlashTypeByte) ? response()[kFlashTypeByte] : kNoFlashType;
    layout_ = FlashLayout::forType(type);
    if (!layout_) {
        fail(kErrorUpdate, text::kUnknownFlashType, type);
        return;
    }
    flashType_ = type;
    sbep().queryFlashMode(lastOpc(), response());
}

void ConvertRadio::raiseBaudRate() {
    if (ok && sbep().setRadioBaudRate(0, lastOpc(), response()) < 0) {
        fail(kErrorUpdate, text::kBaudRate, static_cast<int>(sbep::kRadioBaudRate));
    }
}

void ConvertRadio::loadAddressMap() {
    setStepText(text::kStepLoadAddressMap);
    if (!ok) {
        return;
    }
    CodeplugImage* cpg = radio->cpg();
    // The table outlives the run: a capacity an earlier radio's map lowered would cut this
    // radio's default block short, so every run lays the blocks out from its own map alone.
    if (cpg != nullptr) {
        cpg->restoreDefaultLayout();
    }
    const bool loaded = cpg != nullptr && loadFtf(addressPath_.c_str(), image_) &&
                        image_.length > 0 &&
                        cpg->parseAddressMap(image_.data.data(), image_.length);
    if (!loaded) {
        fail(kErrorIni, text::kAddressFile, addressPath_.c_str());
    }
}

void ConvertRadio::checkBlocks() {
    if (!ok) {
        return;
    }
    const CodeplugBlock& dyn = radio->cpg()->block(kBlockDyn);
    for (const BlockToKeep& wanted : blocks_) {
        if (wanted.kind != kBlockDyn) {
            continue;
        }
        const uint64_t end = uint64_t{wanted.address} + wanted.length;
        if (wanted.address < dyn.address || end > uint64_t{dyn.address} + dyn.capacity) {
            fail(kErrorIni, text::kBlockMismatch, CodeplugImage::blockName(wanted.kind));
            return;
        }
    }
}

void ConvertRadio::keepUserInfo() {
    if (!ok || !keepPersonality) {
        return;
    }
    setStepText(text::kStepKeepUserInfo);
    for (const BlockToKeep& wanted : blocks_) {
        if (!ok) {
            break;
        }
        if (wanted.kind != kBlockDyn) {
            continue;
        }
        KeptBlock& block = kept_.blocks.emplace_back(
            KeptBlock{wanted.kind, wanted.address, std::vector<uint8_t>(wanted.length)});
        const uint64_t chunks = chunksOf(wanted.length, sbep::kMaxPayload);
        uint64_t done = 0;
        uint32_t address = wanted.address;
        uint32_t remaining = wanted.length;
        while (remaining > 0) {
            const int n = static_cast<int>(std::min<uint32_t>(remaining, sbep::kMaxPayload));
            uint32_t asked = address;
            // The destination holds n bytes, so a reply with more is refused, not copied.
            const int result = sbep().memRead(n, asked, lastOpc(), response().first(n));
            if (result < 1) {
                fail(kErrorUpdate, text::kMemRead, CodeplugImage::blockName(wanted.kind));
                break;
            }
            std::copy_n(response().begin(), result,
                        block.data.begin() + (wanted.length - remaining));
            address += static_cast<uint32_t>(result);
            remaining -= static_cast<uint32_t>(result);
            reportUnit(kStepKeepUserInfo, ++done, chunks);
        }
    }
}

void ConvertRadio::keepContacts() {
    if (!ok || !keepPersonality) {
        return;
    }
    int index = 0;
    int count = 0;
    int total = 0;
    do {
        const std::array<uint8_t, 3> request = {0x00, static_cast<uint8_t>(index),
                                                static_cast<uint8_t>(count)};
        const int result =
            sbep().contactCommand(sbep::kContactRead, request, lastOpc(), response());
        ++index;
        // A reply too short for the count byte would leave an older reply's bytes to be read.
        if (result < static_cast<int>(kContactDataOffset)) {
            fail(kErrorUpdate, text::kContactRead, index);
            return;
        }
        count = response()[kContactCountByte];
        if (total == 0) {
            total = count;
        }
        const size_t length = static_cast<size_t>(result) - kContactDataOffset;
        keepContact(index - 1, count, response().subspan(kContactDataOffset, length));
        if (total != 0) {
            reportUnit(kStepKeepContacts, static_cast<uint64_t>(index),
                       static_cast<uint64_t>(total));
        }
    } while (count >= 1 && count <= kMaxContacts + 1 && index < count);
    // The owner asked to keep the contacts; erasing them unread would lose them for good.
    if (total > kMaxContacts + 1) {
        fail(kErrorUpdate, text::kTooManyContacts, total);
    }
}

void ConvertRadio::keepContact(int index, int count, std::span<const uint8_t> data) {
    // A first reply counting more than the radio can hold does not carry a contact.
    if (index == 0 && count > kMaxContacts) {
        return;
    }
    // A radio that reports fewer contacts than the index holds none there.
    if (index >= count) {
        return;
    }
    kept_.addContact(data);
}

void ConvertRadio::checkContactsFit() {
    if (!ok || !keepPersonality) {
        return;
    }
    const size_t longest = longestContactWrite();
    int number = 0;
    for (const auto* group : kept_.restoreGroups()) {
        for (const Personality::Contact& contact : *group) {
            ++number;
            if (contact.size() > longest) {
                fail(kErrorUpdate, text::kContactTooLong, number, static_cast<int>(contact.size()),
                     static_cast<int>(longest));
                return;
            }
        }
    }
}

void ConvertRadio::saveBackup() {
    if (!ok || !keepPersonality || kept_.empty()) {
        return;
    }
    if (backupFolder_.empty()) {
        ErrorChain::add(kErrorFile, L"Error:no folder is set for personality backups.");
        fail(kErrorFile, text::kBackupNotSaved, L"");
        backupNotSaved_ = true;
        return;
    }
    PersonalityBackup backup;
    const RadioInfo::Model& model = backupIdentity_ ? backupIdentity_->first : radio->model();
    backup.model.assign(model.begin(), model.end());
    const auto serial = radio->serialValue();
    backup.serial.assign(serial.begin(), serial.end());
    backup.codeplugVersion = backupIdentity_ ? backupIdentity_->second : radio->codeplugVersion();
    backup.createdAtMs = nowMs();
    backup.personality = kept_;
    std::filesystem::path written;
    if (!backup.save(backupFolder_, written)) {
        fail(kErrorFile, text::kBackupNotSaved, fromUtf8(utf8FromPath(backupFolder_)).c_str());
        backupNotSaved_ = true;
        return;
    }
    lastBackupPath_ = written;
}

void ConvertRadio::enterUpdateProtection() {
    if (!ok || !updating()) {
        return;
    }
    setStepText(text::kStepBeginUpdate);
    const uint16_t mode = FlashLayout::updateProtectionMode(flashType_);
    if (sbep().requestProtectionMode(mode, lastOpc(), response()) < 0) {
        fail(kErrorUpdate, text::kProtection, static_cast<int>(mode));
    }
}

void ConvertRadio::loadCodeplug() {
    if (!ok || !updating()) {
        return;
    }
    setStepText(text::kStepLoadCodeplug);
    CodeplugImage* cpg = radio->cpg();
    const bool loaded = cpg != nullptr && loadFtf(codeplugPath_.c_str(), image_) &&
                        image_.length > 0 && cpg->parseCodeplug(image_.data.data(), image_.length);
    if (!loaded) {
        fail(kErrorIni, text::kCodeplugFile, codeplugPath_.c_str());
    }
}

void ConvertRadio::checkDefaultBlockFits() {
    if (!ok || !updating()) {
        return;
    }
    const uint64_t start = layout_->defaultBlockAddress;
    const uint64_t end =
        start + chunksOf(radio->cpg()->block(kBlockDef).capacity, FlashLayout::kSectorSize) *
                    FlashLayout::kSectorSize;
    const uint64_t dynamic = layout_->dynamicEraseAddress;
    // The dynamic block's erase comes after programming: inside the default block's range it
    // would wipe what this run has just written.
    if (dynamic >= start && dynamic < end) {
        fail(kErrorUpdate, text::kDefaultBlockOverlaps, static_cast<int>(end - start),
             static_cast<int>(start), static_cast<int>(dynamic), flashType_);
    }
}

// No sector is programmed that this run did not see erased: each sector's erase must pass
// before the next is asked for, and any erase that does not pass (refused, unanswered, or, after
// a resend, answered twice in disagreement, which the engine reports as a failure) fails the run
// here, before the first program request.
void ConvertRadio::eraseDefaultBlock() {
    if (!ok || !updating()) {
        return;
    }
    // Named on the progress line at once: the erase itself reports no units.
    setStepText(text::kStepEraseDefault);
    reportUnit(kStepUpdateDefaultBlock, 0, 1);
    uint32_t address = layout_->defaultBlockAddress;
    const uint64_t sectors =
        chunksOf(radio->cpg()->block(kBlockDef).capacity, FlashLayout::kSectorSize);
    for (uint64_t i = 0; i < sectors; ++i) {
        // The engine has already sent it again; programming over what is left would give a
        // radio whose default block is neither the old one nor the new.
        if (sbep().eraseFlash(sbep::kEraseSector, address, lastOpc(), response()) < 0) {
            fail(kErrorUpdate, text::kEraseSector, static_cast<int>(address));
            return;
        }
        address += FlashLayout::kSectorSize;
    }
}

void ConvertRadio::programDefaultBlock() {
    if (!ok || !updating()) {
        return;
    }
    setStepText(text::kStepUpdateDefault);
    wait(kBeforeProgramming);
    const CodeplugBlock& block = radio->cpg()->block(kBlockDef);
    // The whole capacity, zero bytes included, whatever size the codeplug filled.
    const auto data =
        std::span(block.data).first(std::min<size_t>(block.capacity, block.data.size()));
    const uint64_t chunks = chunksOf(data.size(), FlashLayout::kSectorSize);
    uint64_t done = 0;
    uint32_t address = layout_->defaultBlockAddress;
    for (size_t offset = 0; offset < data.size();) {
        const size_t chunk = std::min<size_t>(data.size() - offset, FlashLayout::kSectorSize);
        if (sbep().writeFlash(data.subspan(offset, chunk), address, lastOpc(), response()) < 0) {
            fail(kErrorUpdate, text::kProgram, static_cast<int>(address));
            return;
        }
        offset += chunk;
        address += static_cast<uint32_t>(chunk);
        reportUnit(kStepUpdateDefaultBlock, ++done, chunks);
    }
}

void ConvertRadio::eraseDynamicBlock() {
    if (!ok) {
        return;
    }
    const uint32_t address = layout_->dynamicEraseAddress;
    setStepText(text::kStepEraseDynamic);
    reportUnit(kStepUpdateDefaultBlock, 1, 1);
    if (sbep().eraseFlash(sbep::kEraseDynamic, address, lastOpc(), response()) < 0) {
        fail(kErrorUpdate, text::kEraseDynamic);
    }
}

void ConvertRadio::beginStep(RunStep step) {
    if (!ok || !stepStarting_ || stepStarting_(step)) {
        return;
    }
    if (step == RunStep::EraseDefaultBlock) {
        fail(kErrorFile, ConversionRecord::kNotRecorded);
    } else {
        fail(kErrorFile, ConversionRecord::kStepNotRecorded, fromUtf8(runStepName(step)).c_str());
    }
}

void ConvertRadio::noteRestored() {
    if (ok && personalityBack_ && !personalityBack_()) {
        fail(kErrorFile, ConversionRecord::kStepNotRecorded,
             fromUtf8(runStepName(RunStep::ReturnToNormalMode)).c_str());
    }
}

void ConvertRadio::finalize(bool rewriting) {
    setStepText(text::kStepFinalize);
    statusWord_ = 0;
    if (ok && rewriting && sbep().setRadioBaudRate(1, lastOpc(), response()) < 0) {
        fail(kErrorUpdate, text::kFinalizeBaudRate, static_cast<int>(sbep::kRadioBaudRate));
    }
}

void ConvertRadio::hardReset() {
    if (!ok || !updating()) {
        return;
    }
    wait(kBeforeHardReset);
    // A reply without a status word must read as 0, not as the bytes of an older reply.
    response()[0] = 0;
    response()[1] = 0;
    if (sbep().resetDevice(sbep::kResetHard, lastOpc(), response()) < 0) {
        fail(kErrorUpdate, text::kHardReset);
        return;
    }
    statusWord_ = static_cast<uint16_t>(response()[0] << 8 | response()[1]);
    if ((statusWord_ & kStatusDefaultDamaged) != 0) {
        fail(kErrorUpdate, text::kDefaultCorrupted);
    }
    wait(kAfterHardReset);
}

void ConvertRadio::resetBlocks() {
    if (!ok || !updating()) {
        return;
    }
    if (sbep().softpotWrite(sbep::kSoftpotResetAllBlocks, 0, {}, lastOpc(), response()) < 0) {
        fail(kErrorUpdate, text::kResetBlocks);
    } else if ((statusWord_ & kStatusFactoryIntact) == 0 &&
               sbep().softpotWrite(sbep::kSoftpotRestoreFactory, 0, {}, lastOpc(), response()) <
                   0) {
        fail(kErrorUpdate, text::kRestoreFactory);
    }
    wait(kAfterBlockReset);
}

void ConvertRadio::pruneOlderBackups() {
    if (ok && !lastBackupPath_.empty()) {
        PersonalityBackup::prune(lastBackupPath_, PersonalityBackup::kKeptPerRadio);
    }
}

}  // namespace plugshift
