#include "radio/system_view.h"

#include <pwd.h>
#include <unistd.h>

namespace plugshift {

namespace {
// Used when the system gives no hint of how large a user database entry may be.
constexpr long kPasswdBufferFallback = 16384;
}  // namespace

SystemView SystemView::current() {
    SystemView view;
    view.uid = ::getuid();
    view.gid = ::getgid();
    view.selfPid = ::getpid();
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        view.groups.resize(static_cast<size_t>(count));
        const int got = ::getgroups(count, view.groups.data());
        view.groups.resize(got > 0 ? static_cast<size_t>(got) : 0);
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<size_t>(size > 0 ? size : kPasswdBufferFallback));
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(view.uid, &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr) {
        view.userName = found->pw_name;
    }
    return view;
}

}  // namespace plugshift
