#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "radio/usb_serial.h"

namespace plugshift {

class D2xx;
class FrameRing;
class SBEP;
class CodeplugImage;
class Flash;

// The radio side of the program: the cable port, the SBEP engine on it with its trace ring, the
// flash-block table and the flash buffer, the connection flags and the identity of the connected
// radio. The identity fields keep the values of the last successful reads; infoValid says whether
// the last read was complete. The poll thread reads isConnected; everything else belongs to one
// thread at a time.
class RadioInfo {
public:
    static constexpr size_t kModelSize = 11;
    static constexpr size_t kSerialSize = 11;
    static constexpr size_t kVersionSize = 4;
    static constexpr size_t kUserPrivateIdSize = 12;
    // The id is the big-endian number in its first bytes.
    static constexpr size_t kUserPrivateIdNumberSize = 8;
    // Region codes from here on mean that none is known.
    static constexpr uint8_t kFirstUnknownRegion = 0x80;
    static constexpr uint8_t kNoRegion = 0xFF;
    // What a successful model read sets the region code to.
    static constexpr uint8_t kModelReadRegion = 1;
    // Line set-up of a connection: the cable-mode probe runs at the odd rate, traffic at the other.
    static constexpr uint32_t kReadTimeoutMs = 250;
    static constexpr uint32_t kWriteTimeoutMs = 300;
    // Every item reply starts with two bytes that are not part of the value.
    static constexpr int kReplyHeadSize = 2;

    using Model = std::array<uint8_t, kModelSize>;
    using Version = std::array<uint8_t, kVersionSize>;

    // driver is the cable backend (a real tty, the simulated radio, a test's fake); it must
    // outlive the record. A part that cannot be allocated stays null and the rest is usable.
    explicit RadioInfo(D2xx& driver, USBSerial::Sleeper sleeper = {});
    // Closes an open port.
    virtual ~RadioInfo();
    RadioInfo(const RadioInfo&) = delete;
    RadioInfo& operator=(const RadioInfo&) = delete;

    // Opens the cable at the D2XX index and sets the line up: 16406 baud, 8N1, no flow control,
    // 250/300 ms time-outs, the cable-mode probe (which tells the engine whether the cable
    // echoes), 57600 baud. An open port is closed first. A set-up step that fails closes the
    // port again and returns false. The trace ring starts empty, so it holds one connection's
    // frames.
    bool connectPort(int index);
    // Closes the port; the flags are cleared even when the close fails. true when the close
    // succeeded or nothing was open.
    bool disconnect();
    // The cable-mode probe at its own rate, then back to 57600 baud: SBEP::kCableDigital,
    // kCableEcho or kCableUnsupported. A failure to set a rate is recorded and does not stop it.
    int probeCable();
    // Reads items 0, 3, 8, 4, 1 and the user private id in that order and returns infoValid.
    // The model read alone sets the region code. The first read that fails, or whose reply does
    // not fit its field, ends the identity read there: the fields read before it keep their new
    // values, the others their earlier ones.
    bool readIdentity();
    // Reads the serial number alone (item 1), up to `attempts` times: all that recognises a
    // radio that a broken conversion may have left unable to answer its other items. The other
    // fields are cleared, so nothing of an earlier radio passes for this one's; infoValid stays
    // false. The records of failed attempts stay in the chain.
    bool readSerialNumber(int attempts);

    // The text forms: no value when the data does not qualify. An empty text is possible and
    // shows as "N/A" like no text; an erased value (see isErased) has an empty text.
    static std::optional<std::wstring> regionText(uint8_t regionCode);
    static std::optional<std::wstring> modelText(std::span<const uint8_t> model);
    // The stored form of a model number modelText reads back (digits as their values); nothing
    // for a text longer than the field or with other characters.
    static std::optional<Model> modelFromText(std::wstring_view text);
    static std::optional<std::wstring> serialText(std::span<const uint8_t> serial);
    static std::optional<std::wstring> versionText(std::span<const uint8_t> version);
    static std::optional<std::wstring> userPrivateIdText(std::span<const uint8_t> id);
    // Whether every byte is 0xFF, as erased flash reads: a radio whose conversion stopped
    // half-way may answer so.
    static bool isErased(std::span<const uint8_t> value);
    // Whether the first ten characters have the shape of a serial number.
    static bool isSerialFormat(std::wstring_view text);

    uint8_t regionCode() const { return regionCode_; }
    const Model& model() const { return model_; }
    const std::array<uint8_t, kSerialSize>& serialNumber() const { return serialNumber_; }
    int serialLength() const { return serialLength_; }
    // The valid bytes of the serial number.
    std::span<const uint8_t> serialValue() const;
    // The model and serial number as text; empty when the radio gave none that qualifies.
    std::wstring modelNumber() const;
    std::wstring serialNumberText() const;
    const Version& firmwareVersion() const { return firmwareVersion_; }
    const Version& codeplugVersion() const { return codeplugVersion_; }
    const Version& keypadVersion() const { return keypadVersion_; }
    const std::array<uint8_t, kUserPrivateIdSize>& userPrivateId() const { return userPrivateId_; }
    int portIndex() const { return portIndex_; }
    bool isConnected() const { return connected_.load(std::memory_order_acquire); }
    bool infoValid() const { return infoValid_; }

    USBSerial* port() { return port_.get(); }
    SBEP* sbep() { return sbep_.get(); }
    // The last frames of the engine, always recorded; null only when it could not be allocated.
    const FrameRing* frameRing() const { return frameRing_.get(); }
    CodeplugImage* cpg() { return cpg_.get(); }
    Flash* flash() { return flash_.get(); }

private:
    // A fixed field takes exactly its width of a value, a variable one the whole value.
    enum class Width { kFixed, kVariable };

    // One identity item into its field; false ends the identity read.
    bool readItem(uint8_t item, std::span<uint8_t> field, Width width, int* length = nullptr);
    bool readUserPrivateId();
    // Whether the value of a reply of result data bytes suits its field; records why not.
    static bool fits(int result, size_t fieldSize, Width width, const std::wstring& source);
    void clearConnection();

    uint8_t regionCode_ = kNoRegion;
    std::array<uint8_t, kSerialSize> serialNumber_{};
    Model model_{};
    Version firmwareVersion_{};
    Version codeplugVersion_{};
    std::array<uint8_t, kUserPrivateIdSize> userPrivateId_{};
    Version keypadVersion_{};
    int serialLength_ = static_cast<int>(kSerialSize);
    int portIndex_ = -1;
    std::atomic<bool> connected_{false};
    bool infoValid_ = false;
    std::unique_ptr<USBSerial> port_;
    std::unique_ptr<FrameRing> frameRing_;  // before the engine, which points at it
    std::unique_ptr<SBEP> sbep_;
    std::unique_ptr<CodeplugImage> cpg_;
    std::unique_ptr<Flash> flash_;
};

}  // namespace plugshift
