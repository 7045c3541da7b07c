#include "platform/echo_off.h"

#include <termios.h>

namespace plugshift {

struct EchoOff::Saved {
    int fd;
    termios settings;
};

EchoOff::EchoOff(int fd) {
    termios settings{};
    if (fd < 0 || ::tcgetattr(fd, &settings) != 0) {
        return;
    }
    termios quiet = settings;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    if (::tcsetattr(fd, TCSAFLUSH, &quiet) == 0) {
        saved_ = std::make_unique<Saved>(Saved{fd, settings});
    }
}

EchoOff::~EchoOff() {
    if (saved_) {
        ::tcsetattr(saved_->fd, TCSAFLUSH, &saved_->settings);
    }
}

}  // namespace plugshift
