#include "tasks/event.h"

#include <algorithm>
#include <utility>

namespace plugshift {

std::shared_ptr<MessageTarget> Event::createEventWindow(std::shared_ptr<MessageTarget> window) {
    if (!eventWindow_) {
        eventWindow_ = std::move(window);
    }
    return eventWindow_;
}

intptr_t Event::handleMessage(const Message&) {
    return 0;
}

void Event::progress(uint32_t, uint32_t) {}

bool Event::addListener(std::shared_ptr<MessageTarget> window) {
    if (!window) {
        return false;
    }
    if (std::find(listeners_.begin(), listeners_.end(), window) == listeners_.end()) {
        listeners_.push_back(std::move(window));
    }
    return true;
}

void Event::removeListener(const MessageTarget* window) {
    std::erase_if(listeners_, [window](const auto& listener) { return listener.get() == window; });
}

void Event::postToListeners(uint32_t id, uintptr_t wParam, intptr_t lParam) {
    for (const auto& listener : listeners_) {
        if (listener->isAlive()) {
            listener->post(id, wParam, lParam);
        }
    }
}

}  // namespace plugshift
