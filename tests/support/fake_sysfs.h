#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace plugshift::test {

// A throw-away sysfs, /dev and /proc shaped like the kernel's for USB serial adapters: each
// ttyUSBn sits below a USB interface below a USB device (which has idVendor and perhaps a
// product), below a host controller that has a product of its own. bus/usb/devices lists the
// USB devices, bus/usb-serial/devices the ttys; interfaces and ttys link to their driver.
class FakeSysfs {
public:
    struct Adapter {
        std::optional<std::string> product;
        std::string vendor = "0403";
        // Bound to the USB interface (and the tty's usb-serial driver); empty: nothing bound.
        std::string driver = "ftdi_sio";
        // Whether the driver made ttyUSB<number>; never without a driver.
        bool tty = true;
        // ftdi_sio's latency_timer attribute; other drivers have none.
        std::string latencyMs = "16";
    };

    FakeSysfs();
    ~FakeSysfs();
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    // Adds ttyUSB<number> on ftdi_sio; a device without a product string when product is empty.
    void addSerial(unsigned number, const std::optional<std::string>& product);
    // Adds USB device 1-<number + 1> as the adapter says, with ttyUSB<number> when it has one.
    void addAdapter(unsigned number, const Adapter& adapter);
    // Makes <dev>/ttyUSB<number> a link to a real device node, e.g. a pseudo-terminal.
    void linkNode(unsigned number, const std::filesystem::path& target);
    // Makes <dev>/ttyUSB<number> a plain file with the mode bits (its owner and group are the
    // test's own); returns its path.
    std::filesystem::path addNode(unsigned number, mode_t mode);
    // Adds /proc/<pid> with its comm and descriptors 3, 4, ... linked to the files.
    void addProcess(pid_t pid, const std::string& comm,
                    const std::vector<std::filesystem::path>& openFiles = {});

    std::filesystem::path root() const { return root_; }
    std::filesystem::path sysRoot() const { return root_ / "sys"; }
    std::filesystem::path devDir() const { return root_ / "dev"; }
    std::filesystem::path procRoot() const { return root_ / "proc"; }
    std::filesystem::path latencyTimer(unsigned number) const;

private:
    std::filesystem::path root_;
};

}  // namespace plugshift::test
