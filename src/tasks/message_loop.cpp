#include "tasks/message_loop.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

namespace plugshift {

// Shared by the loop and its windows, so a window that outlives its loop is still safe to call.
struct LoopQueue {
    std::mutex lock;
    std::condition_variable ready;
    // Weak, so a queued message never keeps a destroyed window alive.
    std::deque<std::pair<std::weak_ptr<LoopWindow>, Message>> pending;
    bool closed = false;
};

LoopWindow::LoopWindow(std::shared_ptr<LoopQueue> queue, Handler handler)
    : queue_(std::move(queue)), handler_(std::move(handler)) {}

bool LoopWindow::post(uint32_t id, uintptr_t wParam, intptr_t lParam) {
    return enqueue({id, wParam, lParam, Delivery::Posted});
}

// Queued like a post: first come, first handled, so a sender's messages arrive in the order sent.
bool LoopWindow::sendNotify(uint32_t id, uintptr_t wParam, intptr_t lParam) {
    return enqueue({id, wParam, lParam, Delivery::Notified});
}

bool LoopWindow::isAlive() const {
    if (!alive_) {
        return false;
    }
    std::lock_guard guard(queue_->lock);
    return !queue_->closed;
}

void LoopWindow::destroy() {
    alive_ = false;
}

bool LoopWindow::enqueue(const Message& message) {
    if (!alive_) {
        return false;
    }
    {
        std::lock_guard guard(queue_->lock);
        if (queue_->closed) {
            return false;
        }
        queue_->pending.emplace_back(weak_from_this(), message);
    }
    queue_->ready.notify_one();
    return true;
}

void LoopWindow::deliver(const Message& message) {
    if (alive_ && handler_) {
        handler_(message);
    }
}

MessageLoop::MessageLoop() : queue_(std::make_shared<LoopQueue>()) {}

MessageLoop::~MessageLoop() {
    std::lock_guard guard(queue_->lock);
    queue_->closed = true;
    queue_->pending.clear();
}

std::shared_ptr<LoopWindow> MessageLoop::createWindow(LoopWindow::Handler handler) {
    return std::shared_ptr<LoopWindow>(new LoopWindow(queue_, std::move(handler)));
}

void MessageLoop::runUntil(const std::function<bool()>& done) {
    runUntil(done, Deadline{});
}

bool MessageLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return runUntil(done, std::chrono::steady_clock::now() + limit);
}

bool MessageLoop::runUntil(const std::function<bool()>& done, Deadline deadline) {
    while (!done()) {
        std::unique_lock guard(queue_->lock);
        const auto queued = [this] { return !queue_->pending.empty(); };
        if (!deadline) {
            queue_->ready.wait(guard, queued);
        } else if (!queue_->ready.wait_until(guard, *deadline, queued)) {
            guard.unlock();
            return done();
        }
        dispatchFront(guard);
    }
    return true;
}

size_t MessageLoop::dispatchPending() {
    std::unique_lock guard(queue_->lock);
    const size_t queued = queue_->pending.size();
    size_t handed = 0;
    // A handler's own loop may take some of them first.
    while (handed < queued && !queue_->pending.empty()) {
        dispatchFront(guard);
        ++handed;
        guard.lock();
    }
    return handed;
}

void MessageLoop::dispatchFront(std::unique_lock<std::mutex>& guard) {
    auto [window, message] = std::move(queue_->pending.front());
    queue_->pending.pop_front();
    guard.unlock();
    // Handlers run unlocked: they post, and may run loops of their own.
    if (auto target = window.lock()) {
        target->deliver(message);
    }
}

}  // namespace plugshift
