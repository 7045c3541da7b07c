#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "tasks/command.h"
#include "tasks/message_target.h"

namespace plugshift {

class RadioInfo;

// Writes a new serial number into the connected radio and has the radio back its factory block
// up. The SBEP layer records each failed request; this command adds no record of its own. The
// window gets kMsgCommandStarted and kMsgCommandEnded around every run, progress through
// progress().
class SerialNumberUpdate : public Command {
public:
    static constexpr size_t kSerialRoom = 11;

    int32_t progressEnd = 0;
    int32_t progressSpan = 0;
    int32_t progressBase = 0;
    // Not owned.
    RadioInfo* radio = nullptr;
    std::shared_ptr<MessageTarget> window;
    // Zero-padded to the radio's serial-number length.
    std::array<uint8_t, kSerialRoom> newSerial{};

    // Zeroes newSerial over the radio's serial-number length and copies the number in; false,
    // with newSerial unchanged, without a radio or when the number is longer than that length.
    bool setNewSerial(std::string_view serial);

    bool run() override;
    // Position trunc(done / total x progressSpan) + progressBase to the window.
    void progress(uint32_t done, uint32_t total) override;

private:
    void postToWindow(uint32_t id);
    // The radio's serial-number length, bounded by newSerial.
    size_t serialLength() const;
};

}  // namespace plugshift
