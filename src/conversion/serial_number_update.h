#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "tasks/command.h"
#include "tasks/message_target.h"

namespace plugshift {

class RadioInfo;
class SBEP;

// Writes a new serial number into the connected radio and has the radio back its factory block
// up. The SBEP layer records each failed request; this command adds a record of its own only when
// the radio's reset says it cannot take a new number, which is no failed request. The
// window gets kMsgCommandStarted and kMsgCommandEnded around every run, progress through
// progress().
//
// A stop (the engine's stop signal) ends the run at the end of its request only until the new
// number is sent. From then on the run goes to its end: a number without its factory-block backup
// would be undone by the next conversion, so stopping there would leave the radio worse off.
class SerialNumberUpdate : public Command {
public:
    static constexpr size_t kSerialRoom = 11;

    // How far the last run got, in the order of its requests.
    enum class Reached {
        Nothing,        // the new number was not sent
        SerialSent,     // the new number was sent, and the radio did not confirm it
        SerialWritten,  // the radio took the number; its factory block was not backed up
        BackedUp,       // the factory block holds the new number; the closing reset failed
        Done,
    };

    int32_t progressEnd = 0;
    int32_t progressSpan = 0;
    int32_t progressBase = 0;
    // Not owned.
    RadioInfo* radio = nullptr;
    std::shared_ptr<MessageTarget> window;
    // Zero-padded to the radio's serial-number length.
    std::array<uint8_t, kSerialRoom> newSerial{};
    Reached reached = Reached::Nothing;
    // The last run ended at the user's stop, before the new number was sent.
    bool stoppedBeforeWrite = false;

    // Zeroes newSerial over the radio's serial-number length and copies the number in; false,
    // with newSerial unchanged, without a radio or when the number is longer than that length.
    bool setNewSerial(std::string_view serial);

    bool run() override;
    // Position trunc(done / total x progressSpan) + progressBase to the window.
    void progress(uint32_t done, uint32_t total) override;

private:
    // The soft reset (which must allow the update) and the SBEP test mode.
    bool prepare(SBEP& sbep);
    // updateSN, the factory block's backup and the closing reset, none of them stopped.
    void write(SBEP& sbep);
    void postToWindow(uint32_t id);
    // The radio's serial-number length, bounded by newSerial.
    size_t serialLength() const;
};

}  // namespace plugshift
