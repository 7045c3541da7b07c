#pragma once

#include <cstdint>

namespace plugshift {

// What the main window needs of the consoles: whether a console's handle stands for a console that
// is still there, and a message to it that does not wait for the console.
class ConsoleLink {
public:
    virtual ~ConsoleLink() = default;

    virtual bool isWindow(int64_t handle) const = 0;
    // false when the console is gone or the message cannot be handed over.
    virtual bool post(int64_t handle, const char* name, int64_t wParam, int64_t lParam) = 0;
    // The tool's own handle, the WPARAM of its acknowledgements.
    virtual int64_t ownHandle() const = 0;
};

}  // namespace plugshift
