#include "tasks/radio_manager.h"

#include <utility>

#include "tasks/messages.h"

namespace plugshift {

RadioManager::RadioManager(D2xx& driver, std::chrono::milliseconds pollInterval,
                           USBSerial::Sleeper sleeper)
    : radioInfo_(driver, std::move(sleeper)), pollInterval_(pollInterval) {}

RadioManager::~RadioManager() {
    stop();
}

std::shared_ptr<MessageTarget> RadioManager::createEventWindow(
    std::shared_ptr<MessageTarget> window) {
    auto bound = Event::createEventWindow(std::move(window));
    if (bound && !pollThread_.joinable()) {
        notifyWindow_ = bound;
        pollThread_ = std::thread(&RadioManager::pollLoop, this);
    }
    return bound;
}

intptr_t RadioManager::handleMessage(const Message& message) {
    if (message.id == kMsgCableState) {
        postToListeners(kMsgCableState, 0, message.lParam);
    }
    return 0;
}

void RadioManager::pausePolling() {
    std::lock_guard guard(pollLock_);
    polling_ = false;
}

void RadioManager::resumePolling() {
    {
        std::lock_guard guard(pollLock_);
        polling_ = true;
    }
    pollWake_.notify_all();
}

void RadioManager::stop() {
    {
        std::lock_guard guard(pollLock_);
        stopping_ = true;
    }
    pollWake_.notify_all();
    if (pollThread_.joinable()) {
        pollThread_.join();
    }
}

void RadioManager::pollLoop() {
    while (waitForNextPoll()) {
        pollOnce();
    }
}

bool RadioManager::waitForNextPoll() {
    std::unique_lock guard(pollLock_);
    pollWake_.wait_for(guard, pollInterval_, [this] { return stopping_; });
    // A paused poll sleeps until it is resumed rather than waking every interval for nothing.
    pollWake_.wait(guard, [this] { return stopping_ || polling_; });
    return !stopping_;
}

void RadioManager::pollOnce() {
    USBSerial* port = radioInfo_.port();
    int firstIndex = -1;
    const int count = port != nullptr ? port->countCables(firstIndex) : 0;
    cableCount_.store(static_cast<uint8_t>(count), std::memory_order_relaxed);
    // A failed enumeration must not leave the port refusing the next radio operation.
    if (port != nullptr) {
        port->resetStatus();
    }
    notifyWindow_->sendNotify(kMsgCableState, 0, count + (radioInfo_.isConnected() ? 1 : 0));
}

bool RadioManager::connect(bool reconnect) {
    const bool closed = radioInfo_.disconnect();
    if (!reconnect) {
        return closed;
    }
    USBSerial* port = radioInfo_.port();
    int index = -1;
    const int count = port != nullptr ? port->countCables(index) : 0;
    if (count == 0 || index < 0) {
        return false;
    }
    cableIndex_ = index;
    return radioInfo_.connectPort(index);
}

int RadioManager::deviceCount() {
    USBSerial* port = radioInfo_.port();
    return port != nullptr ? port->deviceCount() : 0;
}

}  // namespace plugshift
