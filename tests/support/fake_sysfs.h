#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace plugshift::test {

// A throw-away sysfs and /dev shaped like the kernel's for USB serial adapters: each ttyUSBn
// sits below a USB interface below a USB device (which has idVendor and perhaps a product),
// below a host controller that has a product of its own.
class FakeSysfs {
public:
    FakeSysfs();
    ~FakeSysfs();
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    // Adds ttyUSB<number>; a device without a product string when product is empty.
    void addSerial(unsigned number, const std::optional<std::string>& product);
    // Makes <dev>/ttyUSB<number> a link to a real device node, e.g. a pseudo-terminal.
    void linkNode(unsigned number, const std::filesystem::path& target);

    std::filesystem::path sysRoot() const { return root_ / "sys"; }
    std::filesystem::path devDir() const { return root_ / "dev"; }
    std::filesystem::path latencyTimer(unsigned number) const;

private:
    std::filesystem::path root_;
};

}  // namespace plugshift::test
