#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "conversion/personality.h"
#include "tasks/command.h"
#include "tasks/message_target.h"

namespace plugshift {

class RadioInfo;
class SBEP;

// The frame of a radio conversion: the radio and the window it reports
// to, the progress arithmetic over weighted steps, the waits, the working data of one run, and
// the steps that write a kept personality back into a radio. The window gets kMsgCommandStarted
// when a run starts, kMsgProgress (wParam = position) as it goes, and kMsgCommandEnded at its
// end; each only while the window is still alive.
class ConversionCommand : public Command {
public:
    using Sleeper = std::function<void(std::chrono::milliseconds)>;

    // Progress weight of each step number; the commands enable some of them for a run.
    static constexpr std::array<int, 12> kProgressWeights = {1, 1, 1, 10, 1, 5, 1, 1, 4, 1, 1, 1};
    static constexpr int kStepKeepUserInfo = 1;
    static constexpr int kStepKeepContacts = 2;
    static constexpr int kStepUpdateDefaultBlock = 6;
    static constexpr int kStepRestoreUserInfo = 9;
    static constexpr int kStepRestoreContacts = 10;

    // Not owned. Gives the connection flag, the SBEP engine and the flash-block table.
    RadioInfo* radio = nullptr;
    std::shared_ptr<MessageTarget> window;
    // The progress range of the next run: positions go from progressPos to progressEnd + the
    // progressPos it started with, then back to 0. progressScale is recomputed by each run.
    int32_t progressEnd = 100;
    int32_t progressPos = 0;
    float progressScale = 1.0f;

    // The fixed waits (for the radio to settle around programming and resets) go through this;
    // tests give one that does not sleep. Empty restores the real sleep.
    void setSleeper(Sleeper sleeper);

    // The steps enabled for the next run; every run empties the set at its end.
    const std::set<int>& steps() const { return steps_; }
    // The step in progress, or the last one a run reached.
    const std::wstring& stepText() const { return stepText_; }

protected:
    // Replies of up to a whole flash frame fit.
    static constexpr size_t kResponseSize = 4109;
    static constexpr std::array<uint8_t, 2> kNoTestModeParameters = {0, 0};

    ConversionCommand();

    // ok = true, the first step text, a zeroed response buffer, the progress scale from the
    // enabled steps, kMsgCommandStarted.
    void beginRun(const wchar_t* stepText);
    // The progress to its end and back to 0, kMsgCommandEnded, the working data released and the
    // steps cleared; a failed run gets its step text as its last record. Returns ok.
    bool endRun();

    // A radio on an open port with its engine.
    bool portConnected() const;
    SBEP& sbep();
    std::span<uint8_t> response() { return response_; }
    uint8_t& lastOpc() { return lastOpc_; }
    void setStepText(const wchar_t* text) { stepText_ = text; }
    // Appends the record (printf-style) and sets ok = false.
    void fail(int category, const wchar_t* format, ...);
    void wait(std::chrono::milliseconds duration);

    // How many pieces of at most `chunk` bytes carry `length` bytes.
    static uint64_t chunksOf(uint64_t length, uint64_t chunk) {
        return (length + chunk - 1) / chunk;
    }

    // trunc(weight x scale) for an enabled step, 0 otherwise.
    int32_t share(int step) const;
    // Reports unit `done` of `total` inside a step.
    void reportUnit(int step, uint64_t done, uint64_t total);
    // Moves the progress base past a step, whether it ran or not.
    void finishStep(int step) { progressPos += share(step); }

    // The restore steps. Each does nothing once ok is false.
    void enterSbepTestMode();
    // Writes every kept DYN block back where it was read from and frees it.
    void restoreBlocks(Personality& kept);
    // Writes the contacts group by group in restore order, then the master reset that makes the
    // radio take them.
    void restoreContacts(const Personality& kept);
    // The longest contact one contact write carries back on this radio's engine.
    size_t longestContactWrite();
    // FLASH test mode, the end protection mode, 57600 baud, soft reset. With learnFlashType the
    // test-mode reply tells the flash type (a run that has not asked before).
    void returnToNormalMode(bool learnFlashType);

    std::set<int> steps_;
    // Byte 1 of the reply to the run's first FLASH test-mode request.
    int flashType_ = 0;

private:
    void notifyProgress(int32_t position);
    void postToWindow(uint32_t id);

    Sleeper sleeper_;
    std::vector<uint8_t> response_;
    uint8_t lastOpc_ = 0;
    std::wstring stepText_;
    int32_t startPos_ = 0;
};

}  // namespace plugshift
