#include "tasks/radio_info.h"

#include <algorithm>
#include <cwctype>
#include <new>
#include <utility>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "formats/codeplug_image.h"
#include "formats/flash.h"
#include "radio/frame_ring.h"
#include "radio/sbep.h"
#include "radio/sbep_protocol.h"

namespace plugshift {

namespace {

// A part that cannot be allocated is left out; the record stays usable without it.
template <class T, class... Args>
std::unique_ptr<T> tryMake(Args&&... args) {
    try {
        return std::make_unique<T>(std::forward<Args>(args)...);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool isAsciiLetter(uint8_t byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

bool isUpper(wchar_t c) {
    return c >= L'A' && c <= L'Z';
}

// Letters a serial number leaves out where they could be read as digits.
bool isSerialLetter(wchar_t c, bool allowI) {
    return isUpper(c) && c != L'O' && (allowI || c != L'I');
}

// Copies the value into the field and zeroes the rest, so the field holds only what was read.
void store(std::span<uint8_t> field, std::span<const uint8_t> value) {
    const auto end = std::copy(value.begin(), value.end(), field.begin());
    std::fill(end, field.end(), 0);
}

// Model numbers, versions and serial numbers arrive as text; a C string ends at its NUL.
constexpr uint8_t kTextEnd = 0;
constexpr uint8_t kErasedByte = 0xFF;

}  // namespace

RadioInfo::RadioInfo(D2xx& driver, USBSerial::Sleeper sleeper)
    : port_(tryMake<USBSerial>(driver, std::move(sleeper))),
      frameRing_(tryMake<FrameRing>()),
      sbep_(tryMake<SBEP>(port_.get())),
      cpg_(tryMake<CodeplugImage>()),
      flash_(tryMake<Flash>()) {
    if (sbep_ != nullptr) {
        sbep_->setFrameRing(frameRing_.get());
    }
}

RadioInfo::~RadioInfo() {
    disconnect();
}

std::wstring RadioInfo::modelNumber() const {
    return modelText(model_).value_or(std::wstring());
}

std::wstring RadioInfo::serialNumberText() const {
    return serialText(serialValue()).value_or(std::wstring());
}

std::span<const uint8_t> RadioInfo::serialValue() const {
    return std::span(serialNumber_).first(static_cast<size_t>(serialLength_));
}

void RadioInfo::clearConnection() {
    connected_.store(false, std::memory_order_release);
    infoValid_ = false;
    portIndex_ = -1;
}

bool RadioInfo::disconnect() {
    // A port whose earlier close failed is still open and is tried again.
    const bool closed = port_ == nullptr || !port_->isOpen() || port_->close();
    clearConnection();
    return closed;
}

bool RadioInfo::connectPort(int index) {
    if (isConnected()) {
        disconnect();
    }
    if (frameRing_ != nullptr) {
        frameRing_->clear();
    }
    if (port_ == nullptr || sbep_ == nullptr || !port_->open(index)) {
        return false;
    }
    // A half set-up line is of no use to anyone and would keep the device busy.
    if (!port_->setBaudRate(sbep::kProbeBaudRate) || !port_->setDataCharacteristics() ||
        !port_->setFlowControl() || !port_->setTimeouts(kReadTimeoutMs, kWriteTimeoutMs)) {
        port_->close();
        return false;
    }
    // Tells the engine whether the cable echoes; the caller probes again to judge the mode.
    sbep_->probeCableMode();
    port_->setBaudRate(sbep::kRadioBaudRate);
    portIndex_ = index;
    connected_.store(true, std::memory_order_release);
    return true;
}

int RadioInfo::probeCable() {
    if (port_ == nullptr || sbep_ == nullptr) {
        return SBEP::kCableUnsupported;
    }
    port_->setBaudRate(sbep::kProbeBaudRate);
    const int mode = sbep_->probeCableMode();
    port_->setBaudRate(sbep::kRadioBaudRate);
    return mode;
}

bool RadioInfo::readIdentity() {
    infoValid_ = isConnected() && sbep_ != nullptr;
    if (!infoValid_) {
        return false;
    }
    if (!readItem(sbep::kItemModel, model_, Width::kFixed)) {
        infoValid_ = false;
        return false;
    }
    regionCode_ = kModelReadRegion;
    infoValid_ =
        readItem(sbep::kItemFirmwareVersion, firmwareVersion_, Width::kFixed) &&
        readItem(sbep::kItemKeypadVersion, keypadVersion_, Width::kFixed) &&
        readItem(sbep::kItemCodeplugVersion, codeplugVersion_, Width::kFixed) &&
        readItem(sbep::kItemSerialNumber, serialNumber_, Width::kVariable, &serialLength_) &&
        readUserPrivateId();
    return infoValid_;
}

bool RadioInfo::readSerialNumber(int attempts) {
    infoValid_ = false;
    regionCode_ = kNoRegion;
    model_ = {};
    firmwareVersion_ = {};
    keypadVersion_ = {};
    codeplugVersion_ = {};
    userPrivateId_ = {};
    serialNumber_ = {};
    serialLength_ = 0;
    if (!isConnected() || sbep_ == nullptr) {
        return false;
    }
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (readItem(sbep::kItemSerialNumber, serialNumber_, Width::kVariable, &serialLength_)) {
            return true;
        }
    }
    serialLength_ = 0;
    return false;
}

// A fixed field takes exactly its width, as the radio's items are defined; bytes beyond it are
// the radio's own and are not looked at. Either way a value that would leave the field short or
// overrun it is refused, so nothing is copied from beyond what the radio sent or past the field.
bool RadioInfo::fits(int result, size_t fieldSize, Width width, const std::wstring& source) {
    if (result < kReplyHeadSize) {
        ErrorChain::add(kErrorSbep, L"Error:the reply to %ls has %d data bytes, no value.",
                        source.c_str(), result);
        return false;
    }
    const auto value = static_cast<size_t>(result - kReplyHeadSize);
    if (width == Width::kVariable ? value > fieldSize : value < fieldSize) {
        ErrorChain::add(kErrorSbep,
                        L"Error:the value of %ls has %d bytes; its field holds %d bytes.",
                        source.c_str(), static_cast<int>(value), static_cast<int>(fieldSize));
        return false;
    }
    return true;
}

bool RadioInfo::readItem(uint8_t item, std::span<uint8_t> field, Width width, int* length) {
    std::array<uint8_t, sbep::kMaxReplyData> reply{};
    uint8_t lastOpc = 0;
    const int result = sbep_->readRadioItem(item, lastOpc, reply);
    if (result < 0) {
        // The item read itself records nothing; without this the chain would not say what failed.
        ErrorChain::add(kErrorSbep, L"Error:failed to read radio item %d.", static_cast<int>(item));
        return false;
    }
    if (!fits(result, field.size(), width, formatWide(L"radio item %d", item))) {
        return false;
    }
    const size_t size =
        width == Width::kVariable ? static_cast<size_t>(result - kReplyHeadSize) : field.size();
    store(field, std::span(reply).subspan(kReplyHeadSize, size));
    if (length != nullptr) {
        *length = static_cast<int>(size);
    }
    return true;
}

bool RadioInfo::readUserPrivateId() {
    std::array<uint8_t, sbep::kMaxReplyData> reply{};
    uint8_t lastOpc = 0;
    const int result = sbep_->softpotRead(lastOpc, reply);
    if (result <= 0 ||
        !fits(result, userPrivateId_.size(), Width::kVariable, L"the softpot read")) {
        return false;
    }
    store(userPrivateId_,
          std::span(reply).subspan(kReplyHeadSize, static_cast<size_t>(result - kReplyHeadSize)));
    return true;
}

std::optional<std::wstring> RadioInfo::regionText(uint8_t regionCode) {
    if (regionCode >= kFirstUnknownRegion) {
        return std::nullopt;
    }
    return formatWide(L"%02d", static_cast<int>(regionCode));
}

// Values 0..15 stand for the digits (and the six characters after '9'); letters are themselves;
// anything else ends the model number.
std::optional<std::wstring> RadioInfo::modelText(std::span<const uint8_t> model) {
    constexpr uint8_t kLastDigitValue = 15;
    if (model.size() < kModelSize) {
        return std::nullopt;
    }
    std::wstring text;
    for (uint8_t byte : model.first(kModelSize)) {
        if (byte <= kLastDigitValue) {
            text += static_cast<wchar_t>(L'0' + byte);
        } else if (isAsciiLetter(byte)) {
            text += static_cast<wchar_t>(byte);
        } else {
            break;
        }
    }
    return text;
}

std::optional<RadioInfo::Model> RadioInfo::modelFromText(std::wstring_view text) {
    if (text.size() > kModelSize) {
        return std::nullopt;
    }
    Model model;
    model.fill(kErasedByte);  // past the text: erased, which ends the model
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c >= L'0' && c <= L'9') {
            model[i] = static_cast<uint8_t>(c - L'0');
        } else if (c < 0x80 && isAsciiLetter(static_cast<uint8_t>(c))) {
            model[i] = static_cast<uint8_t>(c);
        } else {
            return std::nullopt;
        }
    }
    return model;
}

std::optional<std::wstring> RadioInfo::serialText(std::span<const uint8_t> serial) {
    if (serial.size() > kSerialSize) {
        return std::nullopt;
    }
    std::wstring text;
    if (isErased(serial)) {
        return text;
    }
    for (uint8_t byte : serial) {
        if (byte == kTextEnd) {
            break;
        }
        text += static_cast<wchar_t>(byte);
    }
    return text;
}

// A letter and three numbers: r, 1, 2, 30 gives R01.02.30.
std::optional<std::wstring> RadioInfo::versionText(std::span<const uint8_t> version) {
    if (version.size() < kVersionSize) {
        return std::nullopt;
    }
    if (version[0] == kTextEnd || isErased(version.first(kVersionSize))) {
        return std::wstring();
    }
    std::wstring text = formatWide(L"%lc%02d.%02d.%02d", static_cast<wint_t>(version[0]),
                                   static_cast<int>(version[1]), static_cast<int>(version[2]),
                                   static_cast<int>(version[3]));
    text[0] = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(text[0])));
    return text;
}

// The first eight bytes as one big-endian number; all zero means no id is set.
std::optional<std::wstring> RadioInfo::userPrivateIdText(std::span<const uint8_t> id) {
    if (id.size() < kUserPrivateIdNumberSize) {
        return std::nullopt;
    }
    if (isErased(id.first(kUserPrivateIdNumberSize))) {
        return std::wstring();
    }
    uint64_t number = 0;
    for (uint8_t byte : id.first(kUserPrivateIdNumberSize)) {
        number = (number << 8) | byte;
    }
    if (number == 0) {
        return std::nullopt;
    }
    return formatWide(L"%llu", static_cast<unsigned long long>(number));
}

bool RadioInfo::isErased(std::span<const uint8_t> value) {
    return !value.empty() &&
           std::all_of(value.begin(), value.end(), [](uint8_t b) { return b == kErasedByte; });
}

// Three digits, a digit or letter (no O), two letters (no I, O), two digits or letters (no I,
// O), two digits. Only the first ten characters are looked at.
bool RadioInfo::isSerialFormat(std::wstring_view text) {
    constexpr size_t kChecked = 10;
    if (text.size() < kChecked) {
        return false;
    }
    const auto digitOrLetter = [](wchar_t c, bool allowI) {
        return isDigit(c) || isSerialLetter(c, allowI);
    };
    return isDigit(text[0]) && isDigit(text[1]) && isDigit(text[2]) &&
           digitOrLetter(text[3], true) && isSerialLetter(text[4], false) &&
           isSerialLetter(text[5], false) && digitOrLetter(text[6], false) &&
           digitOrLetter(text[7], false) && isDigit(text[8]) && isDigit(text[9]);
}

}  // namespace plugshift
