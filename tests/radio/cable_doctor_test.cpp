#include "radio/cable_doctor.h"

#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "errors/error_chain.h"
#include "fake_d2xx.h"
#include "fake_sysfs.h"
#include "radio/cable_probe.h"

namespace plugshift {
namespace {

namespace fs = std::filesystem;
using test::FakeD2xx;
using test::FakeSysfs;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Lines = std::vector<std::string>;

constexpr pid_t kSelfPid = 77;
constexpr const char* kCable = "NV PGM Cable";
const Lines kCalmSystem = {"OK dialout", "OK udev-rule", "OK modemmanager", "OK brltty"};

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// A fake machine with the package's rule installed, and a user "alice" who reaches the nodes
// the rig makes through their group alone: the nodes belong to the test's own user and group,
// and that group is alice's dialout, in the database and in her login session.
struct DoctorRig {
    DoctorRig() {
        struct stat st {};
        ::stat(sys.devDir().c_str(), &st);
        dialoutGid = st.st_gid;
        view.sysRoot = sys.sysRoot();
        view.devDir = sys.devDir();
        view.procRoot = sys.procRoot();
        view.udevRuleDirs = {sys.root() / "lib/udev/rules.d", sys.root() / "etc/udev/rules.d"};
        view.groupFile = sys.root() / "etc/group";
        view.uid = st.st_uid + 1;
        view.gid = dialoutGid + 1;
        view.groups = {dialoutGid};
        view.userName = "alice";
        view.selfPid = kSelfPid;
        groups("alice");
        writeFile(view.udevRuleDirs[0] / CableDoctor::kUdevRuleName, "# rule\n");
    }

    // The dialout line of the group database, with its members.
    void groups(const std::string& dialoutMembers) {
        writeFile(view.groupFile, "dialout:x:" + std::to_string(dialoutGid) + ":" + dialoutMembers +
                                      "\nalice:x:" + std::to_string(view.gid) + ":\n");
    }

    fs::path cable(unsigned number,
                   FakeSysfs::Adapter adapter = {.product = kCable, .latencyMs = "1"}) {
        sys.addAdapter(number, adapter);
        return sys.addNode(number, 0660);
    }

    std::vector<DoctorCheck> examine(const CableProbe* probe = nullptr) const {
        return CableDoctor(view, probe).examine();
    }

    FakeSysfs sys;
    SystemView view;
    gid_t dialoutGid = 0;
};

Lines verdicts(const std::vector<DoctorCheck>& checks) {
    Lines out;
    for (const DoctorCheck& c : checks) {
        out.push_back(std::string(verdictName(c.verdict)) + " " + c.name);
    }
    return out;
}

Lines plus(Lines lines, const Lines& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

// "detail -> advice" of the first check whose verdict and name read as line, e.g. "FAIL access".
std::string said(const std::vector<DoctorCheck>& checks, const std::string& line) {
    for (const DoctorCheck& c : checks) {
        if (std::string(verdictName(c.verdict)) + " " + c.name == line) {
            return c.detail + " -> " + c.advice;
        }
    }
    return "(no " + line + ")";
}

const Lines kGoodCable = {"OK cable", "OK driver", "OK access", "OK in-use", "OK latency"};

TEST(CableDoctor, SituationsAndTheirVerdicts) {
    struct Case {
        const char* situation;
        std::function<void(DoctorRig&)> setUp;
        Lines verdicts;
        std::string focus;     // a line whose text must mention...
        std::string mentions;  // ...this
    };
    const Case cases[] = {
        {"no cable", [](DoctorRig&) {}, plus({"FAIL cable"}, kCalmSystem), "FAIL cable",
         "no USB device is named \"NV PGM Cable\""},
        {"one good cable", [](DoctorRig& r) { r.cable(0); }, plus(kGoodCable, kCalmSystem),
         "OK driver", "ftdi_sio, tty ttyUSB0"},
        {"cable in other letter case",
         [](DoctorRig& r) { r.cable(0, {.product = "nv pgm CABLE", .latencyMs = "1"}); },
         plus(kGoodCable, kCalmSystem), "OK cable", "\"nv pgm CABLE\" (0403:6001)"},
        {"FTDI adapter with another name",
         [](DoctorRig& r) { r.cable(0, {.product = "FT232R USB UART"}); },
         plus({"FAIL cable", "WARN cable"}, kCalmSystem), "WARN cable",
         "with \"FT232R USB UART\", not \"NV PGM Cable\" -> if this is the programming cable, "
         "its EEPROM was rewritten"},
        {"cable and an FTDI adapter without a name",
         [](DoctorRig& r) {
             r.cable(0);
             r.cable(1, {.product = std::nullopt});
         },
         plus(plus(kGoodCable, {"WARN cable"}), kCalmSystem), "WARN cable", "with no name"},
        {"a non-FTDI adapter is none of the doctor's business",
         [](DoctorRig& r) { r.cable(0, {.product = "USB-Serial Controller", .vendor = "067b"}); },
         plus({"FAIL cable"}, kCalmSystem), "FAIL cable", "no USB device"},
        {"two cables",
         [](DoctorRig& r) {
             r.cable(0);
             r.cable(1);
         },
         plus(plus(plus({"WARN cable"}, kGoodCable), kGoodCable), kCalmSystem), "WARN cable",
         "2 programming cables are plugged in -> keep one"},
        {"cable bound to another driver",
         [](DoctorRig& r) { r.cable(0, {.product = kCable, .driver = "usbserial_generic"}); },
         plus({"OK cable", "FAIL driver", "OK access", "OK in-use"}, kCalmSystem), "FAIL driver",
         "bound to usbserial_generic, not ftdi_sio"},
        {"cable with no driver bound",
         [](DoctorRig& r) { r.cable(0, {.product = kCable, .driver = ""}); },
         plus({"OK cable", "FAIL driver"}, kCalmSystem), "FAIL driver",
         "no kernel driver is bound, so there is no tty -> unplug and replug the cable; if it "
         "stays unbound: sudo modprobe ftdi_sio"},
        {"cable taken over by a program through usbfs",
         [](DoctorRig& r) { r.cable(0, {.product = kCable, .driver = "usbfs", .tty = false}); },
         plus({"OK cable", "FAIL driver"}, kCalmSystem), "FAIL driver", "usbfs"},
        {"ftdi_sio bound without a tty",
         [](DoctorRig& r) { r.cable(0, {.product = kCable, .tty = false}); },
         plus({"OK cable", "FAIL driver"}, kCalmSystem), "FAIL driver", "made no tty"},
        {"tty node missing",
         [](DoctorRig& r) { r.sys.addAdapter(0, {.product = kCable, .latencyMs = "1"}); },
         plus({"OK cable", "OK driver", "FAIL access", "OK in-use", "OK latency"}, kCalmSystem),
         "FAIL access", "does not exist"},
        {"tty only its owner may use",
         [](DoctorRig& r) {
             fs::permissions(r.cable(0), fs::perms::owner_read | fs::perms::owner_write);
         },
         plus({"OK cable", "OK driver", "FAIL access", "OK in-use", "OK latency"}, kCalmSystem),
         "FAIL access", "alice may not read and write it (-rw------- "},
        {"user not in dialout",
         [](DoctorRig& r) {
             r.cable(0);
             r.groups("");
             r.view.groups.clear();
         },
         {"OK cable", "OK driver", "FAIL access", "OK in-use", "OK latency", "WARN dialout",
          "OK udev-rule", "OK modemmanager", "OK brltty"},
         "FAIL access",
         "join the dialout group (sudo usermod -aG dialout alice) and log in again"},
        {"user in dialout only in /etc/group",
         [](DoctorRig& r) {
             r.cable(0);
             r.groups("bob,alice");
             r.view.groups.clear();
         },
         {"OK cable", "OK driver", "FAIL access", "OK in-use", "OK latency", "WARN dialout",
          "OK udev-rule", "OK modemmanager", "OK brltty"},
         "FAIL access",
         "this login predates joining dialout: log out and in again"},
        {"dialout in the session reaches a tty open to its group",
         [](DoctorRig& r) {
             r.cable(0);
             r.groups("");
         },
         plus(kGoodCable, kCalmSystem), "OK access",
         "alice may read and write it through group dialout"},
        {"no dialout group, tty open to all",
         [](DoctorRig& r) {
             fs::permissions(r.cable(0), fs::perms(0666));
             writeFile(r.view.groupFile, "users:x:100:\n");
             r.view.groups.clear();
         },
         {"OK cable", "OK driver", "OK access", "OK in-use", "OK latency", "WARN dialout",
          "OK udev-rule", "OK modemmanager", "OK brltty"},
         "WARN dialout",
         "no dialout group"},
        {"root may use any tty",
         [](DoctorRig& r) {
             fs::permissions(r.cable(0), fs::perms::owner_read);
             r.view.uid = 0;
             r.view.groups.clear();
         },
         plus(kGoodCable, kCalmSystem), "OK access", "root may read and write it"},
        {"another program holds the tty",
         [](DoctorRig& r) {
             const fs::path node = r.cable(0);
             r.sys.addProcess(12, "bash", {"/dev/pts/1"});
             r.sys.addProcess(4321, "minicom", {"/dev/pts/1", node});
         },
         plus({"OK cable", "OK driver", "OK access", "FAIL in-use", "OK latency"}, kCalmSystem),
         "FAIL in-use", "held open by minicom (pid 4321) -> close minicom (pid 4321) first"},
        {"the asking process is no other program",
         [](DoctorRig& r) { r.sys.addProcess(kSelfPid, "plugshift-cli", {r.cable(0)}); },
         plus(kGoodCable, kCalmSystem), "OK in-use", "no other program has it open"},
        {"ModemManager and brltty running",
         [](DoctorRig& r) {
             r.cable(0);
             r.sys.addProcess(812, "ModemManager");
             r.sys.addProcess(900, "brltty");
         },
         plus(kGoodCable, {"OK dialout", "OK udev-rule", "WARN modemmanager", "WARN brltty"}),
         "WARN modemmanager", "running: ModemManager (pid 812) -> it may open the cable's tty"},
        {"latency timer 16 ms",
         [](DoctorRig& r) { r.cable(0, {.product = kCable, .latencyMs = "16"}); },
         plus({"OK cable", "OK driver", "OK access", "OK in-use", "WARN latency"}, kCalmSystem),
         "WARN latency", "latency timer 16 ms"},
        {"udev rule missing",
         [](DoctorRig& r) {
             r.cable(0);
             fs::remove_all(r.view.udevRuleDirs[0]);
         },
         plus(kGoodCable, {"OK dialout", "WARN udev-rule", "OK modemmanager", "OK brltty"}),
         "WARN udev-rule", "60-kmv-plugshift.rules is in none of"},
        {"udev rule copied by the administrator",
         [](DoctorRig& r) {
             r.cable(0);
             fs::remove_all(r.view.udevRuleDirs[0]);
             writeFile(r.view.udevRuleDirs[1] / CableDoctor::kUdevRuleName, "# rule\n");
         },
         plus(kGoodCable, kCalmSystem), "OK udev-rule", "etc/udev/rules.d/60-kmv-plugshift.rules"},
    };
    for (const Case& c : cases) {
        DoctorRig rig;
        c.setUp(rig);
        const std::vector<DoctorCheck> checks = rig.examine();
        EXPECT_EQ(verdicts(checks), c.verdicts) << c.situation;
        EXPECT_THAT(said(checks, c.focus), HasSubstr(c.mentions)) << c.situation;
    }
}

TEST(CableDoctor, LatencyAdviceNamesTheTimerFile) {
    DoctorRig rig;
    rig.cable(3, {.product = kCable, .latencyMs = "16"});
    EXPECT_THAT(said(rig.examine(), "WARN latency"),
                HasSubstr("echo 1 | sudo tee " + rig.sys.latencyTimer(3).string()));
}

TEST(CableDoctor, LinesNameTheirDevice) {
    DoctorRig rig;
    const fs::path node = rig.cable(0);
    const std::vector<DoctorCheck> checks = rig.examine();
    ASSERT_EQ(checks.size(), 9u);
    EXPECT_EQ(checks[0].device, "usb 1-1");
    EXPECT_EQ(checks[1].device, "usb 1-1:1.0");
    for (size_t i = 2; i < 5; ++i) {
        EXPECT_EQ(checks[i].device, node.string()) << checks[i].name;
    }
    for (size_t i = 5; i < checks.size(); ++i) {
        EXPECT_EQ(checks[i].device, "") << checks[i].name;
    }
}

TEST(CableDoctor, NoUsbBusIsSaidAsSuch) {
    DoctorRig rig;
    fs::remove_all(rig.view.sysRoot / "bus/usb");
    const std::vector<DoctorCheck> checks = rig.examine();
    EXPECT_THAT(said(checks, "FAIL cable"),
                HasSubstr("(this system shows no USB bus: " +
                          (rig.view.sysRoot / "bus/usb/devices").string() + " is missing)"));
}

TEST(CableDoctor, NamedPortIsCheckedWhateverItIs) {
    struct Case {
        const char* situation;
        // Sets the rig up and returns the device to name.
        std::function<fs::path(DoctorRig&)> setUp;
        Lines verdicts;
        std::string focus;
        std::string mentions;
    };
    const Case cases[] = {
        {"a cable through a by-id link",
         [](DoctorRig& r) {
             const fs::path link = r.sys.devDir() / "serial/by-id/usb-NV_PGM_Cable-if00-port0";
             fs::create_directories(link.parent_path());
             fs::create_symlink(r.cable(0), link);
             return link;
         },
         plus(kGoodCable, kCalmSystem), "OK cable", "\"NV PGM Cable\""},
        {"an FTDI adapter with another name",
         [](DoctorRig& r) { return r.cable(1, {.product = "FT232R USB UART", .latencyMs = "1"}); },
         plus({"WARN cable", "OK driver", "OK access", "OK in-use", "OK latency"}, kCalmSystem),
         "WARN cable", "EEPROM"},
        {"a non-FTDI adapter",
         [](DoctorRig& r) {
             return r.cable(
                 0, {.product = "USB-Serial Controller", .vendor = "067b", .driver = "pl2303"});
         },
         plus({"WARN cable", "FAIL driver", "OK access", "OK in-use"}, kCalmSystem), "WARN cable",
         "not an FTDI adapter (067b:6001, \"USB-Serial Controller\")"},
        {"a serial device that is no USB adapter",
         [](DoctorRig& r) {
             const fs::path node = r.sys.devDir() / "ttyS0";
             writeFile(node, "");
             fs::permissions(node, fs::perms(0660));
             return node;
         },
         plus({"WARN cable", "OK access", "OK in-use"}, kCalmSystem), "WARN cable",
         "not a USB serial adapter"},
        {"a device that does not exist", [](DoctorRig& r) { return r.sys.devDir() / "ttyUSB9"; },
         plus({"FAIL access"}, kCalmSystem), "FAIL access", "no such device"},
    };
    for (const Case& c : cases) {
        DoctorRig rig;
        const fs::path device = c.setUp(rig);
        const std::vector<DoctorCheck> checks = CableDoctor(rig.view).examinePort(device);
        EXPECT_EQ(verdicts(checks), c.verdicts) << c.situation;
        EXPECT_THAT(said(checks, c.focus), HasSubstr(c.mentions)) << c.situation;
        // The lines about the tty name it as the user did.
        for (const DoctorCheck& check : checks) {
            if (check.name == "access" || check.name == "in-use" || check.name == "latency") {
                EXPECT_EQ(check.device, device.string()) << c.situation;
            }
        }
    }
}

TEST(CableDoctor, HolderIsFoundThroughTheRealNodeOfANamedLink) {
    DoctorRig rig;
    const fs::path node = rig.cable(0);
    const fs::path link = rig.sys.devDir() / "cable";
    fs::create_symlink(node, link);
    rig.sys.addProcess(4321, "minicom", {fs::canonical(node)});
    EXPECT_THAT(said(CableDoctor(rig.view).examinePort(link), "FAIL in-use"),
                HasSubstr("minicom (pid 4321)"));
}

// The probe reaches a cable only when nothing before it failed.
TEST(CableDoctor, ProbeRunsOnCablesThatPassed) {
    std::vector<std::string> probed;
    const CableProbe probe([&probed](const std::string& path) {
        probed.push_back(path);
        return std::make_shared<FakeD2xx>();  // a digital cable without a radio
    });
    ErrorChain::remove(0);
    {
        DoctorRig rig;
        const fs::path good = rig.cable(0);
        fs::permissions(rig.cable(1), fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(verdicts(rig.examine(&probe)),
                  plus(plus(plus({"WARN cable"}, kGoodCable), {"OK cable-mode", "FAIL identity"}),
                       plus({"OK cable", "OK driver", "FAIL access", "OK in-use", "OK latency"},
                            kCalmSystem)));
        EXPECT_THAT(probed, ElementsAre(good.string()));
    }
    {
        DoctorRig rig;
        rig.cable(0, {.product = kCable, .driver = "usbserial_generic"});
        const std::vector<DoctorCheck> checks = rig.examine(&probe);
        EXPECT_THAT(said(checks, "WARN cable-mode"),
                    HasSubstr("not run: no cable passed the checks above"));
        EXPECT_EQ(probed.size(), 1u);
    }
    ErrorChain::remove(0);
}

}  // namespace
}  // namespace plugshift
