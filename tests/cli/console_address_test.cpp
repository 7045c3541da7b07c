// Where a console finds the tool's socket.

#include <gtest/gtest.h>

#include <cstdlib>

#include "desktop/console_address.h"

namespace plugshift {
namespace {

TEST(ConsoleAddressTest, SocketBesideTheInstanceLock) {
    EXPECT_EQ(ConsoleAddress::socketName("NAME"), "NAME.console");
    ::setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    EXPECT_EQ(ConsoleAddress::defaultPath(),
              "/run/user/1000/B5562DD0-F56D-4608-8F97-8118EFEC84BFQUILLO_PLUGSHIFT_PERU.console");
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(ConsoleAddress::defaultPath().parent_path(), "/data/Kestrelon/KMV Plugshift PERU");
    ::setenv("XDG_DATA_HOME", "relative", 1);
    ::setenv("HOME", "/home/station", 1);
    EXPECT_EQ(ConsoleAddress::defaultPath().parent_path(),
              "/home/station/.local/share/Kestrelon/KMV Plugshift PERU");
}

}  // namespace
}  // namespace plugshift
