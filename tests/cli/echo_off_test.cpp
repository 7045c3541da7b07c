#include "platform/echo_off.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>

// The password's echo on a terminal: off while it is typed, and on again however the entry ends,
// Ctrl-C included. A child process holds the terminal so that the signal can end it.
namespace plugshift {
namespace {

class Terminal {
public:
    Terminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        char name[128] = {};
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
            ::ptsname_r(master_, name, sizeof name) != 0) {
            ADD_FAILURE() << "no pseudo-terminal";
        }
        slave_ = ::open(name, O_RDWR | O_NOCTTY);
    }
    ~Terminal() {
        ::close(slave_);
        ::close(master_);
    }
    int slave() const { return slave_; }
    bool echoes() const {
        termios settings{};
        return ::tcgetattr(slave_, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
    }

private:
    int master_ = -1;
    int slave_ = -1;
};

// Runs `entry` in a child with the echo off and returns how the child ended.
template <class Entry>
int whileEchoIsOff(const Terminal& terminal, Entry entry) {
    const pid_t child = ::fork();
    if (child == 0) {
        {
            EchoOff quiet(terminal.slave());
            if (terminal.echoes()) {
                ::_exit(3);
            }
            entry();
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

TEST(EchoOffTest, TheEchoComesBackWhenTheEntryEndsOrASignalEndsTheProgram) {
    for (const int signal : {0, SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        Terminal terminal;
        ASSERT_TRUE(terminal.echoes());
        const int status = whileEchoIsOff(terminal, [signal] {
            if (signal != 0) {
                ::raise(signal);
            }
        });
        if (signal == 0) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        } else {
            // Still ended by the signal, as the shell expects of Ctrl-C.
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        }
        EXPECT_TRUE(terminal.echoes());
    }
}

volatile sig_atomic_t handled = 0;

// The conversion's own Ctrl-C handling (a stop at the end of the request) is not taken over.
TEST(EchoOffTest, ASignalTheProgramHandlesItselfStaysItsOwn) {
    Terminal terminal;
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGINT, [](int) { handled = 1; });
        {
            EchoOff quiet(terminal.slave());
            ::raise(SIGINT);
            if (handled == 0 || terminal.echoes()) {
                ::_exit(1);
            }
        }
        ::_exit(terminal.echoes() ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace plugshift
