#include "radio/tty_d2xx.h"

// The kernel's own termios2 (with BOTHER for arbitrary rates) clashes with glibc's <termios.h>,
// so this file uses only the kernel headers and raw ioctls; nothing of them leaks into the header.
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstring>
#include <system_error>

#include "errors/wide_text.h"
#include "radio/tty_transmitter.h"
#include "radio/usb_serial.h"

namespace plugshift {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::string_view kTtyPrefix = "ttyUSB";
// The programming cable is an FTDI bridge; other USB serial adapters are never counted as one.
constexpr std::string_view kFtdiDriver = "ftdi_sio";
constexpr std::string_view kFtdiVendor = "0403";
// sysfs attributes are short; a product string has at most 126 UTF-16 characters.
constexpr size_t kAttributeMax = 512;
// A UART still frames bytes when the two ends differ by a few percent.
constexpr uint64_t kBaudTolerancePercent = 3;
// Windows marks application-defined error codes with bit 29, so an errno passed on this way can
// never be mistaken for the access-denied (5) or not-functioning (31) codes.
constexpr uint32_t kApplicationErrorBit = 0x20000000;
// D2XX codes of the line settings this backend supports.
constexpr uint8_t kStopBitsOne = 0;
constexpr uint8_t kStopBitsTwo = 2;
constexpr uint8_t kParityNone = 0;
constexpr uint8_t kParityOdd = 1;
constexpr uint8_t kParityEven = 2;
constexpr uint16_t kFlowNone = 0;
constexpr const wchar_t* kUdevRule = L"/lib/udev/rules.d/60-kmv-plugshift.rules";
constexpr const wchar_t* kNoSuchPort = L"The port %ls does not exist; is the cable plugged in?";
constexpr const wchar_t* kNotASerialPort = L"%ls is not a serial port.";
// Device majors of the kernel's Unix98 pseudo-terminal slaves.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;
// What a line that reports rate 0 (hung up) is timed at, so a line time is never infinite.
constexpr uint32_t kFallbackBaud = 9600;
// An FTDI adapter sends its status (transmitter idle or not) once per latency timer period:
// 16 ms unless the driver could lower it to 1 ms.
constexpr auto kDefaultLatency = std::chrono::milliseconds(16);
constexpr auto kLowLatency = std::chrono::milliseconds(1);
// Before a rate change, bytes written earlier get their line time and this much more to leave.
constexpr auto kRateChangeDrainMargin = std::chrono::milliseconds(100);

// Reads a small text attribute without its trailing newline; 0 or the errno.
int readAttribute(const fs::path& path, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    char buffer[kAttributeMax];
    ssize_t n;
    do {
        n = ::read(fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    const int error = n < 0 ? errno : 0;
    ::close(fd);
    if (error != 0) {
        return error;
    }
    text.assign(buffer, static_cast<size_t>(n));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return 0;
}

bool isInside(const fs::path& dir, const fs::path& root) {
    const fs::path relative = dir.lexically_relative(root);
    return !relative.empty() && relative != "." && *relative.begin() != "..";
}

bool parseTtyNumber(const std::string& name, unsigned& number) {
    if (name.size() <= kTtyPrefix.size() || name.compare(0, kTtyPrefix.size(), kTtyPrefix) != 0) {
        return false;
    }
    const char* first = name.data() + kTtyPrefix.size();
    const char* last = name.data() + name.size();
    const auto [end, ec] = std::from_chars(first, last, number);
    return ec == std::errc() && end == last;
}

int setLine(int fd, const termios2& line) {
    // Applies at once: the kernel's own wait for the transmitter has no limit, so callers wait
    // for bytes still on their way themselves, bounded.
    while (::ioctl(fd, TCSETS2, &line) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

void makeRaw(termios2& line) {
    line.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    line.c_oflag &= ~OPOST;
    line.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    line.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    line.c_cflag |= CS8 | CREAD | CLOCAL;
    // Reads never block in the driver; poll() does the waiting so the time-outs hold.
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
}

// The terminal this program runs in: frames written there would land on the screen, and its
// settings would be the user's to lose. Only the controlling terminal tells its session.
bool isOwnTerminal(int fd) {
    pid_t session = 0;
    return ::ioctl(fd, TIOCGSID, &session) == 0 && session == ::getsid(0);
}

// Opens the line raw and exclusive; the descriptor (its settings before in original, as set now
// in line), or -1 with errno (or TtyD2xx::kOwnTerminal) in error.
int openLine(const std::string& path, termios2& original, termios2& line, int& error) {
    // Non-blocking so that neither the open (carrier) nor a write to a peer that stops reading
    // can outlast the time-outs.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    error = ::ioctl(fd, TCGETS2, &original) == 0 ? 0 : errno;
    if (error == 0 && isOwnTerminal(fd)) {
        error = TtyD2xx::kOwnTerminal;
    }
    // Exclusive, so a second program cannot interleave its bytes with a conversion. The
    // terminal's own flag does not hold root back; the advisory lock holds every program that
    // asks for it, this tool's second copy among them.
    if (error == 0) {
        error = ::ioctl(fd, TIOCEXCL) == 0 ? 0 : errno;
    }
    if (error == 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? EBUSY : errno;
    }
    if (error == 0) {
        line = original;
        makeRaw(line);
        error = setLine(fd, line);
    }
    if (error != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The adapter holds received bytes up to its latency timer (16 ms by default) before sending
// them; one ms makes every short reply arrive at once. Refusals are harmless. Returns the
// latency the adapter ends up with, as far as the driver tells.
std::chrono::milliseconds requestLowLatency(int fd, const fs::path& latencyTimer) {
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &serial);
    }
    // ftdi_sio runs the timer at 1 ms while the flag holds.
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0 && (serial.flags & ASYNC_LOW_LATENCY) != 0) {
        return kLowLatency;
    }
    if (latencyTimer.empty()) {
        return kDefaultLatency;
    }
    const int timer = ::open(latencyTimer.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (timer >= 0) {
        [[maybe_unused]] const ssize_t ignored = ::write(timer, "1", 1);
        ::close(timer);
    }
    std::string value;
    unsigned ms = 0;
    if (readAttribute(latencyTimer, value) == 0 &&
        std::from_chars(value.data(), value.data() + value.size(), ms).ec == std::errc() &&
        ms > 0) {
        return std::chrono::milliseconds(ms);
    }
    return kDefaultLatency;
}

enum class Wait { Ready, TimedOut, Failed };

Wait waitFor(int fd, short event, Clock::time_point deadline, int& error) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const int ms = static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT_MAX));
        pollfd entry{fd, event, 0};
        const int ready = ::poll(&entry, 1, ms);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            error = errno;
            return Wait::Failed;
        }
        if (ready == 0) {
            return Wait::TimedOut;
        }
        // Polled only after the line gave nothing: a hang-up or error now means the device is
        // gone, and would otherwise keep poll() returning at once until the deadline.
        if ((entry.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            error = EIO;
            return Wait::Failed;
        }
        return Wait::Ready;
    }
}

// Moves bytes with io(offset, length) until count or the deadline; 0, or the errno that stopped
// it. done counts what was moved either way.
template <typename Io>
int transfer(int fd, short event, Clock::time_point deadline, uint32_t count, uint32_t& done,
             Io io) {
    while (done < count) {
        const ssize_t n = io(done, count - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            return errno;
        }
        int error = 0;
        const Wait wait = waitFor(fd, event, deadline, error);
        if (wait == Wait::TimedOut) {
            return 0;
        }
        if (wait == Wait::Failed) {
            return error;
        }
    }
    return 0;
}

Clock::time_point deadlineAfter(uint32_t ms) {
    return Clock::now() + std::chrono::milliseconds(ms);
}

// Bits one character takes on the line: start bit, data bits, parity bit, stop bits.
int frameBits(const termios2& line) {
    int dataBits = 8;
    switch (line.c_cflag & CSIZE) {
        case CS5:
            dataBits = 5;
            break;
        case CS6:
            dataBits = 6;
            break;
        case CS7:
            dataBits = 7;
            break;
        default:
            break;
    }
    const int parity = (line.c_cflag & PARENB) != 0 ? 1 : 0;
    const int stopBits = (line.c_cflag & CSTOPB) != 0 ? 2 : 1;
    return 1 + dataBits + parity + stopBits;
}

// A pseudo-terminal hands bytes to its other end at once and keeps no transmit queue, so it
// cannot say when they would have left a real line.
bool isPseudoTerminal(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
        return false;
    }
    const unsigned major = ::major(info.st_rdev);
    return major >= kPtySlaveMajorFirst && major <= kPtySlaveMajorLast;
}

// What the kernel's serial driver tells about a device's bytes on their way out.
class DeviceQueue : public TtyTransmitter::Queue {
public:
    explicit DeviceQueue(int fd) : fd_(fd) {}

    std::optional<uint32_t> unsent() override {
        int count = 0;
        if (::ioctl(fd_, TIOCOUTQ, &count) != 0) {
            return std::nullopt;
        }
        return static_cast<uint32_t>(std::max(count, 0));
    }
    // ftdi_sio answers from the adapter's latest status report; other drivers may not answer.
    std::optional<bool> adapterIdle() override {
        unsigned status = 0;
        if (::ioctl(fd_, TIOCSERGETLSR, &status) != 0) {
            return std::nullopt;
        }
        return (status & TIOCSER_TEMT) != 0;
    }
    void discardUnsent() override { ::ioctl(fd_, TCFLSH, TCOFLUSH); }

private:
    int fd_;
};

}  // namespace

// An open line. Bytes are moved by one thread at a time (the driver interface's rule), so only
// the time-outs, which another thread may set, need to be atomic.
struct TtyD2xx::Port {
    Port(int descriptor, const termios2& before, const termios2& line,
         std::chrono::milliseconds latency)
        : fd(descriptor),
          original(before),
          queue(descriptor),
          transmitter(isPseudoTerminal(descriptor) ? nullptr : &queue, latency) {
        adopt(line);
    }
    ~Port() {
        // The line goes back as it was found, once the last bytes have left at their rate; a
        // terminal or another program using the port after us expects its own settings.
        settleLine();
        setLine(fd, original);
        // A pseudo-terminal's slave outlives its descriptors while the master is open, and with
        // it the exclusive flag, which would lock every later open out.
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // Takes the rate and character size the line now has.
    void adopt(const termios2& line) {
        const uint32_t baud = line.c_ospeed != 0 ? line.c_ospeed : kFallbackBaud;
        transmitter.setByteTime(
            std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(frameBits(line))) /
            baud);
    }
    // Before the line's settings change: the bytes written so far leave at the old ones; false
    // when they could not.
    bool settleLine() {
        transmitter.awaitLineReady();
        return transmitter.finish(std::max(transmitter.lineFreeAt(), Clock::now()) +
                                  kRateChangeDrainMargin);
    }

    const int fd;
    const termios2 original;
    DeviceQueue queue;
    TtyTransmitter transmitter;
    std::atomic<uint32_t> readMs{0};
    std::atomic<uint32_t> writeMs{0};
};

TtyD2xx::TtyD2xx(fs::path sysfsRoot, fs::path devDir)
    : TtyD2xx(std::move(sysfsRoot), std::move(devDir), std::nullopt) {}

TtyD2xx::TtyD2xx(fs::path sysfsRoot, fs::path devDir, std::optional<fs::path> single)
    : sysfsRoot_(std::move(sysfsRoot)), devDir_(std::move(devDir)), single_(std::move(single)) {}

std::unique_ptr<TtyD2xx> TtyD2xx::forDevice(fs::path devicePath) {
    return std::unique_ptr<TtyD2xx>(new TtyD2xx("/sys", "/dev", std::move(devicePath)));
}

TtyD2xx::~TtyD2xx() = default;

fs::path TtyD2xx::serialDevices() const {
    return sysfsRoot_ / "bus" / "usb-serial" / "devices";
}

bool TtyD2xx::scan(std::vector<Entry>& entries, int& error) const {
    entries.clear();
    std::error_code ec;
    fs::directory_iterator it(serialDevices(), ec);
    if (ec == std::errc::no_such_file_or_directory) {
        return true;  // the usb-serial core is not loaded, so no adapter is present
    }
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        Entry entry{it->path().filename().string(), 0};
        if (parseTtyNumber(entry.name, entry.number) && isFtdiAdapter(entry.name)) {
            entries.push_back(std::move(entry));
        }
    }
    if (ec) {
        error = ec.value();
        return false;
    }
    // By the kernel's number, not the alphabet: ttyUSB2 before ttyUSB10.
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.number < b.number; });
    return true;
}

fs::path TtyD2xx::usbDevice(const std::string& name, std::error_code& ec) const {
    const fs::path root = fs::canonical(sysfsRoot_, ec);
    // The tty sits below the USB interface, which sits below the USB device; a USB device folder
    // is the one with an idVendor.
    fs::path dir = ec ? fs::path() : fs::canonical(serialDevices() / name, ec);
    if (ec) {
        return {};
    }
    std::error_code unreadable;  // a folder that cannot be looked into is no USB device
    for (; isInside(dir, root); dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", unreadable)) {
            return dir;
        }
    }
    return {};
}

bool TtyD2xx::isFtdiAdapter(const std::string& name) const {
    std::error_code ec;
    const fs::path driver = fs::read_symlink(serialDevices() / name / "driver", ec);
    if (!ec && driver.filename().string() == kFtdiDriver) {
        return true;
    }
    // ftdi_sio may not be the driver that took it (a driver of its own for a VID/PID), yet the
    // chip is still FTDI's.
    const fs::path device = usbDevice(name, ec);
    std::string vendor;
    return !device.empty() && readAttribute(device / "idVendor", vendor) == 0 &&
           vendor == kFtdiVendor;
}

FT_STATUS TtyD2xx::fail(FT_STATUS status, int error) {
    systemError_ = systemErrorFor(error);
    return status;
}

FT_STATUS TtyD2xx::FT_ListDevices(void* arg1, void* arg2, uint32_t flags) {
    if (flags == FT_LIST_NUMBER_ONLY) {
        if (arg1 == nullptr) {
            return FT_INVALID_PARAMETER;
        }
        std::vector<Entry> entries;
        int error = 0;
        if (!single_ && !scan(entries, error)) {
            return fail(FT_OTHER_ERROR, error);
        }
        *static_cast<uint32_t*>(arg1) =
            single_ ? singleDeviceCount() : static_cast<uint32_t>(entries.size());
        return FT_OK;
    }
    if (flags == FT_LIST_DESCRIPTION_BY_INDEX && arg2 != nullptr) {
        const intptr_t index = reinterpret_cast<intptr_t>(arg1);
        if (index < 0 || index > INT_MAX) {
            return FT_DEVICE_NOT_FOUND;
        }
        return describe(static_cast<int>(index), static_cast<char*>(arg2));
    }
    return FT_INVALID_PARAMETER;
}

uint32_t TtyD2xx::singleDeviceCount() const {
    // The one device counts while its node is there, so the cable poll sees it go and come back.
    std::error_code ec;
    return fs::exists(*single_, ec) ? 1 : 0;
}

FT_STATUS TtyD2xx::describe(int index, char* description) {
    std::string text;
    if (single_) {
        if (index != 0) {
            return FT_DEVICE_NOT_FOUND;
        }
        text = USBSerial::kCableDescription;
    } else {
        std::vector<Entry> entries;
        int error = 0;
        if (!scan(entries, error)) {
            return fail(FT_DEVICE_NOT_OPENED, error);
        }
        if (static_cast<size_t>(index) >= entries.size()) {
            return FT_DEVICE_NOT_FOUND;
        }
        std::error_code ec;
        const fs::path device = usbDevice(entries[index].name, ec);
        if (ec) {
            return fail(FT_DEVICE_NOT_OPENED, ec.value());
        }
        error = device.empty() ? 0 : readAttribute(device / "product", text);
        if (error != 0 && error != ENOENT) {  // a device may have no product string
            return fail(FT_DEVICE_NOT_OPENED, error);
        }
    }
    const size_t length = std::min(text.size(), static_cast<size_t>(FT_DESCRIPTION_SIZE - 1));
    std::memcpy(description, text.data(), length);
    description[length] = '\0';
    return FT_OK;
}

std::string TtyD2xx::devicePath(int index) const {
    if (single_) {
        return index == 0 ? single_->string() : std::string();
    }
    std::vector<Entry> entries;
    int error = 0;
    if (index < 0 || !scan(entries, error) || static_cast<size_t>(index) >= entries.size()) {
        return {};
    }
    return (devDir_ / entries[index].name).string();
}

FT_STATUS TtyD2xx::FT_Open(int index, FT_HANDLE* handle) {
    if (handle == nullptr) {
        return FT_INVALID_PARAMETER;
    }
    const std::string path = devicePath(index);
    if (path.empty()) {
        std::lock_guard guard(lock_);
        openProblem_ = formatWide(L"No cable has the index %d; was it unplugged?", index);
        return FT_DEVICE_NOT_FOUND;
    }
    int error = 0;
    termios2 original{};
    termios2 line{};
    const int fd = openLine(path, original, line, error);
    if (fd < 0) {
        std::lock_guard guard(lock_);
        openProblem_ = describeOpenProblem(path, error);
        return fail(FT_DEVICE_NOT_OPENED, error);
    }
    // Only a ttyUSB adapter has a latency timer, and sysfs knows it by the node's own name; a
    // named device may be a link such as /dev/serial/by-id/....
    std::error_code ec;
    const std::string name =
        (single_ ? fs::weakly_canonical(path, ec) : fs::path(path)).filename().string();
    unsigned number = 0;
    const auto latency = requestLowLatency(fd, !ec && parseTtyNumber(name, number)
                                                   ? serialDevices() / name / "latency_timer"
                                                   : fs::path());
    auto port = std::make_shared<Port>(fd, original, line, latency);
    std::lock_guard guard(lock_);
    const uintptr_t id = nextHandle_++;
    ports_.emplace(id, std::move(port));
    openProblem_.clear();
    *handle = reinterpret_cast<FT_HANDLE>(id);
    return FT_OK;
}

std::shared_ptr<TtyD2xx::Port> TtyD2xx::find(FT_HANDLE handle) const {
    std::lock_guard guard(lock_);
    const auto it = ports_.find(reinterpret_cast<uintptr_t>(handle));
    return it == ports_.end() ? nullptr : it->second;
}

FT_STATUS TtyD2xx::FT_Close(FT_HANDLE handle) {
    std::shared_ptr<Port> port;
    {
        std::lock_guard guard(lock_);
        const auto it = ports_.find(reinterpret_cast<uintptr_t>(handle));
        if (it == ports_.end()) {
            return FT_INVALID_HANDLE;
        }
        port = std::move(it->second);
        ports_.erase(it);
    }
    // The descriptor closes with the last user; close(2) releases it even when it reports an
    // error, so there is nothing left open to report.
    return FT_OK;
}

FT_STATUS TtyD2xx::FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
    const auto port = find(handle);
    if (!port) {
        return FT_INVALID_HANDLE;
    }
    if (baud == 0) {  // rate 0 means "hang up" to a tty
        return FT_INVALID_BAUD_RATE;
    }
    termios2 before{};
    if (::ioctl(port->fd, TCGETS2, &before) != 0) {
        return fail(FT_IO_ERROR, errno);
    }
    termios2 line = before;
    // The rate applies from the next byte on, so bytes still on their way go at the old one.
    if (!port->settleLine()) {
        return fail(FT_IO_ERROR, ETIMEDOUT);
    }
    line.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    line.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    line.c_ispeed = baud;
    line.c_ospeed = baud;
    if (const int error = setLine(port->fd, line); error != 0) {
        return fail(error == EINVAL ? FT_INVALID_BAUD_RATE : FT_IO_ERROR, error);
    }
    // The driver quietly substitutes a rate it cannot make; read back what it chose.
    termios2 now{};
    if (::ioctl(port->fd, TCGETS2, &now) != 0) {
        return fail(FT_IO_ERROR, errno);
    }
    const uint64_t off = now.c_ospeed > baud ? now.c_ospeed - baud : baud - now.c_ospeed;
    if (off * 100 > uint64_t{baud} * kBaudTolerancePercent) {
        setLine(port->fd, before);
        return FT_INVALID_BAUD_RATE;
    }
    port->adopt(now);
    return FT_OK;
}

FT_STATUS TtyD2xx::FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength, uint8_t stopBits,
                                             uint8_t parity) {
    const auto port = find(handle);
    if (!port) {
        return FT_INVALID_HANDLE;
    }
    if ((wordLength != 7 && wordLength != 8) ||
        (stopBits != kStopBitsOne && stopBits != kStopBitsTwo) ||
        (parity != kParityNone && parity != kParityOdd && parity != kParityEven)) {
        return FT_INVALID_PARAMETER;
    }
    termios2 line{};
    if (::ioctl(port->fd, TCGETS2, &line) != 0) {
        return fail(FT_IO_ERROR, errno);
    }
    // Bytes still on their way keep the framing they were written with.
    if (!port->settleLine()) {
        return fail(FT_IO_ERROR, ETIMEDOUT);
    }
    line.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
    line.c_cflag |= wordLength == 8 ? CS8 : CS7;
    line.c_cflag |= stopBits == kStopBitsTwo ? CSTOPB : 0;
    line.c_cflag |= parity == kParityNone ? 0 : PARENB;
    line.c_cflag |= parity == kParityOdd ? PARODD : 0;
    if (const int error = setLine(port->fd, line); error != 0) {
        return fail(error == EINVAL ? FT_INVALID_PARAMETER : FT_IO_ERROR, error);
    }
    port->adopt(line);
    return FT_OK;
}

FT_STATUS TtyD2xx::FT_SetFlowControl(FT_HANDLE handle, uint16_t flowControl, uint8_t, uint8_t) {
    const auto port = find(handle);
    if (!port) {
        return FT_INVALID_HANDLE;
    }
    if (flowControl != kFlowNone) {
        return FT_INVALID_PARAMETER;
    }
    termios2 line{};
    if (::ioctl(port->fd, TCGETS2, &line) != 0) {
        return fail(FT_IO_ERROR, errno);
    }
    line.c_cflag &= ~CRTSCTS;
    line.c_iflag &= ~(IXON | IXOFF | IXANY);
    const int error = setLine(port->fd, line);
    return error == 0 ? FT_OK : fail(FT_IO_ERROR, error);
}

FT_STATUS TtyD2xx::FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) {
    const auto port = find(handle);
    if (!port) {
        return FT_INVALID_HANDLE;
    }
    port->readMs = readMs;
    port->writeMs = writeMs;
    return FT_OK;
}

FT_STATUS TtyD2xx::FT_Purge(FT_HANDLE handle, uint32_t mask) {
    const auto port = find(handle);
    if (!port) {
        return FT_INVALID_HANDLE;
    }
    int queues;
    switch (mask & (FT_PURGE_RX | FT_PURGE_TX)) {
        case FT_PURGE_RX:
            queues = TCIFLUSH;
            break;
        case FT_PURGE_TX:
            queues = TCOFLUSH;
            break;
        case FT_PURGE_RX | FT_PURGE_TX:
            queues = TCIOFLUSH;
            break;
        default:
            return FT_OK;  // no queue named (mask 4): nothing to discard
    }
    if (::ioctl(port->fd, TCFLSH, queues) != 0) {
        return fail(FT_IO_ERROR, errno);
    }
    if ((mask & FT_PURGE_TX) != 0) {
        port->transmitter.discarded();
    }
    return FT_OK;
}

FT_STATUS TtyD2xx::FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* received) {
    if (received == nullptr || (buffer == nullptr && count > 0)) {
        return FT_INVALID_PARAMETER;
    }
    *received = 0;
    const auto port = find(handle);
    if (!port) {
        return FT_INVALID_HANDLE;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    const int error =
        transfer(port->fd, POLLIN, deadlineAfter(port->readMs), count, *received,
                 [&](uint32_t at, uint32_t n) { return ::read(port->fd, out + at, n); });
    return error != 0 && *received == 0 ? fail(FT_IO_ERROR, error) : FT_OK;
}

FT_STATUS TtyD2xx::FT_Write(FT_HANDLE handle, const void* buffer, uint32_t count,
                            uint32_t* written) {
    if (written == nullptr || (buffer == nullptr && count > 0)) {
        return FT_INVALID_PARAMETER;
    }
    *written = 0;
    const auto port = find(handle);
    if (!port) {
        return FT_INVALID_HANDLE;
    }
    // A frame cut short before must have been given up by the radio before this one starts.
    port->transmitter.awaitLineReady();
    // The driver interface's write returns once its bytes have left the adapter, and the radio's
    // reply window starts then; the kernel would return as soon as they are queued, up to a
    // second of line time earlier.
    const auto* in = static_cast<const uint8_t*>(buffer);
    const auto deadline = deadlineAfter(port->writeMs);
    uint32_t queued = 0;
    const int error =
        transfer(port->fd, POLLOUT, deadline, count, queued, [&](uint32_t at, uint32_t n) {
            const ssize_t done = ::write(port->fd, in + at, n);
            if (done > 0) {
                port->transmitter.queued(static_cast<uint32_t>(done));
            }
            return done;
        });
    if (port->transmitter.isPseudoTerminal()) {
        // The other end has every byte queued; the rest may follow in a later write unbroken.
        port->transmitter.finish(deadline);
        *written = queued;
        return error != 0 && queued == 0 ? fail(FT_IO_ERROR, error) : FT_OK;
    }
    if (queued < count) {
        port->transmitter.cut();
    } else if (port->transmitter.finish(deadline)) {
        *written = count;
        return FT_OK;
    }
    // Bytes in the adapter cannot be called back, so the radio gets a frame cut short: nothing
    // of it counts as written, and a resend is the whole frame, never a tail completing it.
    return fail(FT_IO_ERROR, error != 0 ? error : ETIMEDOUT);
}

std::wstring TtyD2xx::lastOpenProblem() const {
    std::lock_guard guard(lock_);
    return openProblem_;
}

std::wstring TtyD2xx::namedDeviceProblem(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? formatWide(kNoSuchPort, fromUtf8(path).c_str())
                                                   : std::wstring();
    }
    return S_ISCHR(info.st_mode) ? std::wstring()
                                 : formatWide(kNotASerialPort, fromUtf8(path).c_str());
}

uint32_t TtyD2xx::systemErrorFor(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EBUSY:
        case kOwnTerminal:
            return kSystemErrorAccessDenied;
        case EIO:
        case ENODEV:
        case ENXIO:
            return kSystemErrorNotFunctioning;
        default:
            return kApplicationErrorBit | static_cast<uint32_t>(error);
    }
}

std::wstring TtyD2xx::describeOpenProblem(const std::string& path, int error) {
    const std::wstring device = fromUtf8(path);
    switch (error) {
        case ENOENT:
            return formatWide(kNoSuchPort, device.c_str());
        case ENOTTY:
            return formatWide(kNotASerialPort, device.c_str());
        case kOwnTerminal:
            return formatWide(
                L"%ls is the terminal this program runs in, not a programming cable; name the "
                L"cable's port (/dev/ttyUSB0 or the like).",
                device.c_str());
        case EACCES:
        case EPERM:
            return formatWide(
                L"Permission denied on %ls: join the dialout group (sudo usermod -aG dialout "
                L"$USER) and log in again, or install the cable's udev rule %ls.",
                device.c_str(), kUdevRule);
        case EBUSY:
            return formatWide(L"%ls is in use by another program; close it and try again.",
                              device.c_str());
        default:
            return formatWide(L"Cannot open %ls: %ls.", device.c_str(),
                              fromUtf8(std::strerror(error)).c_str());
    }
}

}  // namespace plugshift
