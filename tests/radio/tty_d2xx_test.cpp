#include "radio/tty_d2xx.h"

// Kernel termios only (see tty_d2xx.cpp); used to look at the line from the master's side.
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "fake_sysfs.h"
#include "radio/usb_serial.h"
#include "without_privileges.h"

namespace plugshift {
namespace {

namespace fs = std::filesystem;
using test::FakeSysfs;
using test::WithoutPrivileges;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

std::string describe(D2xx& d2xx, int index) {
    char description[FT_DESCRIPTION_SIZE] = {};
    EXPECT_EQ(d2xx.FT_ListDevices(reinterpret_cast<void*>(static_cast<intptr_t>(index)),
                                  description, FT_LIST_DESCRIPTION_BY_INDEX),
              FT_OK);
    return description;
}

uint32_t deviceNumber(D2xx& d2xx) {
    uint32_t number = 99;
    EXPECT_EQ(d2xx.FT_ListDevices(&number, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    return number;
}

// ---- enumeration over a fake sysfs -------------------------------------------------------

TEST(TtyD2xxEnumeration, CablesMatchByProductIgnoringCaseOnly) {
    struct Case {
        std::vector<std::optional<std::string>> products;  // ttyUSB0, ttyUSB1, ...
        int count;
        int firstIndex;
    };
    const Case cases[] = {
        {{}, 0, -7},
        {{"NV PGM Cable"}, 1, 0},
        {{"nv pgm CABLE"}, 1, 0},
        {{"NV PGM Cable Pro"}, 0, -7},
        {{std::nullopt, "FT232R USB UART", "NV PGM Cable", "NV PGM CABLE"}, 2, 2},
    };
    for (const Case& c : cases) {
        FakeSysfs sysfs;
        for (unsigned i = 0; i < c.products.size(); ++i) {
            sysfs.addSerial(i, c.products[i]);
        }
        TtyD2xx d2xx(sysfs.sysRoot(), sysfs.devDir());
        USBSerial port(d2xx, [](std::chrono::milliseconds) {});
        int first = -7;
        EXPECT_EQ(port.countCables(first), c.count) << ::testing::PrintToString(c.products);
        EXPECT_EQ(first, c.firstIndex) << ::testing::PrintToString(c.products);
    }
}

TEST(TtyD2xxEnumeration, NumericOrderAndTheNearestUsbDevicesProduct) {
    FakeSysfs sysfs;
    sysfs.addSerial(10, "NV PGM Cable");
    sysfs.addSerial(2, std::nullopt);  // no product: not the host controller's either
    TtyD2xx d2xx(sysfs.sysRoot(), sysfs.devDir());
    EXPECT_EQ(deviceNumber(d2xx), 2u);
    EXPECT_EQ(describe(d2xx, 0), "");
    EXPECT_EQ(describe(d2xx, 1), "NV PGM Cable");
    EXPECT_EQ(d2xx.devicePath(0), (sysfs.devDir() / "ttyUSB2").string());
    EXPECT_EQ(d2xx.devicePath(1), (sysfs.devDir() / "ttyUSB10").string());
    EXPECT_EQ(d2xx.devicePath(2), "");
    char description[FT_DESCRIPTION_SIZE];
    EXPECT_EQ(
        d2xx.FT_ListDevices(reinterpret_cast<void*>(2), description, FT_LIST_DESCRIPTION_BY_INDEX),
        FT_DEVICE_NOT_FOUND);
}

// Only FTDI bridges are devices: another make of adapter beside the cable is neither counted nor
// indexed, so it cannot keep a pulled cable "connected" or shift the cable's index.
TEST(TtyD2xxEnumeration, OnlyFtdiAdaptersAreDevices) {
    struct Case {
        const char* what;
        FakeSysfs::Adapter adapter;  // becomes ttyUSB0; the programming cable is ttyUSB3
        bool device;
    };
    const Case cases[] = {
        {"FTDI on ftdi_sio", {.product = "FT232R USB UART"}, true},
        {"ftdi_sio for a vendor id of its own", {.product = "Radio Cable", .vendor = "1234"}, true},
        {"FTDI on another driver", {.product = "FT232R", .driver = "usbserial_generic"}, true},
        {"CP210x",
         {.product = "CP2102 USB to UART Bridge Controller", .vendor = "10c4", .driver = "cp210x"},
         false},
        {"CH340", {.product = "USB Serial", .vendor = "1a86", .driver = "ch341-uart"}, false},
        {"PL2303", {.product = std::nullopt, .vendor = "067b", .driver = "pl2303"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSysfs sysfs;
        sysfs.addAdapter(0, c.adapter);
        sysfs.addSerial(3, "NV PGM Cable");
        TtyD2xx d2xx(sysfs.sysRoot(), sysfs.devDir());
        EXPECT_EQ(deviceNumber(d2xx), c.device ? 2u : 1u);
        const int cable = c.device ? 1 : 0;
        EXPECT_EQ(describe(d2xx, cable), "NV PGM Cable");
        EXPECT_EQ(d2xx.devicePath(cable), (sysfs.devDir() / "ttyUSB3").string());
        EXPECT_EQ(d2xx.devicePath(cable + 1), "");
        USBSerial port(d2xx, [](std::chrono::milliseconds) {});
        int first = -1;
        EXPECT_EQ(port.countCables(first), 1);
        EXPECT_EQ(first, cable);
    }
}

TEST(TtyD2xxEnumeration, APulledCableLeavesNoDeviceBesideOtherAdapters) {
    FakeSysfs sysfs;
    sysfs.addAdapter(0, {.product = "CP2102", .vendor = "10c4", .driver = "cp210x"});
    sysfs.addAdapter(1, {.product = "USB Serial", .vendor = "1a86", .driver = "ch341-uart"});
    TtyD2xx d2xx(sysfs.sysRoot(), sysfs.devDir());
    USBSerial port(d2xx, [](std::chrono::milliseconds) {});
    EXPECT_EQ(port.deviceCount(), 0);
    int first = -1;
    EXPECT_EQ(port.countCables(first), 0);
}

TEST(TtyD2xxEnumeration, LongProductIsCutToTheDescriptionBuffer) {
    FakeSysfs sysfs;
    sysfs.addSerial(0, std::string(200, 'x'));
    TtyD2xx d2xx(sysfs.sysRoot(), sysfs.devDir());
    struct {
        char description[FT_DESCRIPTION_SIZE] = {};
        char guard[8] = {'g', 'g', 'g', 'g', 'g', 'g', 'g', 'g'};
    } buffer;
    ASSERT_EQ(d2xx.FT_ListDevices(nullptr, buffer.description, FT_LIST_DESCRIPTION_BY_INDEX),
              FT_OK);
    EXPECT_EQ(std::strlen(buffer.description), FT_DESCRIPTION_SIZE - 1u);
    EXPECT_EQ(std::string(buffer.guard, 8), "gggggggg");
}

TEST(TtyD2xxEnumeration, NoUsbSerialCoreMeansNoDevices) {
    TtyD2xx d2xx(fs::temp_directory_path() / "no-such-sysfs", "/dev");
    EXPECT_EQ(deviceNumber(d2xx), 0u);
}

// ---- errors ------------------------------------------------------------------------------

TEST(TtyD2xxErrors, SystemErrorsMapToTheEnumerationsRetryCodes) {
    const std::pair<int, uint32_t> cases[] = {
        {EACCES, kSystemErrorAccessDenied},  {EBUSY, kSystemErrorAccessDenied},
        {EIO, kSystemErrorNotFunctioning},   {ENODEV, kSystemErrorNotFunctioning},
        {ENXIO, kSystemErrorNotFunctioning},
    };
    for (const auto& [error, code] : cases) {
        EXPECT_EQ(TtyD2xx::systemErrorFor(error), code) << std::strerror(error);
    }
    // errno 5 is EIO: a raw errno must never pass for "access denied".
    for (int error : {ENOENT, ENOTTY, EINVAL}) {
        EXPECT_NE(TtyD2xx::systemErrorFor(error), kSystemErrorAccessDenied);
        EXPECT_NE(TtyD2xx::systemErrorFor(error), kSystemErrorNotFunctioning);
    }
}

TEST(TtyD2xxErrors, PermissionProblemNamesThePathAndTheFix) {
    const std::wstring text = TtyD2xx::describeOpenProblem("/dev/ttyUSB3", EACCES);
    EXPECT_THAT(text, HasSubstr(L"/dev/ttyUSB3"));
    EXPECT_THAT(text, HasSubstr(L"dialout"));
    EXPECT_THAT(text, HasSubstr(L"log in again"));
    EXPECT_THAT(text, HasSubstr(L"/lib/udev/rules.d/60-kmv-plugshift.rules"));
    EXPECT_LE(text.size(), ErrorChain::kMaxMessage);
}

// The two ends of a pseudo-terminal: the device under test opens the slave path, the test
// plays the radio on the master.
class PseudoTerminal {
public:
    explicit PseudoTerminal(bool unlock = true) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        char name[128] = {};
        if (master_ < 0 || ::grantpt(master_) != 0 || (unlock && ::unlockpt(master_) != 0) ||
            ::ptsname_r(master_, name, sizeof name) != 0) {
            ADD_FAILURE() << "pseudo-terminal: " << std::strerror(errno);
        }
        slave_ = name;
    }
    ~PseudoTerminal() { closeMaster(); }

    const std::string& slave() const { return slave_; }
    int master() const { return master_; }
    void closeMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }
    void send(const std::vector<uint8_t>& bytes) const {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // What the device side wrote, up to count bytes within a second.
    std::vector<uint8_t> receive(size_t count) const {
        std::vector<uint8_t> out;
        const auto deadline = Clock::now() + std::chrono::seconds(1);
        while (out.size() < count && Clock::now() < deadline) {
            pollfd entry{master_, POLLIN, 0};
            if (::poll(&entry, 1, 50) == 1) {
                uint8_t buffer[256];
                const ssize_t n =
                    ::read(master_, buffer, std::min(sizeof buffer, count - out.size()));
                if (n <= 0) {
                    break;
                }
                out.insert(out.end(), buffer, buffer + n);
            }
        }
        return out;
    }
    // The slave's line settings: a master's termios requests address its slave.
    termios2 slaveLine() const {
        termios2 line{};
        EXPECT_EQ(::ioctl(master_, TCGETS2, &line), 0);
        return line;
    }

private:
    int master_ = -1;
    std::string slave_;
};

class TtyD2xxOpenFailure : public ::testing::Test {
protected:
    void SetUp() override { ErrorChain::remove(0); }
    void TearDown() override { ErrorChain::remove(0); }

    // Opens the single device at path through the port; returns the driver's open problem.
    std::wstring failToOpen(const std::string& path, uint32_t systemError) {
        ErrorChain::remove(0);
        auto d2xx = TtyD2xx::forDevice(path);
        USBSerial port(*d2xx);
        EXPECT_FALSE(port.open(0)) << path;
        EXPECT_EQ(port.lastStatus(), FT_DEVICE_NOT_OPENED);
        EXPECT_EQ(d2xx->lastSystemError(), systemError);
        const auto records = ErrorChain::records();
        EXPECT_EQ(records.size(), 2u);
        EXPECT_EQ(ErrorChain::firstMessage(), d2xx->lastOpenProblem());
        EXPECT_EQ(records.back().message,
                  L"Error:failed to open the port refered by the index [0]");
        return d2xx->lastOpenProblem();
    }
};

TEST_F(TtyD2xxOpenFailure, MissingDeviceLockedTerminalAndNonTerminal) {
    EXPECT_EQ(failToOpen("/nonexistent/ttyUSB9", TtyD2xx::systemErrorFor(ENOENT)),
              L"The port /nonexistent/ttyUSB9 does not exist; is the cable plugged in?");

    PseudoTerminal locked(/*unlock=*/false);
    EXPECT_EQ(failToOpen(locked.slave(), kSystemErrorNotFunctioning),
              L"Cannot open " + fromUtf8(locked.slave()) + L": Input/output error.");

    // A regular file opens but is no serial line.
    FakeSysfs scratch;
    const fs::path file = scratch.devDir() / "plain";
    std::ofstream(file) << "x";
    EXPECT_EQ(failToOpen(file.string(), TtyD2xx::systemErrorFor(ENOTTY)),
              fromUtf8(file.string()) + L" is not a serial port.");
    EXPECT_EQ(failToOpen("/dev/null", TtyD2xx::systemErrorFor(ENOTTY)),
              L"/dev/null is not a serial port.");
}

// A port in use by a conversion stays its own, for root too (whom the terminal's exclusive flag
// does not stop); once it is closed the next program gets it.
TEST(TtyD2xxExclusive, ASecondOpenOfAPortInUseFailsUntilItIsClosed) {
    PseudoTerminal pty;
    auto first = TtyD2xx::forDevice(pty.slave());
    FT_HANDLE firstHandle = nullptr;
    ASSERT_EQ(first->FT_Open(0, &firstHandle), FT_OK);
    auto second = TtyD2xx::forDevice(pty.slave());
    FT_HANDLE secondHandle = nullptr;
    EXPECT_EQ(second->FT_Open(0, &secondHandle), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(first->FT_Close(firstHandle), FT_OK);
    EXPECT_EQ(second->FT_Open(0, &secondHandle), FT_OK);
    EXPECT_EQ(second->FT_Close(secondHandle), FT_OK);
}

// What --port is told before anything is opened.
TEST(TtyD2xxNamedDevice, AMissingPathOrOneThatIsNoDeviceIsNamed) {
    FakeSysfs scratch;
    const fs::path file = scratch.devDir() / "plain";
    std::ofstream(file) << "x";
    PseudoTerminal pty;
    const std::pair<std::string, std::wstring> cases[] = {
        {"/nonexistent", L"The port /nonexistent does not exist; is the cable plugged in?"},
        {file.string() + "/ttyUSB0", L"The port " + fromUtf8(file.string()) +
                                         L"/ttyUSB0 does not exist; is the cable plugged in?"},
        {file.string(), fromUtf8(file.string()) + L" is not a serial port."},
        {scratch.devDir().string(),
         fromUtf8(scratch.devDir().string()) + L" is not a serial port."},
        // Devices: whether they are serial lines only opening tells.
        {"/dev/null", L""},
        {pty.slave(), L""},
    };
    for (const auto& [path, problem] : cases) {
        EXPECT_EQ(TtyD2xx::namedDeviceProblem(path), problem) << path;
    }
}

// In a child that has the terminal as its controlling terminal, as a shell's programs have.
TEST(TtyD2xxNamedDevice, TheProgramsOwnTerminalIsRefusedAndLeftAsItWas) {
    PseudoTerminal pty;
    const termios2 before = pty.slaveLine();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A new session takes the first terminal it opens as its controlling terminal.
        if (::setsid() < 0 || ::open(pty.slave().c_str(), O_RDWR) < 0) {
            ::_exit(2);
        }
        bool refused = true;
        for (const std::string& path : {pty.slave(), std::string("/dev/tty")}) {
            auto d2xx = TtyD2xx::forDevice(path);
            FT_HANDLE handle = nullptr;
            refused = refused && d2xx->FT_Open(0, &handle) == FT_DEVICE_NOT_OPENED &&
                      d2xx->lastOpenProblem() ==
                          fromUtf8(path) +
                              L" is the terminal this program runs in, not a programming cable; "
                              L"name the cable's port (/dev/ttyUSB0 or the like).";
        }
        ::_exit(refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const termios2 after = pty.slaveLine();
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_ospeed, before.c_ospeed);
}

TEST_F(TtyD2xxOpenFailure, PermissionDeniedGivesTheFix) {
    FakeSysfs scratch;
    const fs::path node = scratch.devDir() / "ttyUSB0";
    std::ofstream(node) << "x";
    fs::permissions(node, fs::perms::none);
    WithoutPrivileges unprivileged;
    if (!unprivileged.ok()) {
        GTEST_SKIP() << "cannot drop capabilities here";
    }
    EXPECT_EQ(failToOpen(node.string(), kSystemErrorAccessDenied),
              TtyD2xx::describeOpenProblem(node.string(), EACCES));
}

TEST_F(TtyD2xxOpenFailure, SecondOpenIsRefusedWhileTheFirstHoldsTheLine) {
    PseudoTerminal pty;
    auto holder = TtyD2xx::forDevice(pty.slave());
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(holder->FT_Open(0, &handle), FT_OK);
    {
        WithoutPrivileges unprivileged;
        if (!unprivileged.ok()) {
            GTEST_SKIP() << "cannot drop capabilities here";
        }
        EXPECT_EQ(
            failToOpen(pty.slave(), kSystemErrorAccessDenied),
            fromUtf8(pty.slave()) + L" is in use by another program; close it and try again.");
    }
    // Closing releases the line for the next program.
    ASSERT_EQ(holder->FT_Close(handle), FT_OK);
    WithoutPrivileges unprivileged;
    auto next = TtyD2xx::forDevice(pty.slave());
    EXPECT_EQ(next->FT_Open(0, &handle), FT_OK);
    EXPECT_EQ(next->lastOpenProblem(), L"");
}

// ---- end to end over a pseudo-terminal ---------------------------------------------------

class TtyD2xxLine : public ::testing::Test {
protected:
    void SetUp() override {
        ErrorChain::remove(0);
        int first = -1;
        ASSERT_EQ(port.countCables(first), 1);
        ASSERT_EQ(first, 0);
        ASSERT_TRUE(port.open(0)) << toUtf8(ErrorChain::text());
    }
    void TearDown() override { ErrorChain::remove(0); }

    std::vector<uint8_t> readPort(int length) {
        std::vector<uint8_t> buffer(length);
        buffer.resize(port.read(buffer.data(), length));
        return buffer;
    }

    PseudoTerminal pty;
    std::unique_ptr<TtyD2xx> d2xx = TtyD2xx::forDevice(pty.slave());
    USBSerial port{*d2xx};
};

TEST_F(TtyD2xxLine, SetsUpARawLineAtBothRates) {
    EXPECT_EQ(d2xx->devicePath(0), pty.slave());
    // A pseudo-terminal keeps any rate it is given (checked on this kernel), so 16406 reads back.
    ASSERT_TRUE(port.setBaudRate(16406));
    EXPECT_EQ(pty.slaveLine().c_ospeed, 16406u);
    EXPECT_EQ(pty.slaveLine().c_ispeed, 16406u);
    ASSERT_TRUE(port.setDataCharacteristics());
    ASSERT_TRUE(port.setFlowControl());
    ASSERT_TRUE(port.setTimeouts(250, 300));
    ASSERT_TRUE(port.setBaudRate(57600));
    const termios2 line = pty.slaveLine();
    EXPECT_EQ(line.c_ospeed, 57600u);
    EXPECT_EQ(line.c_cflag & (CSIZE | CSTOPB | PARENB | CRTSCTS), static_cast<unsigned>(CS8));
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    EXPECT_EQ(d2xx->FT_SetBaudRate(port.handle(), 0), FT_INVALID_BAUD_RATE);
    EXPECT_EQ(d2xx->FT_SetDataCharacteristics(port.handle(), 9, 0, 0), FT_INVALID_PARAMETER);
    EXPECT_TRUE(ErrorChain::records().empty());
}

TEST_F(TtyD2xxLine, BytesPassUnchangedBothWays) {
    ASSERT_TRUE(port.setTimeouts(1000, 300));
    // Line-discipline characters: carriage return, interrupt, XON/XOFF, erase, newline.
    const std::vector<uint8_t> bytes = {0xF1, 0x0D, 0x03, 0x11, 0x13, 0x7F, 0x00, 0x0A, 0xFF};
    EXPECT_EQ(port.write(bytes.data(), static_cast<int>(bytes.size())),
              static_cast<int>(bytes.size()));
    EXPECT_THAT(pty.receive(bytes.size() + 1), ElementsAreArray(bytes));
    pty.send(bytes);
    EXPECT_THAT(readPort(static_cast<int>(bytes.size())), ElementsAreArray(bytes));
}

TEST_F(TtyD2xxLine, ShortReadReturnsAfterTheTimeout) {
    constexpr auto kTimeout = std::chrono::milliseconds(200);
    ASSERT_TRUE(port.setTimeouts(kTimeout.count(), 300));
    pty.send({1, 2, 3});
    const auto start = Clock::now();
    EXPECT_THAT(readPort(10), ElementsAreArray({1, 2, 3}));
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, kTimeout - std::chrono::milliseconds(5));
    EXPECT_LT(waited, kTimeout + std::chrono::seconds(1));
}

TEST_F(TtyD2xxLine, ReadGathersPiecesUntilTheCount) {
    ASSERT_TRUE(port.setTimeouts(3000, 300));
    std::thread radio([this] {
        pty.send({1, 2, 3});
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty.send({4, 5, 6, 7});
    });
    const auto start = Clock::now();
    EXPECT_THAT(readPort(7), ElementsAreArray({1, 2, 3, 4, 5, 6, 7}));
    radio.join();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
}

TEST_F(TtyD2xxLine, PurgeDiscardsReceivedBytesButMaskFourDoesNothing) {
    ASSERT_TRUE(port.setTimeouts(1000, 300));
    // Each pair arrives in one piece, so once its first byte is read the second is queued.
    pty.send({'A', 'B'});
    ASSERT_THAT(readPort(1), ElementsAreArray({'A'}));
    ASSERT_TRUE(port.purge(USBSerial::kPurgeBeforeWrite));
    EXPECT_THAT(readPort(1), ElementsAreArray({'B'}));

    pty.send({'C', 'D'});
    ASSERT_THAT(readPort(1), ElementsAreArray({'C'}));
    ASSERT_TRUE(port.purge(FT_PURGE_RX));
    ASSERT_TRUE(port.setTimeouts(100, 300));
    EXPECT_THAT(readPort(1), ElementsAreArray(std::vector<uint8_t>{}));
    EXPECT_TRUE(port.purge(FT_PURGE_TX));
    EXPECT_TRUE(port.purge(USBSerial::kPurgeRxTx));
}

TEST_F(TtyD2xxLine, WriteToAPeerThatStopsReadingEndsAtTheTimeout) {
    constexpr auto kTimeout = std::chrono::milliseconds(200);
    ASSERT_TRUE(port.setTimeouts(100, kTimeout.count()));
    const std::vector<uint8_t> flood(4 << 20, 0x55);  // far more than a terminal buffers
    const auto start = Clock::now();
    const int written = port.write(flood.data(), static_cast<int>(flood.size()));
    const auto waited = Clock::now() - start;
    EXPECT_GT(written, 0);
    EXPECT_LT(written, static_cast<int>(flood.size()));
    EXPECT_GE(waited, kTimeout - std::chrono::milliseconds(5));
    EXPECT_LT(waited, kTimeout + std::chrono::seconds(1));
}

// What a write takes on a pseudo-terminal, which cannot say when bytes would have left a line:
// the line time of the bytes at the rate and character size set.
TEST_F(TtyD2xxLine, WriteReturnsOnlyOnceItsBytesWouldHaveLeftTheLine) {
    struct Case {
        uint32_t baud;
        uint32_t bytes;
        uint32_t timeoutMs;
        uint32_t expectLeft;
        std::chrono::milliseconds expectWait;
    };
    // 576 bytes are 100 ms at 57600 baud 8N1; at 16406 baud 205 bytes are 125 ms.
    const Case cases[] = {
        {57600, 576, 3000, 576, std::chrono::milliseconds(100)},
        {16406, 205, 300, 205, std::chrono::milliseconds(125)},
        // Past its time-out a write still reports every byte: the other end has them all, and
        // a count short of that would have the caller send them twice.
        {57600, 1152, 100, 1152, std::chrono::milliseconds(100)},
    };
    ASSERT_TRUE(port.setDataCharacteristics());
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.baud << " baud, " << c.bytes << " bytes");
        ASSERT_TRUE(port.setBaudRate(c.baud));
        ASSERT_TRUE(port.setTimeouts(100, c.timeoutMs));
        const std::vector<uint8_t> frame(c.bytes, 0x5A);
        uint32_t written = 0;
        const auto start = Clock::now();
        EXPECT_EQ(d2xx->FT_Write(port.handle(), frame.data(), c.bytes, &written), FT_OK);
        const auto waited = Clock::now() - start;
        EXPECT_EQ(written, c.expectLeft);
        EXPECT_GE(waited, c.expectWait - std::chrono::milliseconds(2));
        EXPECT_LT(waited, c.expectWait + std::chrono::milliseconds(150));
        // Everything reported as written reaches the other end.
        EXPECT_EQ(pty.receive(c.bytes).size(), static_cast<size_t>(written));
        // The next case's rate must not apply to bytes still on the line.
        ASSERT_TRUE(port.setBaudRate(c.baud));
    }
}

TEST_F(TtyD2xxLine, ARateChangeWaitsForTheBytesStillOnTheLine) {
    ASSERT_TRUE(port.setBaudRate(57600));
    ASSERT_TRUE(port.setTimeouts(100, 30));
    // 576 bytes need 100 ms; the write returns at its 30 ms deadline, so the rate change that
    // follows waits out the other 70 ms: those bytes go at the old rate.
    const std::vector<uint8_t> frame(576, 0x5A);
    uint32_t written = 0;
    const auto start = Clock::now();
    EXPECT_EQ(d2xx->FT_Write(port.handle(), frame.data(), 576, &written), FT_OK);
    EXPECT_EQ(written, 576u);
    ASSERT_TRUE(port.setBaudRate(16406));
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(98));
    EXPECT_LT(waited, std::chrono::milliseconds(250));
}

TEST_F(TtyD2xxLine, HangUpEndsAReadAtOnce) {
    ASSERT_TRUE(port.setTimeouts(5000, 300));
    pty.closeMaster();
    const auto start = Clock::now();
    EXPECT_EQ(readPort(4).size(), 0u);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(port.lastStatus(), FT_IO_ERROR);
    EXPECT_EQ(d2xx->lastSystemError(), kSystemErrorNotFunctioning);
}

// A terminal (or anything else) used after the tool finds its own settings again: echo, line
// editing and rate, whether the port was closed or the driver just went away.
TEST(TtyD2xxRestore, ALineGetsItsSettingsBackWhenItClosesOrTheDriverGoes) {
    PseudoTerminal pty;
    termios2 own = pty.slaveLine();
    own.c_lflag |= ECHO | ICANON;
    own.c_cflag = (own.c_cflag & ~CBAUD) | BOTHER;
    own.c_ispeed = own.c_ospeed = 38400;
    ASSERT_EQ(::ioctl(pty.master(), TCSETS2, &own), 0);
    for (const bool closed : {true, false}) {
        SCOPED_TRACE(closed ? "closed" : "driver gone");
        auto d2xx = TtyD2xx::forDevice(pty.slave());
        FT_HANDLE handle = nullptr;
        ASSERT_EQ(d2xx->FT_Open(0, &handle), FT_OK);
        ASSERT_EQ(d2xx->FT_SetBaudRate(handle, 57600), FT_OK);
        EXPECT_EQ(pty.slaveLine().c_lflag & (ECHO | ICANON), 0u);
        EXPECT_EQ(pty.slaveLine().c_ospeed, 57600u);
        if (closed) {
            ASSERT_EQ(d2xx->FT_Close(handle), FT_OK);
        }
        d2xx.reset();
        const termios2 after = pty.slaveLine();
        EXPECT_EQ(after.c_lflag, own.c_lflag);
        EXPECT_EQ(after.c_iflag, own.c_iflag);
        EXPECT_EQ(after.c_oflag, own.c_oflag);
        EXPECT_EQ(after.c_ospeed, 38400u);
    }
}

TEST_F(TtyD2xxLine, UnknownAndStaleHandlesAreRefused) {
    const FT_HANDLE stale = port.handle();
    uint8_t byte = 0;
    uint32_t moved = 0;
    int local = 0;
    EXPECT_EQ(d2xx->FT_Read(&local, &byte, 1, &moved), FT_INVALID_HANDLE);
    ASSERT_TRUE(port.close());
    ASSERT_TRUE(port.open(0));
    EXPECT_NE(port.handle(), stale);
    EXPECT_EQ(d2xx->FT_Write(stale, &byte, 1, &moved), FT_INVALID_HANDLE);
    EXPECT_EQ(d2xx->FT_SetBaudRate(stale, 57600), FT_INVALID_HANDLE);
    EXPECT_EQ(d2xx->FT_Close(stale), FT_INVALID_HANDLE);
}

TEST(TtyD2xxAdapter, OpeningByIndexAsksForLowLatency) {
    PseudoTerminal pty;
    FakeSysfs sysfs;
    sysfs.addSerial(0, "NV PGM Cable");
    sysfs.linkNode(0, pty.slave());
    TtyD2xx d2xx(sysfs.sysRoot(), sysfs.devDir());
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(d2xx.FT_Open(0, &handle), FT_OK);
    std::string timer;
    std::getline(std::ifstream(sysfs.latencyTimer(0)), timer);
    EXPECT_EQ(timer, "1");
    uint32_t written = 0;
    EXPECT_EQ(d2xx.FT_Write(handle, "ok", 2, &written), FT_OK);
    EXPECT_THAT(pty.receive(2), ElementsAreArray({'o', 'k'}));
    EXPECT_EQ(d2xx.FT_Close(handle), FT_OK);
}

// A device given by its path (--port) counts while its node is there: a pulled adapter or an
// ended simulator leaves no cable behind, and one that comes back counts again.
TEST(TtyD2xxSingleDevice, CountsWhileTheDeviceIsThere) {
    const fs::path node = fs::temp_directory_path() / "plugshift-single-device";
    std::ofstream(node) << "";
    auto d2xx = TtyD2xx::forDevice(node);
    USBSerial port(*d2xx);
    int first = -1;
    EXPECT_EQ(port.countCables(first), 1);
    EXPECT_EQ(port.deviceCount(), 1);
    fs::remove(node);
    EXPECT_EQ(port.countCables(first), 0);
    EXPECT_EQ(port.deviceCount(), 0);
    std::ofstream(node) << "";
    EXPECT_EQ(port.countCables(first), 1);
    fs::remove(node);
}

}  // namespace
}  // namespace plugshift
