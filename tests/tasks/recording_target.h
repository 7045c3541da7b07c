#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "tasks/message_target.h"

namespace plugshift::test {

// A window that only records what it is sent, from any thread, and lets a test wait for it. Calls
// are recorded even after it is marked dead, so a test sees whether a sender checked isAlive.
class RecordingTarget : public MessageTarget {
public:
    // Only a bound against a hang; the waits end as soon as the messages are there.
    static constexpr std::chrono::seconds kHangLimit{30};

    explicit RecordingTarget(std::vector<std::string>* journal = nullptr, std::string name = {})
        : journal_(journal), name_(std::move(name)) {}

    bool post(uint32_t id, uintptr_t wParam, intptr_t lParam) override {
        return record({id, wParam, lParam, Delivery::Posted});
    }
    bool sendNotify(uint32_t id, uintptr_t wParam, intptr_t lParam) override {
        return record({id, wParam, lParam, Delivery::Notified});
    }
    bool isAlive() const override {
        std::lock_guard guard(lock_);
        return alive_;
    }

    void setAlive(bool alive) {
        std::lock_guard guard(lock_);
        alive_ = alive;
    }
    std::vector<Message> messages() const {
        std::lock_guard guard(lock_);
        return messages_;
    }
    // Waits until at least count messages have arrived; false if they never do.
    bool waitFor(size_t count) const {
        std::unique_lock guard(lock_);
        return arrived_.wait_for(guard, kHangLimit, [&] { return messages_.size() >= count; });
    }
    void clear() {
        std::lock_guard guard(lock_);
        messages_.clear();
    }

private:
    bool record(const Message& message) {
        {
            std::lock_guard guard(lock_);
            messages_.push_back(message);
            if (journal_ != nullptr) {
                journal_->push_back(name_);
            }
        }
        arrived_.notify_all();
        return isAlive();
    }

    mutable std::mutex lock_;
    mutable std::condition_variable arrived_;
    std::vector<Message> messages_;
    bool alive_ = true;
    std::vector<std::string>* journal_;
    std::string name_;
};

}  // namespace plugshift::test
