#pragma once

#include <cstdint>

namespace plugshift {

// How a message was handed over; receivers treat both alike, the difference is kept so an adapter
// can map them differently and a test can see which call a sender used.
enum class Delivery { Posted, Notified };

struct Message {
    uint32_t id = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    Delivery delivery = Delivery::Posted;
};

// The receiving end of messages: a window of the user-interface thread. Any thread may call every
// operation; none of them waits for the receiver to handle the message, so a worker never blocks
// on the user interface. Held by shared_ptr like a handle: a target that is no longer alive stays
// safe to call and simply refuses messages.
class MessageTarget {
public:
    virtual ~MessageTarget() = default;

    // Queues the message; false when the target is gone.
    virtual bool post(uint32_t id, uintptr_t wParam, intptr_t lParam) = 0;
    // Hands the message over without waiting for it to be handled; false when the target is gone.
    virtual bool sendNotify(uint32_t id, uintptr_t wParam, intptr_t lParam) = 0;
    // Whether the window behind the target still exists.
    virtual bool isAlive() const = 0;
};

}  // namespace plugshift
