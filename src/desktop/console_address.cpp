#include "desktop/console_address.h"

#include <cstdlib>

#include "platform/process_environment.h"

namespace plugshift {

namespace {

std::filesystem::path environmentFolder(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') {
        return {};
    }
    return std::filesystem::path(value);
}

}  // namespace

std::string ConsoleAddress::socketName(const std::string& instanceName) {
    return instanceName + kSuffix;
}

std::filesystem::path ConsoleAddress::defaultPath() {
    const std::string name = socketName(kInstanceName);
    if (const auto runtime = environmentFolder("XDG_RUNTIME_DIR"); !runtime.empty()) {
        return runtime / name;
    }
    // The shared data folder as the tool finds it: a relative XDG_DATA_HOME does not count.
    std::filesystem::path data = environmentFolder("XDG_DATA_HOME");
    if (data.empty() || data.is_relative()) {
        const auto home = environmentFolder("HOME");
        if (home.empty()) {
            return {};
        }
        data = home / ".local" / "share";
    }
    return productDataFolder(data) / name;
}

}  // namespace plugshift
