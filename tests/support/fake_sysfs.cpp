#include "fake_sysfs.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>

namespace plugshift::test {

namespace fs = std::filesystem;

namespace {
const char* const kController = "devices/pci0000:00/0000:00:14.0/usb1";
const char* const kCableDriver = "ftdi_sio";

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path) << text << '\n';
}
}  // namespace

FakeSysfs::FakeSysfs() {
    std::string pattern = (fs::temp_directory_path() / "fake-sysfs-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    root_ = pattern;
    const fs::path controller = sysRoot() / kController;
    fs::create_directories(controller);
    writeFile(controller / "idVendor", "1d6b");
    writeFile(controller / "product", "xHCI Host Controller");
    fs::create_directories(sysRoot() / "bus/usb/devices");
    fs::create_directory_symlink(controller, sysRoot() / "bus/usb/devices/usb1");
    fs::create_directories(sysRoot() / "bus/usb-serial/devices");
    fs::create_directories(devDir());
    fs::create_directories(procRoot());
}

FakeSysfs::~FakeSysfs() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void FakeSysfs::addSerial(unsigned number, const std::optional<std::string>& product) {
    addAdapter(number, Adapter{.product = product});
}

void FakeSysfs::addAdapter(unsigned number, const Adapter& adapter) {
    const std::string port = "1-" + std::to_string(number + 1);
    const fs::path device = sysRoot() / kController / port;
    const fs::path interface = device / (port + ":1.0");
    fs::create_directories(interface);
    writeFile(device / "idVendor", adapter.vendor);
    writeFile(device / "idProduct", "6001");
    if (adapter.product) {
        writeFile(device / "product", *adapter.product);
    }
    fs::create_directory_symlink(device, sysRoot() / "bus/usb/devices" / port);
    if (adapter.driver.empty()) {
        return;
    }
    const fs::path usbDriver = sysRoot() / "bus/usb/drivers" / adapter.driver;
    fs::create_directories(usbDriver);
    fs::create_directory_symlink(usbDriver, interface / "driver");
    if (!adapter.tty) {
        return;
    }
    const fs::path tty = interface / ("ttyUSB" + std::to_string(number));
    const fs::path serialDriver = sysRoot() / "bus/usb-serial/drivers" / adapter.driver;
    fs::create_directories(tty);
    fs::create_directories(serialDriver);
    fs::create_directory_symlink(serialDriver, tty / "driver");
    if (adapter.driver == kCableDriver) {
        writeFile(tty / "latency_timer", adapter.latencyMs);
    }
    fs::create_directory_symlink(tty, sysRoot() / "bus/usb-serial/devices" / tty.filename());
}

void FakeSysfs::linkNode(unsigned number, const fs::path& target) {
    fs::create_symlink(target, devDir() / ("ttyUSB" + std::to_string(number)));
}

fs::path FakeSysfs::addNode(unsigned number, mode_t mode) {
    const fs::path node = devDir() / ("ttyUSB" + std::to_string(number));
    std::ofstream{node};
    fs::permissions(node, static_cast<fs::perms>(mode), fs::perm_options::replace);
    return node;
}

void FakeSysfs::addProcess(pid_t pid, const std::string& comm,
                           const std::vector<fs::path>& openFiles) {
    const fs::path dir = procRoot() / std::to_string(pid);
    fs::create_directories(dir / "fd");
    writeFile(dir / "comm", comm);
    int fd = 3;  // after standard input, output and error
    for (const fs::path& file : openFiles) {
        fs::create_symlink(file, dir / "fd" / std::to_string(fd++));
    }
}

fs::path FakeSysfs::latencyTimer(unsigned number) const {
    return sysRoot() / "bus/usb-serial/devices" / ("ttyUSB" + std::to_string(number)) /
           "latency_timer";
}

}  // namespace plugshift::test
