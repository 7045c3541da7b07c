#include "radio/cable_doctor.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <optional>

#include "radio/cable_probe.h"
#include "radio/usb_serial.h"

namespace plugshift {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFtdiVendor = "0403";
constexpr std::string_view kCableDriver = "ftdi_sio";
// The driver of a program that drives the USB device itself (libftdi and the like); while it
// holds the adapter the kernel driver is detached and there is no tty.
constexpr std::string_view kUserspaceDriver = "usbfs";
constexpr std::string_view kDialout = "dialout";
constexpr std::string_view kTtyPrefix = "ttyUSB";
constexpr std::string_view kModemManager = "ModemManager";
constexpr std::string_view kBrltty = "brltty";
// The adapter holds received bytes up to its latency timer before passing them on; at the
// default 16 ms every short reply of a conversion waits that long.
constexpr int kLowLatencyMs = 1;
// sysfs attributes and /proc/<pid>/comm are a line of at most a few hundred bytes.
constexpr std::streamsize kLineMax = 512;
constexpr uid_t kRootUid = 0;

// ---- reading the system ----------------------------------------------------------------------

// The first line of a small text file, at most kLineMax bytes; nullopt when it cannot be read.
std::optional<std::string> readLine(const fs::path& path) {
    std::ifstream in(path);
    if (!in) {
        return std::nullopt;
    }
    std::string text(static_cast<size_t>(kLineMax), '\0');
    in.read(text.data(), kLineMax);
    text.resize(static_cast<size_t>(in.gcount()));
    return text.substr(0, text.find('\n'));
}

// What a sysfs "driver" link names; empty when nothing is bound.
std::string driverOf(const fs::path& dir) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(dir / "driver", ec);
    return ec ? std::string() : target.filename().string();
}

bool isTtyUsb(std::string_view name) {
    return name.size() > kTtyPrefix.size() && name.substr(0, kTtyPrefix.size()) == kTtyPrefix &&
           std::all_of(name.begin() + kTtyPrefix.size(), name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

struct UsbInterface {
    std::string name;  // "1-2:1.0"
    std::string driver;
    std::vector<std::string> ttys;
};

struct UsbDevice {
    std::string busId;  // "1-2"
    std::string vendor;
    std::string productId;
    std::optional<std::string> product;
    std::vector<UsbInterface> interfaces;

    bool isCable() const { return product && USBSerial::matchesCable(product->c_str()); }
    bool isFtdi() const { return vendor == kFtdiVendor; }
    std::string label() const { return "usb " + busId; }
    std::string ids() const { return vendor + ":" + productId; }
};

std::vector<std::string> ttysBelow(const fs::path& interfaceDir) {
    std::vector<std::string> ttys;
    std::error_code ec;
    for (fs::directory_iterator it(interfaceDir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (isTtyUsb(name)) {
            ttys.push_back(std::move(name));
        }
    }
    std::sort(ttys.begin(), ttys.end());
    return ttys;
}

UsbDevice readUsbDevice(const fs::path& dir) {
    UsbDevice device;
    device.busId = dir.filename().string();
    device.vendor = readLine(dir / "idVendor").value_or("");
    device.productId = readLine(dir / "idProduct").value_or("");
    device.product = readLine(dir / "product");
    // Its interfaces are the sub-folders "<device>:<configuration>.<interface>".
    const std::string prefix = device.busId + ":";
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0) {
            device.interfaces.push_back({name, driverOf(it->path()), ttysBelow(it->path())});
        }
    }
    std::sort(device.interfaces.begin(), device.interfaces.end(),
              [](const UsbInterface& a, const UsbInterface& b) { return a.name < b.name; });
    return device;
}

// The USB devices worth a look: cables by their name and any FTDI adapter.
std::vector<UsbDevice> usbCandidates(const fs::path& usbDevices) {
    std::vector<UsbDevice> found;
    std::error_code ec;
    for (fs::directory_iterator it(usbDevices, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code missing;
        // Interfaces are listed beside the devices; only a device has a vendor id.
        if (name.find(':') != std::string::npos || !fs::exists(it->path() / "idVendor", missing)) {
            continue;
        }
        UsbDevice device = readUsbDevice(it->path());
        if (device.isCable() || device.isFtdi()) {
            found.push_back(std::move(device));
        }
    }
    std::sort(found.begin(), found.end(),
              [](const UsbDevice& a, const UsbDevice& b) { return a.busId < b.busId; });
    return found;
}

struct GroupEntry {
    std::string name;
    gid_t gid;
    std::vector<std::string> members;
};

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1) {
        parts.push_back(text.substr(from, at - from));
    }
    parts.push_back(text.substr(from));
    return parts;
}

// The group database, "name:password:gid:member,member" a line; nullopt when unreadable.
std::optional<std::vector<GroupEntry>> readGroups(const fs::path& file) {
    std::ifstream in(file);
    if (!in) {
        return std::nullopt;
    }
    std::vector<GroupEntry> groups;
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> fields = split(line, ':');
        gid_t gid = 0;
        if (fields.size() < 3 || fields[0].empty()) {
            continue;
        }
        const auto [end, ec] =
            std::from_chars(fields[2].data(), fields[2].data() + fields[2].size(), gid);
        if (ec != std::errc() || end != fields[2].data() + fields[2].size()) {
            continue;
        }
        GroupEntry entry{fields[0], gid, {}};
        if (fields.size() > 3 && !fields[3].empty()) {
            entry.members = split(fields[3], ',');
        }
        groups.push_back(std::move(entry));
    }
    return groups;
}

struct Process {
    std::string pid;
    std::string comm;
    std::vector<std::string> openFiles;

    std::string label() const { return comm + " (pid " + pid + ")"; }
};

struct ProcessTable {
    std::vector<Process> processes;
    // Processes whose open files this user may not see.
    int hidden = 0;
};

ProcessTable readProcesses(const fs::path& procRoot, pid_t self) {
    ProcessTable table;
    const std::string selfPid = std::to_string(self);
    std::error_code ec;
    for (fs::directory_iterator it(procRoot, ec), end; !ec && it != end; it.increment(ec)) {
        std::string pid = it->path().filename().string();
        if (pid.empty() || pid == selfPid ||
            !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        const std::optional<std::string> comm = readLine(it->path() / "comm");
        if (!comm) {
            continue;  // it has ended meanwhile
        }
        Process process{std::move(pid), *comm, {}};
        std::error_code fdError;
        fs::directory_iterator fd(it->path() / "fd", fdError);
        if (fdError == std::errc::permission_denied) {
            ++table.hidden;
        }
        for (const fs::directory_iterator stop; !fdError && fd != stop; fd.increment(fdError)) {
            std::error_code linkError;
            const fs::path target = fs::read_symlink(fd->path(), linkError);
            if (!linkError) {
                process.openFiles.push_back(target.string());
            }
        }
        table.processes.push_back(std::move(process));
    }
    return table;
}

// "crw-rw----"
std::string modeText(mode_t mode) {
    std::string text = S_ISCHR(mode) ? "c" : S_ISDIR(mode) ? "d" : S_ISLNK(mode) ? "l" : "-";
    constexpr mode_t kBits[] = {S_IRUSR, S_IWUSR, S_IXUSR, S_IRGRP, S_IWGRP,
                                S_IXGRP, S_IROTH, S_IWOTH, S_IXOTH};
    for (size_t i = 0; i < std::size(kBits); ++i) {
        text += (mode & kBits[i]) != 0 ? "rwx"[i % 3] : '-';
    }
    return text;
}

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : separator) + part;
    }
    return text;
}

// ---- the checks ------------------------------------------------------------------------------

// One run of the checks over one view of the system: the group database and the process table
// are read once, the findings gathered in order.
class Examination {
public:
    Examination(const SystemView& view, const CableProbe* probe)
        : view_(view),
          probe_(probe),
          groups_(readGroups(view.groupFile)),
          processes_(readProcesses(view.procRoot, view.selfPid)) {}

    void add(DoctorCheck check) { out_.push_back(std::move(check)); }

    // The cable line, the driver of each interface and every tty of a USB device.
    void usbDevice(const UsbDevice& device) {
        const size_t first = out_.size();
        add(cableLine(device));
        for (const UsbInterface& interface : device.interfaces) {
            add(driverLine(interface));
        }
        for (const UsbInterface& interface : device.interfaces) {
            for (const std::string& tty : interface.ttys) {
                ttyLines(view_.devDir / tty, tty, first);
            }
        }
    }

    // An FTDI adapter that is not named as the cable: its line only.
    void otherAdapter(const UsbDevice& device) { add(cableLine(device)); }

    // The USB device above a named ttyUSB, its line and the driver of the tty's interface.
    void usbDeviceOf(const UsbDevice& device, const std::string& interfaceName) {
        add(cableLine(device));
        for (const UsbInterface& interface : device.interfaces) {
            if (interface.name == interfaceName) {
                add(driverLine(interface));
            }
        }
    }

    // Access, other holders and the latency timer of one tty (sysName empty when it is not a
    // USB serial adapter), then the probe when nothing since the line at index since failed.
    void ttyLines(const fs::path& node, const std::string& sysName, size_t since) {
        add(access(node));
        add(holders(node));
        if (!sysName.empty()) {
            if (std::optional<DoctorCheck> latency = latencyLine(node, sysName)) {
                add(std::move(*latency));
            }
        }
        const bool failed =
            std::any_of(out_.begin() + static_cast<ptrdiff_t>(since), out_.end(),
                        [](const DoctorCheck& c) { return c.verdict == Verdict::kFail; });
        if (probe_ != nullptr && !failed) {
            for (DoctorCheck& check : probe_->run(node.string())) {
                add(std::move(check));
            }
            ++probed_;
        }
    }

    size_t size() const { return out_.size(); }

    // The lines about the system as a whole; a probe that was asked for and never ran says so.
    std::vector<DoctorCheck> finish() {
        if (probe_ != nullptr && probed_ == 0) {
            add({"cable-mode", Verdict::kWarn, "", "not run: no cable passed the checks above",
                 "fix what failed, then probe again"});
        }
        add(dialout());
        add(udevRule());
        add(daemon(kModemManager,
                   "it may open the cable's tty to look for a modem: stop it while programming "
                   "(sudo systemctl stop ModemManager)"));
        add(daemon(kBrltty,
                   "it may take the cable's tty for a braille display: without one, remove it "
                   "(sudo apt remove brltty)"));
        return std::move(out_);
    }

private:
    std::string user() const {
        return view_.userName.empty() ? "uid " + std::to_string(view_.uid) : view_.userName;
    }

    const GroupEntry* group(gid_t gid) const {
        if (!groups_) {
            return nullptr;
        }
        const auto it = std::find_if(groups_->begin(), groups_->end(),
                                     [gid](const GroupEntry& g) { return g.gid == gid; });
        return it == groups_->end() ? nullptr : &*it;
    }

    const GroupEntry* group(std::string_view name) const {
        if (!groups_) {
            return nullptr;
        }
        const auto it = std::find_if(groups_->begin(), groups_->end(),
                                     [name](const GroupEntry& g) { return g.name == name; });
        return it == groups_->end() ? nullptr : &*it;
    }

    std::string groupName(gid_t gid) const {
        const GroupEntry* entry = group(gid);
        return entry != nullptr ? entry->name : std::to_string(gid);
    }

    std::string ownerName(uid_t uid) const {
        if (uid == view_.uid && !view_.userName.empty()) {
            return view_.userName;
        }
        return uid == kRootUid ? "root" : std::to_string(uid);
    }

    // The session's groups, as access(2) sees them.
    bool sessionHas(gid_t gid) const {
        return view_.gid == gid ||
               std::find(view_.groups.begin(), view_.groups.end(), gid) != view_.groups.end();
    }

    bool listed(const GroupEntry& entry) const {
        return !view_.userName.empty() && std::find(entry.members.begin(), entry.members.end(),
                                                    view_.userName) != entry.members.end();
    }

    DoctorCheck cableLine(const UsbDevice& device) const {
        const std::string name = device.product ? "\"" + *device.product + "\"" : "no name";
        if (device.isCable()) {
            return {"cable", Verdict::kOk, device.label(), name + " (" + device.ids() + ")", ""};
        }
        if (device.isFtdi()) {
            return {"cable", Verdict::kWarn, device.label(),
                    "FTDI adapter (" + device.ids() + ") with " + name + ", not \"" +
                        USBSerial::kCableDescription + "\"",
                    "if this is the programming cable, its EEPROM was rewritten: the tool finds "
                    "cables by that name only"};
        }
        return {"cable", Verdict::kWarn, device.label(),
                "not an FTDI adapter (" + device.ids() + ", " + name + ")",
                std::string("the radio is programmed through the FTDI cable \"") +
                    USBSerial::kCableDescription + "\""};
    }

    DoctorCheck driverLine(const UsbInterface& interface) const {
        DoctorCheck check{"driver", Verdict::kFail, "usb " + interface.name, "", ""};
        if (interface.driver.empty()) {
            check.detail = "no kernel driver is bound, so there is no tty";
            check.advice = "unplug and replug the cable; if it stays unbound: sudo modprobe " +
                           std::string(kCableDriver);
        } else if (interface.driver == kUserspaceDriver) {
            check.detail = "a program drives the adapter itself (usbfs), so there is no tty";
            check.advice = "close that program, then unplug and replug the cable";
        } else if (interface.driver != kCableDriver) {
            check.detail = "bound to " + interface.driver + ", not " + std::string(kCableDriver);
            check.advice = "unplug and replug the cable; if " + interface.driver +
                           " takes it again, a udev rule or module option binds it there";
        } else if (interface.ttys.empty()) {
            check.detail = std::string(kCableDriver) + " is bound but made no tty";
            check.advice = "unplug and replug the cable";
        } else {
            check.verdict = Verdict::kOk;
            check.detail = std::string(kCableDriver) + ", tty " + joined(interface.ttys, ", ");
        }
        return check;
    }

    // Read and write permission as access(2) grants it, from the node's owner, group and mode.
    DoctorCheck access(const fs::path& node) const {
        DoctorCheck check{"access", Verdict::kFail, node.string(), "", ""};
        struct stat st {};
        if (::stat(node.c_str(), &st) != 0) {
            const int error = errno;
            check.detail = error == ENOENT
                               ? std::string("the device node does not exist")
                               : std::string("cannot look at it: ") + std::strerror(error);
            check.advice = "unplug and replug the cable so that udev creates the node";
            return check;
        }
        const std::string looks =
            modeText(st.st_mode) + " " + ownerName(st.st_uid) + ":" + groupName(st.st_gid);
        if (view_.uid == kRootUid) {
            check.verdict = Verdict::kOk;
            check.detail = "root may read and write it (" + looks + ")";
            return check;
        }
        mode_t wanted = S_IROTH | S_IWOTH;
        std::string how = "as any user";
        if (st.st_uid == view_.uid) {
            wanted = S_IRUSR | S_IWUSR;
            how = "as its owner";
        } else if (sessionHas(st.st_gid)) {
            wanted = S_IRGRP | S_IWGRP;
            how = "through group " + groupName(st.st_gid);
        }
        if ((st.st_mode & wanted) == wanted) {
            check.verdict = Verdict::kOk;
            check.detail = user() + " may read and write it " + how + " (" + looks + ")";
            return check;
        }
        check.detail = user() + " may not read and write it (" + looks + ")";
        check.advice = accessAdvice(st);
        return check;
    }

    std::string accessAdvice(const struct stat& st) const {
        constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
        if (st.st_uid == view_.uid || (st.st_mode & kGroupReadWrite) != kGroupReadWrite) {
            return std::string("install the package's udev rule ") + CableDoctor::kUdevRuleName +
                   " and replug the cable";
        }
        const std::string name = groupName(st.st_gid);
        const GroupEntry* entry = group(st.st_gid);
        if (entry != nullptr && listed(*entry)) {
            return "this login predates joining " + name +
                   ": log out and in again (or run: newgrp " + name + ")";
        }
        return "join the " + name + " group (sudo usermod -aG " + name + " " + user() +
               ") and log in again, or install the package's udev rule";
    }

    DoctorCheck holders(const fs::path& node) const {
        std::vector<std::string> names = {node.string()};
        std::error_code ec;
        const fs::path real = fs::canonical(node, ec);
        if (!ec) {
            names.push_back(real.string());
        }
        std::vector<std::string> found;
        for (const Process& process : processes_.processes) {
            if (std::any_of(process.openFiles.begin(), process.openFiles.end(),
                            [&](const std::string& file) {
                                return std::find(names.begin(), names.end(), file) != names.end();
                            })) {
                found.push_back(process.label());
            }
        }
        if (found.empty()) {
            std::string detail = "no other program has it open";
            if (processes_.hidden > 0) {
                detail += " (the open files of " + std::to_string(processes_.hidden) +
                          " processes of other users cannot be seen)";
            }
            return {"in-use", Verdict::kOk, node.string(), detail, ""};
        }
        return {
            "in-use", Verdict::kFail, node.string(), "held open by " + joined(found, ", "),
            "close " + found.front() + " first: two programs on one line take each other's bytes"};
    }

    // Only ftdi_sio has the timer; another driver's tty has no line here.
    std::optional<DoctorCheck> latencyLine(const fs::path& node, const std::string& sysName) const {
        const fs::path entry = view_.sysRoot / "bus/usb-serial/devices" / sysName;
        const fs::path timer = entry / "latency_timer";
        const std::optional<std::string> text = readLine(timer);
        const std::string device = node.string();
        int ms = 0;
        const bool parsed = text && !text->empty() &&
                            std::from_chars(text->data(), text->data() + text->size(), ms).ptr ==
                                text->data() + text->size();
        if (!parsed) {
            if (driverOf(entry) != kCableDriver) {
                return std::nullopt;
            }
            return DoctorCheck{"latency", Verdict::kWarn, device, "cannot read " + timer.string(),
                               ""};
        }
        if (ms <= kLowLatencyMs) {
            return DoctorCheck{"latency", Verdict::kOk, device,
                               "latency timer " + std::to_string(ms) + " ms", ""};
        }
        return DoctorCheck{
            "latency", Verdict::kWarn, device,
            "latency timer " + std::to_string(ms) +
                " ms: every reply waits that long in the adapter, which slows a conversion",
            "the tool sets 1 ms itself only with write access; otherwise: echo 1 | sudo tee " +
                timer.string()};
    }

    DoctorCheck dialout() const {
        DoctorCheck check{"dialout", Verdict::kWarn, "", "", ""};
        const GroupEntry* entry = group(kDialout);
        if (view_.uid == kRootUid) {
            check.verdict = Verdict::kOk;
            check.detail = "root needs no group to use a tty";
        } else if (!groups_) {
            check.detail = "cannot read the group database " + view_.groupFile.string();
        } else if (entry == nullptr) {
            check.detail = "this system has no dialout group";
            check.advice = std::string("install the package's udev rule ") +
                           CableDoctor::kUdevRuleName + " so the cable's tty is usable";
        } else if (sessionHas(entry->gid)) {
            check.verdict = Verdict::kOk;
            check.detail = user() + " is in dialout";
        } else if (listed(*entry)) {
            check.detail = user() + " is in dialout in " + view_.groupFile.string() +
                           ", but this login predates it";
            check.advice = "log out and in again (or run: newgrp dialout)";
        } else {
            check.detail = user() + " is not in dialout";
            check.advice = "sudo usermod -aG dialout " + user() +
                           ", then log out and in again (not needed where the udev rule grants "
                           "access)";
        }
        return check;
    }

    DoctorCheck udevRule() const {
        for (const fs::path& dir : view_.udevRuleDirs) {
            std::error_code ec;
            if (fs::exists(dir / CableDoctor::kUdevRuleName, ec)) {
                return {"udev-rule", Verdict::kOk, "",
                        "installed: " + (dir / CableDoctor::kUdevRuleName).string(), ""};
            }
        }
        std::vector<std::string> dirs;
        for (const fs::path& dir : view_.udevRuleDirs) {
            dirs.push_back(dir.string());
        }
        return {"udev-rule", Verdict::kWarn, "",
                std::string(CableDoctor::kUdevRuleName) + " is in none of " + joined(dirs, ", "),
                "reinstall the package, or rely on the dialout group"};
    }

    DoctorCheck daemon(std::string_view name, const char* advice) const {
        std::vector<std::string> running;
        for (const Process& process : processes_.processes) {
            if (process.comm == name) {
                running.push_back(process.label());
            }
        }
        const std::string check = name == kModemManager ? "modemmanager" : std::string(name);
        if (running.empty()) {
            return {check, Verdict::kOk, "", std::string(name) + " is not running", ""};
        }
        return {check, Verdict::kWarn, "", "running: " + joined(running, ", "), advice};
    }

    const SystemView& view_;
    const CableProbe* probe_;
    std::optional<std::vector<GroupEntry>> groups_;
    ProcessTable processes_;
    std::vector<DoctorCheck> out_;
    int probed_ = 0;
};

DoctorCheck noCable(const std::vector<UsbDevice>& others, const fs::path& usbDevices) {
    DoctorCheck check{
        "cable", Verdict::kFail, "",
        std::string("no USB device is named \"") + USBSerial::kCableDescription + "\"",
        "plug the cable in; if lsusb does not list it, try another USB port"};
    std::error_code ec;
    if (!fs::is_directory(usbDevices, ec)) {
        check.detail += " (this system shows no USB bus: " + usbDevices.string() + " is missing)";
        check.advice =
            "run the doctor where the cable is plugged in; a container or virtual "
            "machine needs the USB device passed through";
    } else if (!others.empty()) {
        check.detail += "; other FTDI adapters are listed below";
    }
    return check;
}

}  // namespace

CableDoctor::CableDoctor(SystemView view, const CableProbe* probe)
    : view_(std::move(view)), probe_(probe) {}

std::vector<DoctorCheck> CableDoctor::examine() const {
    Examination exam(view_, probe_);
    const fs::path usbDevices = view_.sysRoot / "bus/usb/devices";
    const std::vector<UsbDevice> devices = usbCandidates(usbDevices);
    const auto cables = std::count_if(devices.begin(), devices.end(),
                                      [](const UsbDevice& d) { return d.isCable(); });
    if (cables == 0) {
        exam.add(noCable(devices, usbDevices));
    } else if (cables > 1) {
        exam.add({"cable", Verdict::kWarn, "",
                  std::to_string(cables) + " programming cables are plugged in",
                  "keep one plugged in: the tool works with exactly one cable"});
    }
    for (const UsbDevice& device : devices) {
        if (device.isCable()) {
            exam.usbDevice(device);
        } else {
            exam.otherAdapter(device);
        }
    }
    return exam.finish();
}

std::vector<DoctorCheck> CableDoctor::examinePort(const fs::path& device) const {
    Examination exam(view_, probe_);
    std::error_code ec;
    const fs::path real = fs::canonical(device, ec);
    if (ec) {
        exam.add({"access", Verdict::kFail, device.string(), "no such device",
                  "check the name; plugshift-cli doctor without --port looks for the cables"});
        return exam.finish();
    }
    const std::string name = real.filename().string();
    const fs::path entry = view_.sysRoot / "bus/usb-serial/devices" / name;
    const fs::path ttyDir = isTtyUsb(name) ? fs::canonical(entry, ec) : fs::path();
    // The tty sits below its USB interface, below the USB device.
    const fs::path deviceDir = ttyDir.parent_path().parent_path();
    if (ttyDir.empty() || ec || !fs::exists(deviceDir / "idVendor", ec)) {
        exam.add({"cable", Verdict::kWarn, device.string(),
                  "not a USB serial adapter: the cable, driver and latency checks do not apply",
                  ""});
        exam.ttyLines(device, "", exam.size());
        return exam.finish();
    }
    const size_t first = exam.size();
    exam.usbDeviceOf(readUsbDevice(deviceDir), ttyDir.parent_path().filename().string());
    exam.ttyLines(device, name, first);
    return exam.finish();
}

}  // namespace plugshift
