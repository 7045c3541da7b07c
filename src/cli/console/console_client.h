#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "desktop/console_message.h"

namespace plugshift {

// A console's connection to the tool: sends request lines and reads the tool's lines, each wait
// bounded by a deadline. The handle it sends as WPARAM stands for this console while the
// connection is open.
class ConsoleClient {
public:
    enum class Received { Message, TimedOut, Closed, Garbled };
    using Deadline = std::chrono::steady_clock::time_point;

    // handle: the console's "window handle"; positive.
    explicit ConsoleClient(int64_t handle);
    ~ConsoleClient();
    ConsoleClient(const ConsoleClient&) = delete;
    ConsoleClient& operator=(const ConsoleClient&) = delete;

    // false with the reason when nothing listens at the path.
    bool connect(const std::filesystem::path& socket, std::string& problem);
    // Sends the request with this console's handle and the request value.
    bool request(const char* name, std::string& problem);
    bool send(const ConsoleMessage& message, std::string& problem);
    // The next line from the tool. Garbled: a line that is not a message (it is skipped).
    Received receive(ConsoleMessage& message, Deadline deadline);
    void close();

    int64_t handle() const { return handle_; }

private:
    int64_t handle_;
    int fd_ = -1;
    std::string buffer_;
};

}  // namespace plugshift
