#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "radio/usb_serial.h"
#include "tasks/event.h"
#include "tasks/radio_info.h"

namespace plugshift {

class D2xx;

// Watches for programming cables and owns the radio record. Once its window is bound, a poll
// thread counts the cables about once a second and notifies that window (kMsgCableState, lParam =
// cables, plus one while a radio port is open); the manager passes the notice on to its
// listeners. The poll only enumerates: it never opens, reads or writes the device. Everything but
// the poll belongs to the user-interface thread.
class RadioManager : public Event {
public:
    static constexpr std::chrono::milliseconds kPollInterval{1000};

    // driver must outlive the manager. pollInterval is the wait before each count.
    explicit RadioManager(D2xx& driver, std::chrono::milliseconds pollInterval = kPollInterval,
                          USBSerial::Sleeper sleeper = {});
    // Stops the poll thread if it still runs.
    ~RadioManager() override;

    // Binds the window and, the first time one is bound, starts polling.
    std::shared_ptr<MessageTarget> createEventWindow(
        std::shared_ptr<MessageTarget> window) override;
    // Passes the cable notice on to the listeners.
    intptr_t handleMessage(const Message& message) override;

    // A paused poll counts nothing and sends nothing until it is resumed. Any thread may call them.
    void pausePolling();
    void resumePolling();
    // Ends polling and waits for the poll thread; at program exit.
    void stop();

    // Closes an open radio port (true when that worked or nothing was open); with reconnect,
    // then connects to the first programming cable, and returns whether that worked.
    bool connect(bool reconnect);
    // Devices of any kind that the driver sees.
    int deviceCount();

    RadioInfo& radioInfo() { return radioInfo_; }
    // The index the last connect found; -1 before.
    int cableIndex() const { return cableIndex_; }
    // The count of the last poll.
    uint8_t cableCount() const { return cableCount_.load(std::memory_order_relaxed); }

private:
    void pollLoop();
    // Waits one interval, and longer while paused; false once stopping.
    bool waitForNextPoll();
    void pollOnce();

    RadioInfo radioInfo_;
    int cableIndex_ = -1;
    std::atomic<uint8_t> cableCount_{0};
    const std::chrono::milliseconds pollInterval_;
    // What the poll thread sends to; set before the thread starts and not changed after.
    std::shared_ptr<MessageTarget> notifyWindow_;

    std::mutex pollLock_;  // guards stopping_ and polling_
    std::condition_variable pollWake_;
    bool stopping_ = false;
    bool polling_ = true;
    std::thread pollThread_;
};

}  // namespace plugshift
