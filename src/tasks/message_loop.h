#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "tasks/message_target.h"

namespace plugshift {

struct LoopQueue;

// A window on a MessageLoop: any thread may send it messages; the loop's thread hands them to the
// handler, in the order they were queued.
class LoopWindow : public MessageTarget, public std::enable_shared_from_this<LoopWindow> {
public:
    using Handler = std::function<intptr_t(const Message&)>;

    bool post(uint32_t id, uintptr_t wParam, intptr_t lParam) override;
    bool sendNotify(uint32_t id, uintptr_t wParam, intptr_t lParam) override;
    bool isAlive() const override;

    // Closes the window: later messages are refused and queued ones dropped, so the handler is not
    // called again. Call it on the loop's thread, before whatever the handler uses goes away.
    void destroy();

private:
    friend class MessageLoop;
    LoopWindow(std::shared_ptr<LoopQueue> queue, Handler handler);
    bool enqueue(const Message& message);
    void deliver(const Message& message);

    std::shared_ptr<LoopQueue> queue_;
    Handler handler_;
    std::atomic<bool> alive_{true};
};

// The message queue of a thread that has no GUI event loop (the command line, the tests): it plays
// the part of the user-interface thread, owning windows and running their handlers.
class MessageLoop {
public:
    MessageLoop();
    // Windows still held elsewhere stop accepting messages.
    ~MessageLoop();
    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

    std::shared_ptr<LoopWindow> createWindow(LoopWindow::Handler handler);

    // Hands messages to their windows, waiting for more, until done() holds; done() is checked
    // before waiting and after each message. Handlers may run loops of their own.
    void runUntil(const std::function<bool()>& done);
    // The same, giving up after limit; returns done() at the end.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
    // Hands over the messages queued at the call without waiting; returns how many there were.
    size_t dispatchPending();

private:
    using Deadline = std::optional<std::chrono::steady_clock::time_point>;
    bool runUntil(const std::function<bool()>& done, Deadline deadline);
    // Takes the oldest message under the held lock and delivers it with the lock released.
    void dispatchFront(std::unique_lock<std::mutex>& guard);

    std::shared_ptr<LoopQueue> queue_;
};

}  // namespace plugshift
