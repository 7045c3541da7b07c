#pragma once

#include <cstdint>
#include <vector>

#include "desktop/console_link.h"
#include "desktop/console_message.h"

namespace plugshift::test {

// The consoles as the presenter sees them: every handle below 100 is a console, and posts are
// refused a given number of times before they are taken.
class FakeConsoles : public ConsoleLink {
public:
    std::vector<ConsoleMessage> posts;
    int refusals = 0;

    bool isWindow(int64_t handle) const override { return handle > 0 && handle < 100; }
    bool post(int64_t handle, const char* name, int64_t wParam, int64_t lParam) override {
        if (refusals > 0) {
            --refusals;
            return false;
        }
        posts.push_back({name, wParam, lParam});
        return handle > 0;
    }
    int64_t ownHandle() const override { return 4242; }
};

}  // namespace plugshift::test
