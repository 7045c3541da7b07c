#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace plugshift::test {

// Root opens what file modes and exclusive ttys forbid; dropping those capabilities from this
// thread's effective set (and restoring them after) shows the refusals an ordinary user meets.
class WithoutPrivileges {
public:
    WithoutPrivileges() {
        ok_ = ::syscall(SYS_capget, &header_, saved_) == 0;
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, saved_, sizeof reduced);
        reduced[0].effective &=
            ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_SYS_ADMIN));
        ok_ = ok_ && ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutPrivileges() {
        if (ok_) {
            ::syscall(SYS_capset, &header_, saved_);
        }
    }
    WithoutPrivileges(const WithoutPrivileges&) = delete;
    WithoutPrivileges& operator=(const WithoutPrivileges&) = delete;
    bool ok() const { return ok_; }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
    bool ok_ = false;
};

}  // namespace plugshift::test
