#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim_d2xx.h"

namespace plugshift {

class D2xx;

// Which cable driver a radio command or a window talks through.
struct BackendOptions {
    static constexpr const char* kPort = "--port";
    static constexpr const char* kSimulate = "--simulate";

    std::string port;  // one serial device used as the only cable
    bool simulate = false;
    std::vector<std::string> simFaults;  // kmv-sim's fault syntax
    std::string simCable = "digital";    // digital, echo or unsupported

    // A window's arguments (after the program's name, as UTF-8): --simulate or --port DEVICE,
    // at most one of them; false for anything else.
    static bool parseWindowArguments(const std::vector<std::string>& words,
                                     BackendOptions& options);
};

// The cable driver of one radio command: the serial device named with --port, the simulated
// radio of --simulate, or the programming cables the system lists. The simulated radio lives in
// the data folder between commands (so `info`, `convert`, `info` shows the change): it is loaded
// from there when the command starts and written back by save().
class CableBackend {
public:
    // Where the simulated radio is kept.
    static std::filesystem::path simulatorStatePath(const std::filesystem::path& dataDir);

    // Nothing, with `error` set, when a fault does not parse or the kept radio cannot be read, or
    // when the port named is none (it does not exist, it is no device).
    static std::unique_ptr<CableBackend> open(const BackendOptions& options,
                                              const std::filesystem::path& dataDir,
                                              std::string& error);
    ~CableBackend();
    CableBackend(const CableBackend&) = delete;
    CableBackend& operator=(const CableBackend&) = delete;

    D2xx& driver() { return *driver_; }
    // The simulator, or null for a real cable.
    SimD2xx* simulator() { return simulator_; }
    // Keeps the simulated radio's state for the next command; true at once for a real cable.
    bool save(std::string& error);

private:
    CableBackend() = default;

    std::unique_ptr<D2xx> driver_;
    SimD2xx* simulator_ = nullptr;
    std::filesystem::path statePath_;
};

}  // namespace plugshift
