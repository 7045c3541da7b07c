#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

namespace plugshift {

// The console protocol's four messages, registered by name with the system; their numbers are
// whatever the system gives, the same in every process that registers the same names.
class RegisteredConsoleMessages {
public:
    RegisteredConsoleMessages();

    // The name of a registered message, or nothing for any other message.
    std::optional<std::string> nameOf(UINT message) const;
    // 0 for a name that is not one of the four.
    UINT idOf(const std::string& name) const;

private:
    struct Entry {
        const char* name;
        UINT id;
    };
    std::array<Entry, 4> entries_;
};

}  // namespace plugshift
