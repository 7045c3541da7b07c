#include "sim/sim_pty_server.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

namespace plugshift {

namespace {

constexpr size_t kReadChunk = 4096;

std::string systemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Raw 8N1 without echo or line editing, as a serial port under a programming tool is; set from
// our side so that a host which only sets the rate still gets the bytes unchanged.
bool makeRaw(int fd) {
    termios2 settings{};
    if (::ioctl(fd, TCGETS2, &settings) != 0) {
        return false;
    }
    settings.c_iflag &=
        ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
    settings.c_cflag |= CS8;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return ::ioctl(fd, TCSETS2, &settings) == 0;
}

}  // namespace

SimPtyServer::SimPtyServer(SimRadio& radio, SimFaults& faults, SimCableMode mode,
                           const SimTiming& timing)
    : cable_(radio, faults, mode, timing) {}

SimPtyServer::~SimPtyServer() {
    closeTerminal();
}

bool SimPtyServer::open(std::string& error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) {
        error = systemError("posix_openpt");
        return false;
    }
    const char* name = nullptr;
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        (name = ::ptsname(master_)) == nullptr) {
        error = systemError("pseudo-terminal set-up");
        closeTerminal();
        return false;
    }
    path_ = name;
    slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0 || !makeRaw(slave_)) {
        error = systemError(path_.c_str());
        closeTerminal();
        return false;
    }
    // A host's exclusive flag lives as long as the terminal, not the host: a host killed before
    // it could clear it would lock every later one out. Our own open above is not counted.
    hostWatch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (hostWatch_ < 0 || ::inotify_add_watch(hostWatch_, path_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        error = systemError("inotify");
        closeTerminal();
        return false;
    }
    return true;
}

void SimPtyServer::watchHosts() {
    alignas(inotify_event) char events[kReadChunk];
    ssize_t got = 0;
    while ((got = ::read(hostWatch_, events, sizeof events)) > 0) {
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            if ((event->mask & IN_OPEN) != 0) {
                ++openHosts_;
            } else if ((event->mask & IN_CLOSE) != 0 && openHosts_ > 0) {
                --openHosts_;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (openHosts_ == 0) {
        ::ioctl(slave_, TIOCNXCL);
    }
}

uint32_t SimPtyServer::hostBaud() const {
    termios2 settings{};
    if (master_ < 0 || ::ioctl(master_, TCGETS2, &settings) != 0) {
        return 0;
    }
    return settings.c_ospeed;
}

bool SimPtyServer::serveFor(std::chrono::milliseconds duration) {
    const SimTime end = clock_.now() + duration;
    std::vector<uint8_t> buffer(kReadChunk);
    while (master_ >= 0) {
        const SimTime now = clock_.now();
        if (now >= end) {
            return true;
        }
        SimTime wait = end - now;
        if (!cable_.pending().empty()) {
            wait = std::clamp(cable_.pending().front().at - now, SimTime{0}, wait);
        }
        pollfd watch[] = {{master_, POLLIN, 0}, {hostWatch_, POLLIN, 0}};
        const timespec timeout{static_cast<time_t>(wait.count() / 1000000000),
                               static_cast<long>(wait.count() % 1000000000)};
        const int ready = ::ppoll(watch, std::size(watch), &timeout, nullptr);
        if (ready < 0 && errno != EINTR) {
            closeTerminal();
            return false;
        }
        if (ready > 0 && (watch[1].revents & POLLIN) != 0) {
            watchHosts();
        }
        if (ready > 0 && (watch[0].revents & POLLIN) != 0) {
            const ssize_t got = ::read(master_, buffer.data(), buffer.size());
            if (got > 0) {
                cable_.send(std::span(buffer).first(static_cast<size_t>(got)), hostBaud(),
                            clock_.now());
            }
        }
        if (cable_.pulled()) {
            closeTerminal();
            return false;
        }
        deliverDue();
        if (ready < 0) {
            return true;  // a signal: let the caller look at it
        }
    }
    return false;
}

void SimPtyServer::deliverDue() {
    uint8_t out[kReadChunk];
    size_t n = 0;
    while ((n = cable_.take(out, sizeof out, clock_.now())) > 0) {
        size_t done = 0;
        while (done < n) {
            const ssize_t wrote = ::write(master_, out + done, n - done);
            if (wrote < 0 && errno != EINTR) {
                return;  // the terminal is gone; nothing to deliver to
            }
            done += wrote > 0 ? static_cast<size_t>(wrote) : 0;
        }
    }
}

void SimPtyServer::closeTerminal() {
    if (hostWatch_ >= 0) {
        ::close(hostWatch_);
        hostWatch_ = -1;
    }
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

}  // namespace plugshift
