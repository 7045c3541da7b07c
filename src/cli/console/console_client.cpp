#include "cli/console/console_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace plugshift {

namespace {

constexpr size_t kReadChunk = 256;

std::string systemError() {
    return std::strerror(errno);
}

}  // namespace

ConsoleClient::ConsoleClient(int64_t handle) : handle_(handle) {}

ConsoleClient::~ConsoleClient() {
    close();
}

bool ConsoleClient::connect(const std::filesystem::path& socketPath, std::string& problem) {
    close();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socketPath.string();
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        problem = "the socket path \"" + path + "\" is empty or too long for a local socket";
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        problem = "cannot create a local socket: " + systemError();
        return false;
    }
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        problem = "nothing listens on " + path + " (" + systemError() + ")";
        close();
        return false;
    }
    return true;
}

bool ConsoleClient::request(const char* name, std::string& problem) {
    return send(ConsoleMessage{name, handle_, ConsoleMessage::kRequestValue}, problem);
}

bool ConsoleClient::send(const ConsoleMessage& message, std::string& problem) {
    const std::string line = message.line();
    size_t sent = 0;
    while (fd_ >= 0 && sent < line.size()) {
        const ssize_t n = ::send(fd_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            problem = "the tool closed the connection (" + systemError() + ")";
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return fd_ >= 0;
}

ConsoleClient::Received ConsoleClient::receive(ConsoleMessage& message, Deadline deadline) {
    for (;;) {
        const size_t end = buffer_.find('\n');
        if (end != std::string::npos) {
            const std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            const auto parsed = ConsoleMessage::parse(line);
            if (!parsed) {
                return Received::Garbled;
            }
            message = *parsed;
            return Received::Message;
        }
        // A line longer than any message is not one; drop what came so far.
        if (buffer_.size() > ConsoleMessage::kMaxLineLength) {
            buffer_.clear();
            return Received::Garbled;
        }
        if (fd_ < 0) {
            return Received::Closed;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return Received::TimedOut;
        }
        pollfd watched{fd_, POLLIN, 0};
        const int ready =
            ::poll(&watched, 1, static_cast<int>(std::min<int64_t>(left.count(), 60000)));
        if (ready < 0 && errno != EINTR) {
            return Received::Closed;
        }
        if (ready <= 0) {
            continue;
        }
        char chunk[kReadChunk];
        const ssize_t n = ::read(fd_, chunk, sizeof(chunk));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            close();
            continue;  // a last line already in the buffer is still handed out
        }
        buffer_.append(chunk, static_cast<size_t>(n));
    }
}

void ConsoleClient::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace plugshift
