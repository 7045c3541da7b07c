#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "tasks/message_target.h"

namespace plugshift {

// A message endpoint of the user-interface thread: its own window, on which other threads report
// to it, and the listener windows it passes notices on to. Only that thread calls it; other threads
// reach it through its window.
class Event {
public:
    Event() = default;
    virtual ~Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Binds this object's own window: the front end supplies it (a Qt adapter, or a MessageLoop
    // window) and routes what arrives on it to handleMessage on the user-interface thread. The
    // first window stays; later calls, and a call with none, return the one bound.
    virtual std::shared_ptr<MessageTarget> createEventWindow(std::shared_ptr<MessageTarget> window);
    const std::shared_ptr<MessageTarget>& eventWindow() const { return eventWindow_; }

    // What the own window does with a message; the result is the window procedure's.
    virtual intptr_t handleMessage(const Message& message);

    // Progress of a long operation; commands that report progress override it.
    virtual void progress(uint32_t done, uint32_t total);

    // false for no window; a window already listed is not added again.
    bool addListener(std::shared_ptr<MessageTarget> window);
    // Removes every entry that is the window; an unlisted window changes nothing.
    void removeListener(const MessageTarget* window);
    // Posts to each listener in order that is still alive. Dead ones are skipped but stay listed.
    void postToListeners(uint32_t id, uintptr_t wParam, intptr_t lParam);
    size_t listenerCount() const { return listeners_.size(); }

private:
    std::shared_ptr<MessageTarget> eventWindow_;
    std::vector<std::shared_ptr<MessageTarget>> listeners_;
};

}  // namespace plugshift
