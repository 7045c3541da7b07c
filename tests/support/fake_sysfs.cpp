#include "fake_sysfs.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>

namespace plugshift::test {

namespace fs = std::filesystem;

namespace {
const char* const kController = "devices/pci0000:00/0000:00:14.0/usb1";

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
    fs::create_directories(sysRoot() / "bus/usb-serial/devices");
    fs::create_directories(devDir());
}

FakeSysfs::~FakeSysfs() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void FakeSysfs::addSerial(unsigned number, const std::optional<std::string>& product) {
    const std::string port = "1-" + std::to_string(number + 1);
    const fs::path device = sysRoot() / kController / port;
    const fs::path tty = device / (port + ":1.0") / ("ttyUSB" + std::to_string(number));
    fs::create_directories(tty);
    writeFile(device / "idVendor", "0403");
    if (product) {
        writeFile(device / "product", *product);
    }
    writeFile(tty / "latency_timer", "16");
    fs::create_directory_symlink(tty, sysRoot() / "bus/usb-serial/devices" / tty.filename());
}

void FakeSysfs::linkNode(unsigned number, const fs::path& target) {
    fs::create_symlink(target, devDir() / ("ttyUSB" + std::to_string(number)));
}

fs::path FakeSysfs::latencyTimer(unsigned number) const {
    return sysRoot() / "bus/usb-serial/devices" / ("ttyUSB" + std::to_string(number)) /
           "latency_timer";
}

}  // namespace plugshift::test
