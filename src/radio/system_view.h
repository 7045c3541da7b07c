#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace plugshift {

// Where the cable checks look at the machine, and who is asking. The real system by default;
// tests point every path into a throw-away tree and choose the user.
struct SystemView {
    std::filesystem::path sysRoot = "/sys";
    std::filesystem::path devDir = "/dev";
    std::filesystem::path procRoot = "/proc";
    // The package installs its rule in the first; an administrator may copy it to the second.
    std::vector<std::filesystem::path> udevRuleDirs = {"/lib/udev/rules.d", "/etc/udev/rules.d"};
    std::filesystem::path groupFile = "/etc/group";

    // Real ids, as access(2) judges them; groups as getgroups() reports this login session.
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
    // Empty when the user database does not know the uid.
    std::string userName;
    // The asking process, which is not "another program" holding a tty.
    pid_t selfPid = 0;

    // The running process and its user.
    static SystemView current();
};

}  // namespace plugshift
