#include "win32/registered_console_messages.h"

#include "desktop/console_message.h"

namespace plugshift {

namespace {

UINT registerName(const char* name) {
    return RegisterWindowMessageA(name);
}

}  // namespace

RegisteredConsoleMessages::RegisteredConsoleMessages()
    : entries_{{{ConsoleMessage::kStart, registerName(ConsoleMessage::kStart)},
                {ConsoleMessage::kEnd, registerName(ConsoleMessage::kEnd)},
                {ConsoleMessage::kEnterTestMode, registerName(ConsoleMessage::kEnterTestMode)},
                {ConsoleMessage::kExitTestMode, registerName(ConsoleMessage::kExitTestMode)}}} {}

std::optional<std::string> RegisteredConsoleMessages::nameOf(UINT message) const {
    for (const Entry& entry : entries_) {
        if (entry.id != 0 && entry.id == message) {
            return std::string(entry.name);
        }
    }
    return std::nullopt;
}

UINT RegisteredConsoleMessages::idOf(const std::string& name) const {
    for (const Entry& entry : entries_) {
        if (name == entry.name) {
            return entry.id;
        }
    }
    return 0;
}

}  // namespace plugshift
