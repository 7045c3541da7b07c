#include "cable/cable_backend.h"

#include <system_error>

#include "errors/wide_text.h"
#include "platform/system_files.h"
#include "radio/system_cables.h"
#include "sim/sim_cable.h"
#include "sim/sim_faults.h"
#include "sim/sim_state.h"

namespace plugshift {

namespace {
constexpr const char* kStateFile = "simulator/radio.state";
}  // namespace

bool BackendOptions::parseWindowArguments(const std::vector<std::string>& words,
                                          BackendOptions& options) {
    options = {};
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] == kSimulate && options.port.empty()) {
            options.simulate = true;
        } else if (words[i] == kPort && i + 1 < words.size() && options.port.empty() &&
                   !options.simulate) {
            options.port = words[++i];
        } else {
            return false;
        }
    }
    return true;
}

std::filesystem::path CableBackend::simulatorStatePath(const std::filesystem::path& dataDir) {
    return dataDir / kStateFile;
}

std::unique_ptr<CableBackend> CableBackend::open(const BackendOptions& options,
                                                 const std::filesystem::path& dataDir,
                                                 std::string& error) {
    std::unique_ptr<CableBackend> backend(new CableBackend);
    if (!options.simulate) {
        if (options.port.empty()) {
            backend->driver_ = SystemCables::all();
            return backend;
        }
        // A mistyped port would otherwise read as a cable that is not plugged in.
        if (const std::wstring problem = SystemCables::portProblem(options.port);
            !problem.empty()) {
            error = toUtf8(problem);
            return nullptr;
        }
        backend->driver_ = SystemCables::port(options.port);
        return backend;
    }

    SimD2xx::Options simOptions;
    for (const std::string& text : options.simFaults) {
        const std::optional<SimFault> fault = SimFaults::parse(text);
        if (!fault) {
            error = "Not a simulator fault: " + text;
            return nullptr;
        }
        simOptions.faults.push_back(*fault);
    }
    const std::optional<SimCableMode> mode = SimCable::modeNamed(options.simCable);
    if (!mode) {
        error = "Not a cable mode: " + options.simCable;
        return nullptr;
    }
    simOptions.mode = *mode;
    auto simulator = std::make_unique<SimD2xx>(simOptions);
    backend->statePath_ = simulatorStatePath(dataDir);
    std::error_code ec;
    if (std::filesystem::exists(backend->statePath_, ec) &&
        !SimState::load(simulator->radio(), utf8FromPath(backend->statePath_), error)) {
        return nullptr;
    }
    backend->simulator_ = simulator.get();
    backend->driver_ = std::move(simulator);
    return backend;
}

CableBackend::~CableBackend() = default;

bool CableBackend::save(std::string& error) {
    if (simulator_ == nullptr) {
        return true;
    }
    std::error_code ec;
    std::filesystem::create_directories(statePath_.parent_path(), ec);
    if (ec) {
        error = "Cannot create " + utf8FromPath(statePath_.parent_path()) + ": " + ec.message();
        return false;
    }
    return SimState::save(simulator_->radio(), utf8FromPath(statePath_), error);
}

}  // namespace plugshift
