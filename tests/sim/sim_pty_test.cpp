#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "kmv_sim_process.h"
#include "sim/sim_faults.h"
#include "sim/sim_pty_server.h"
#include "sim/sim_radio.h"
#include "wire.h"
#include "without_privileges.h"

// The radio behind a pseudo-terminal, reached the way a serial port is: open the path, set the
// rate with termios, write, poll and read.
namespace plugshift {
namespace {

using namespace std::chrono_literals;
using test::longFrame;
using test::shortFrame;
using Bytes = std::vector<uint8_t>;

const Bytes kItem0 = shortFrame(0x23, {0x00});

class PtyHost {
public:
    explicit PtyHost(const std::string& path, uint32_t baud = 57600)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
        setBaud(baud);
    }
    ~PtyHost() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    bool isOpen() const { return fd_ >= 0; }

    void setBaud(uint32_t baud) {
        termios2 t{};
        ::ioctl(fd_, TCGETS2, &t);
        t.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
        t.c_cflag |= BOTHER;
        t.c_ispeed = t.c_ospeed = baud;
        ::ioctl(fd_, TCSETS2, &t);
    }

    // Purge, write, then read until a whole reply is in or the time is up.
    Bytes exchange(const Bytes& frame, std::chrono::milliseconds limit = 300ms) {
        ::ioctl(fd_, TCFLSH, TCIFLUSH);
        if (::write(fd_, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) {
            return {};
        }
        return readFor(limit);
    }
    Bytes readFor(std::chrono::milliseconds limit) {
        Bytes got;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!test::parseReply(got)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0ms || ::poll(&p, 1, static_cast<int>(left.count())) <= 0 ||
                (p.revents & POLLIN) == 0) {
                break;
            }
            uint8_t buffer[512];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }
    short pollEvents() {
        pollfd p{fd_, POLLIN, 0};
        ::poll(&p, 1, 500);
        return p.revents;
    }

private:
    int fd_;
};

// Serves on a thread until the test ends.
class PtyServing {
public:
    PtyServing(SimRadio& radio, SimFaults& faults, const SimTiming& timing = {})
        : server(radio, faults, SimCableMode::Digital, timing) {
        std::string error;
        opened = server.open(error);
        thread = std::thread([this] {
            while (!stop && server.serveFor(20ms)) {
            }
            ended = true;
        });
    }
    ~PtyServing() {
        stop = true;
        thread.join();
    }

    SimPtyServer server;
    bool opened = false;
    std::atomic<bool> stop = false;
    std::atomic<bool> ended = false;
    std::thread thread;
};

TEST(SimPtyServerTest, TheHostsRateDecidesWhetherTheRadioUnderstands) {
    SimRadio radio;
    SimFaults faults;
    PtyServing serving(radio, faults);
    ASSERT_TRUE(serving.opened);
    PtyHost host(serving.server.path(), 16406);
    ASSERT_TRUE(host.isOpen());
    EXPECT_EQ(serving.server.hostBaud(), 16406u);  // seen from the master side
    EXPECT_TRUE(host.exchange(kItem0, 200ms).empty());
    host.setBaud(57600);
    const auto reply = test::parseReply(host.exchange(kItem0));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->data, Bytes({0, 0, 'R', 'Q', 'X', 7, 7, 0, 'H', 'J', 'N', 'W', 'A'}));
}

TEST(SimPtyServerTest, BaudSwitchIsFollowedOnBothEnds) {
    SimRadio radio;
    SimFaults faults;
    PtyServing serving(radio, faults);
    PtyHost host(serving.server.path());
    ASSERT_TRUE(test::parseReply(host.exchange(shortFrame(0x22, {8, 0, 0}))));
    // to 38400 = 0x9600, answered at 57600
    EXPECT_TRUE(test::parseReply(host.exchange(longFrame(0x38, {0x2A, 0, 0, 0, 0, 0, 0x96, 0}))));
    EXPECT_TRUE(host.exchange(kItem0, 200ms).empty());
    host.setBaud(38400);
    EXPECT_TRUE(test::parseReply(host.exchange(kItem0)));
}

TEST(SimPtyServerTest, PulledCableClosesTheTerminal) {
    SimRadio radio;
    SimFaults faults;
    faults.add({SimFaultKind::PullCable, 6, 0});
    PtyServing serving(radio, faults);
    PtyHost host(serving.server.path());
    ASSERT_TRUE(test::parseReply(host.exchange(kItem0)));
    EXPECT_TRUE(host.exchange(kItem0, 200ms).empty());
    EXPECT_NE(host.pollEvents() & POLLHUP, 0);
    for (int i = 0; i < 50 && !serving.ended; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(serving.ended);
}

TEST(SimPtyServerTest, PacingAndLatencyTakeRealTime) {
    SimRadio radio;
    SimFaults faults;
    SimTiming timing;
    timing.pacing = true;
    timing.latency = 16ms;
    PtyServing serving(radio, faults, timing);
    PtyHost host(serving.server.path());
    const auto start = std::chrono::steady_clock::now();
    // 9 + 230 bytes of line time (41.5 ms) and the latency
    const auto reply = host.exchange(longFrame(0x11, {220, 0x82, 0x00, 0x00}), 1000ms);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(test::parseReply(reply));
    EXPECT_GE(elapsed, 57ms);
}

// kmv-sim itself: prints the path, serves it, saves its state on SIGUSR1 and at SIGTERM, and
// starts from the saved state next time.
TEST(KmvSimTest, ServesItsPrintedPathAndKeepsItsStateAcrossRuns) {
    const auto dir = std::filesystem::path(::testing::TempDir()) / "kmv-sim-test";
    std::filesystem::create_directories(dir);
    const std::string state = (dir / "radio.txt").string();
    const std::string link = (dir / "radio").string();
    std::filesystem::remove(state);
    const Bytes serial{'9', '8', '7', 'A', 'B', '6', '5', 'C', '4', '3'};
    {
        test::KmvSimProcess sim({"--state", state, "--link", link, "--serial", "111AA11A11"});
        ASSERT_EQ(sim.path().rfind("/dev/pts/", 0), 0u) << sim.path();
        EXPECT_EQ(std::filesystem::read_symlink(link), sim.path());
        PtyHost host(link);
        const auto first = test::parseReply(host.exchange(shortFrame(0x23, {1})));
        ASSERT_TRUE(first);
        EXPECT_EQ(first->data, Bytes({1, 0, '1', '1', '1', 'A', 'A', '1', '1', 'A', '1', '1'}));
        ASSERT_TRUE(test::parseReply(host.exchange(shortFrame(0x22, {1, 0, 0}))));
        Bytes update{0x01, 0x01};
        update.insert(update.end(), serial.begin(), serial.end());
        ASSERT_TRUE(test::parseReply(host.exchange(shortFrame(0x18, update))));
        sim.signal(SIGUSR1);
        bool saved = false;
        for (int i = 0; i < 100 && !saved; ++i) {
            std::this_thread::sleep_for(20ms);
            saved = std::filesystem::exists(state);
        }
        EXPECT_TRUE(saved);
        EXPECT_EQ(sim.stop(), 0);
        EXPECT_FALSE(std::filesystem::exists(link));
    }
    std::ifstream saved(state);
    const std::string text((std::istreambuf_iterator<char>(saved)), {});
    EXPECT_THAT(text, ::testing::HasSubstr("serial 987AB65C43"));

    test::KmvSimProcess again({"--state", state});
    PtyHost host(again.path());
    const auto reply = test::parseReply(host.exchange(shortFrame(0x23, {1})));
    ASSERT_TRUE(reply);
    EXPECT_EQ(Bytes(reply->data.begin() + 2, reply->data.end()), serial);
    EXPECT_EQ(again.stop(), 0);
    std::filesystem::remove_all(dir);
}

// Opens the terminal as an ordinary user would; -1 with errno when refused.
int openAsUser(const std::string& path) {
    test::WithoutPrivileges user;
    return user.ok() ? ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC) : -2;
}

// A tool killed while it held the terminal exclusively (as a conversion does) cannot clear the
// hold itself: kmv-sim does once the last host has gone, so the next run can open it.
TEST(KmvSimTest, AKilledHostsExclusiveHoldEndsWithIt) {
    test::KmvSimProcess sim;
    ASSERT_EQ(sim.path().rfind("/dev/pts/", 0), 0u) << sim.path();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t host = ::fork();
    ASSERT_GE(host, 0);
    if (host == 0) {
        const int fd = ::open(sim.path().c_str(), O_RDWR | O_NOCTTY);
        const char held = fd >= 0 && ::ioctl(fd, TIOCEXCL) == 0 ? 'y' : 'n';
        [[maybe_unused]] const ssize_t ignored = ::write(ready[1], &held, 1);
        ::pause();
        ::_exit(0);
    }
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(held, 'y');

    int fd = openAsUser(sim.path());
    if (fd == -2) {
        ::kill(host, SIGKILL);
        ::waitpid(host, nullptr, 0);
        GTEST_SKIP() << "cannot drop capabilities here";
    }
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(errno, EBUSY);
    ::kill(host, SIGKILL);
    ASSERT_EQ(::waitpid(host, nullptr, 0), host);
    for (int i = 0; i < 100 && fd < 0; ++i) {
        std::this_thread::sleep_for(20ms);
        fd = openAsUser(sim.path());
    }
    EXPECT_GE(fd, 0) << std::strerror(errno);
    PtyHost after(sim.path());
    ::close(fd);
    EXPECT_TRUE(test::parseReply(after.exchange(kItem0, 1000ms)));
    EXPECT_EQ(sim.stop(), 0);
}

// kmv-sim as a person starts it, without timing options: the line rate, the adapter's latency and
// the radio's own times all pass, and a late reply comes past a host's wait, after its time.
TEST(KmvSimTest, TimingIsHonestByDefaultAndLateOrCutRepliesComeAsTheFaultSays) {
    test::KmvSimProcess sim({"--fault", "delay:0x23/1#1:300", "--fault", "cut:0x23/3#1"});
    PtyHost host(sim.path());
    ASSERT_TRUE(host.isOpen());
    auto start = std::chrono::steady_clock::now();
    // 9 + 230 bytes of line time (41.5 ms) and the latency
    ASSERT_TRUE(test::parseReply(host.exchange(longFrame(0x11, {220, 0x82, 0x00, 0x00}), 1s)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 57ms);

    // An item read waits 100 ms; the late reply comes after that, whole, some 300 ms later.
    start = std::chrono::steady_clock::now();
    EXPECT_TRUE(host.exchange(shortFrame(0x23, {1}), 100ms).empty());
    const auto late = test::parseReply(host.readFor(1s));
    ASSERT_TRUE(late);
    EXPECT_EQ(late->data.at(0), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);

    // A cut reply: lead-in, start byte and opcode, then nothing more.
    const Bytes cut = host.exchange(shortFrame(0x23, {3}), 300ms);
    ASSERT_EQ(cut.size(), 3u);
    EXPECT_EQ(cut[0], 0x50);
    EXPECT_EQ(cut[2], 0xA3);
    EXPECT_TRUE(test::parseReply(host.exchange(shortFrame(0x23, {3}))));
    EXPECT_EQ(sim.stop(), 0);
}

// The report says where the radio was asked to erase, refused requests included, and how many
// programs met flash that was not erased.
TEST(KmvSimTest, ReportCountsErasesByAddressAndProgramsOverUnerasedFlash) {
    const auto dir = std::filesystem::path(::testing::TempDir()) / "kmv-sim-report";
    std::filesystem::create_directories(dir);
    const std::string report = (dir / "report.txt").string();
    std::filesystem::remove(report);
    test::KmvSimProcess sim({"--report", report, "--no-pacing", "--latency", "0"});
    PtyHost host(sim.path());
    ASSERT_TRUE(test::parseReply(host.exchange(shortFrame(0x22, {8, 0, 0}))));
    ASSERT_TRUE(test::parseReply(host.exchange(shortFrame(0x72, {0x08, 0x00, 0x30, 0x00}))));
    const auto erase = [&](uint32_t address) {
        return test::parseReply(host.exchange(
            longFrame(0x72, {0x04, static_cast<uint8_t>(address >> 16),
                             static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)})));
    };
    ASSERT_TRUE(erase(0x85000));
    ASSERT_TRUE(erase(0));  // refused: not a default-block sector
    // Program 4 bytes into the erased sector and into the one that was not erased.
    for (uint32_t address : {0x85000u, 0x84000u}) {
        ASSERT_TRUE(test::parseReply(host.exchange(
            longFrame(0x72, {0x01, static_cast<uint8_t>(address >> 16),
                             static_cast<uint8_t>(address >> 8), 0x00, 0x12, 0x34, 0x56, 0x78}))));
    }
    EXPECT_EQ(sim.stop(), 0);
    std::ifstream in(report);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text,
              "kmv-sim-report 1\n"
              "erase-sector 0x0 1\n"
              "erase-sector 0x85000 1\n"
              "programs 2\n"
              "unerased-programs 1\n");
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace plugshift
