#pragma once

#include <filesystem>
#include <string>

namespace plugshift {

// Where the tool listens for consoles: a local socket named after the single-instance name, with
// ".console" appended, in the folder of the instance lock: $XDG_RUNTIME_DIR, or the product's
// shared data folder ($XDG_DATA_HOME, else ~/.local/share, then Kestrelon/KMV Plugshift PERU) when
// that is not set. Only the running instance listens there.
class ConsoleAddress {
public:
    static constexpr const char* kInstanceName =
        "B5562DD0-F56D-4608-8F97-8118EFEC84BFQUILLO_PLUGSHIFT_PERU";
    static constexpr const char* kSuffix = ".console";

    // The socket's file name for an instance name.
    static std::string socketName(const std::string& instanceName);
    // The socket the running tool listens on, from the environment as the tool reads it; empty
    // when neither a runtime folder nor a home folder is known.
    static std::filesystem::path defaultPath();
};

}  // namespace plugshift
