// kmv-sim: a simulated KMV radio on a pseudo-terminal. Prints the terminal's path on the first
// line of standard output and serves until SIGINT or SIGTERM; SIGUSR1 saves the state at once.
// The report (--report) is rewritten after every erase and program request and at exit, so a test
// can watch a conversion's progress and check where it erased and whether it programmed unerased
// flash.

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include <CLI/CLI.hpp>

#include "sim/sim_faults.h"
#include "sim/sim_protocol.h"
#include "sim/sim_pty_server.h"
#include "sim/sim_radio.h"
#include "sim/sim_state.h"

namespace {

using namespace plugshift;

std::atomic<bool> stopRequested = false;
std::atomic<bool> saveRequested = false;
static_assert(std::atomic<bool>::is_always_lock_free, "flags are set from signal handlers");

constexpr std::chrono::milliseconds kServeSlice{200};

void onSignal(int signal) {
    if (signal == SIGUSR1) {
        saveRequested = true;
    } else {
        stopRequested = true;
    }
}

void installHandlers() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGUSR1}) {
        sigaction(signal, &action, nullptr);
    }
}

CLI::Validator versionText() {
    return CLI::Validator(
        [](std::string& text) {
            return SimVersion::parse(text) ? std::string() : "expected a version such as R01.02.30";
        },
        "VERSION");
}

std::chrono::microseconds milliseconds(double ms) {
    return std::chrono::microseconds(static_cast<int64_t>(ms * 1000.0));
}

std::string hex(std::span<const uint8_t> bytes) {
    std::string out;
    char buffer[4];
    for (uint8_t b : bytes) {
        std::snprintf(buffer, sizeof buffer, out.empty() ? "%02X" : " %02X", b);
        out += buffer;
    }
    return out;
}

// One line per request: what came in and what the radio made of it.
void trace(const SimRequest& request, const SimReply& reply, std::optional<SimRefusal> refusal) {
    std::cerr << "kmv-sim: " << hex(std::span(&request.opcode, 1)) << " [" << hex(request.body)
              << "] -> ";
    if (refusal) {
        std::cerr << "refused: " << SimResponder::refusalName(*refusal) << "\n";
        return;
    }
    std::cerr << hex(std::span(&reply.opcode, 1)) << " [" << hex(reply.data) << "]\n";
}

// One line per fact, numbers in hexadecimal where they are addresses:
//   kmv-sim-report 1
//   erase-sector 0x84000 1       (erase requests by flash address, refused ones included)
//   erase-dynamic 0xE0000 1
//   programs 16                  (program requests carried out)
//   unerased-programs 0          (of them, those that met flash not erased)
std::string reportText(const SimFlashActivity& activity, const SimFlash& flash) {
    std::string text = "kmv-sim-report 1\n";
    char line[64];
    for (const auto& [name, erases] : {std::pair{"erase-sector", &activity.sectorErases},
                                       std::pair{"erase-dynamic", &activity.dynamicErases}}) {
        for (const auto& [address, count] : *erases) {
            std::snprintf(line, sizeof line, "%s 0x%X %d\n", name, address, count);
            text += line;
        }
    }
    std::snprintf(line, sizeof line, "programs %d\nunerased-programs %d\n", activity.programs,
                  flash.unerasedPrograms());
    return text + line;
}

// Written beside and renamed over, so a reader never sees half a report.
void writeReport(const SimFlashActivity& activity, const SimFlash& flash, const std::string& path) {
    const std::string partial = path + ".partial";
    {
        std::ofstream out(partial, std::ios::trunc);
        out << reportText(activity, flash);
        if (!out) {
            std::cerr << "kmv-sim: cannot write " << partial << "\n";
            return;
        }
    }
    std::error_code ec;
    std::filesystem::rename(partial, path, ec);
    if (ec) {
        std::cerr << "kmv-sim: cannot write " << path << ": " << ec.message() << "\n";
    }
}

// Erases and programs: what a watcher of the report waits for.
bool changesFlash(const SimRequest& request) {
    return request.opcode == simwire::kOpFlash && !request.body.empty() &&
           (request.body[0] == simwire::kFlashEraseSector ||
            request.body[0] == simwire::kFlashEraseDynamic ||
            request.body[0] == simwire::kFlashProgram);
}

bool saveState(const SimRadio& radio, const std::string& path) {
    std::string error;
    if (!SimState::save(radio, path, error)) {
        std::cerr << "kmv-sim: " << error << "\n";
        return false;
    }
    std::cerr << "kmv-sim: state saved to " << path << "\n";
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "A simulated KMV radio behind a pseudo-terminal. The terminal's path is printed "
        "on the first line of standard output."};
    app.set_version_flag("--version", std::string("kmv-sim ") + PLUGSHIFT_VERSION);

    SimRadioConfig config;
    std::string firmware = config.firmware.text();
    std::string keypad = config.keypad.text();
    std::string codeplug = config.codeplug.text();
    app.add_option("--flash-type", config.flashType, "flash layout of the radio")
        ->check(CLI::Range(0, SimFlash::kFlashTypes - 1))
        ->capture_default_str();
    app.add_option("--model", config.model, "model number (11 letters and digits)")
        ->check(CLI::Validator(
            [](std::string& m) {
                return SimRadio::encodeModel(m) ? std::string() : "expected 11 letters and digits";
            },
            "MODEL"))
        ->capture_default_str();
    app.add_option("--serial", config.serial, "serial number (1 to 11 characters)")
        ->check(CLI::Validator(
            [](std::string& s) {
                return !s.empty() && s.size() <= SimRadio::kSerialLength
                           ? std::string()
                           : "expected 1 to 11 characters";
            },
            "SERIAL"))
        ->capture_default_str();
    app.add_option("--firmware", firmware, "firmware version")
        ->check(versionText())
        ->capture_default_str();
    app.add_option("--keypad", keypad, "keypad version")
        ->check(versionText())
        ->capture_default_str();
    app.add_option("--codeplug", codeplug, "codeplug version (kept in the default block)")
        ->check(versionText())
        ->capture_default_str();
    app.add_option("--user-id", config.userPrivateId, "user private ID")->capture_default_str();
    app.add_option("--contacts", config.contacts, "number of contacts")
        ->check(CLI::Range(0, SimRadio::kMaxContacts))
        ->capture_default_str();
    app.add_option("--baud", config.baud, "rate the radio listens at when it powers on")
        ->check(CLI::Range(1200, 921600))
        ->capture_default_str();

    std::string cableMode = "digital";
    SimTiming timing;
    auto toMs = [](std::chrono::microseconds t) { return static_cast<double>(t.count()) / 1000.0; };
    double latencyMs = toMs(timing.latency);
    double eraseMs = toMs(timing.eraseTime);
    double programMs = toMs(timing.programTime);
    double resetMs = toMs(timing.resetTime);
    app.add_option("--cable", cableMode, "cable mode")
        ->check(CLI::IsMember({"digital", "echo", "unsupported"}))
        ->capture_default_str();
    app.add_flag("--pacing,!--no-pacing", timing.pacing,
                 "take the host's bytes off the line and send replies no faster than the line rate "
                 "(5760 bytes/s at 57600); on by default, --no-pacing turns it off")
        ->capture_default_str();
    app.add_option("--latency", latencyMs,
                   "milliseconds before the host sees a reply (16 = an FTDI adapter's default)")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    app.add_option("--erase-time", eraseMs, "milliseconds per erase request")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    app.add_option("--program-time", programMs, "milliseconds per flash program request")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    app.add_option("--reset-time", resetMs, "milliseconds per reset")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();

    std::vector<std::string> faultTexts;
    int randomFaults = 0;
    uint64_t seed = 1;
    bool listFaults = false;
    app.add_option("--fault", faultTexts, "a fault to inject (repeatable; see --list-faults)")
        ->check(CLI::Validator(
            [](std::string& f) {
                return SimFaults::parse(f) ? std::string() : "not a fault; see --list-faults";
            },
            "FAULT"));
    app.add_option("--random-faults", randomFaults, "add this many faults drawn from the seed")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--seed", seed, "seed of every random choice")->capture_default_str();
    app.add_flag("--list-faults", listFaults, "list the faults that can be injected and exit");

    std::string statePath;
    std::string reportPath;
    std::string linkPath;
    app.add_option("--state", statePath,
                   "load the radio from FILE when it exists; save it there at exit and on SIGUSR1");
    app.add_option(
        "--report", reportPath,
        "write the flash requests the radio was sent (erases by address, programs, "
        "programs over unerased flash) to FILE after every erase and program and at exit");
    app.add_option("--link", linkPath, "also make a symbolic link to the terminal at this path");
    bool tracing = false;
    app.add_flag("--trace", tracing, "print every request and the radio's answer on stderr");

    CLI11_PARSE(app, argc, argv);

    if (listFaults) {
        for (const SimFaultInfo& f : SimFaults::catalogue()) {
            std::printf("%-16s %-18s %s\n", f.name, f.syntax, f.description);
        }
        std::printf("\n%s\n", std::string(SimFaults::aimHelp()).c_str());
        return 0;
    }

    config.firmware = *SimVersion::parse(firmware);
    config.keypad = *SimVersion::parse(keypad);
    config.codeplug = *SimVersion::parse(codeplug);
    timing.latency = milliseconds(latencyMs);
    timing.eraseTime = milliseconds(eraseMs);
    timing.programTime = milliseconds(programMs);
    timing.resetTime = milliseconds(resetMs);

    SimRadio radio(config);
    if (!statePath.empty() && std::filesystem::exists(statePath)) {
        std::string error;
        if (!SimState::load(radio, statePath, error)) {
            std::cerr << "kmv-sim: " << error << "\n";
            return 1;
        }
        std::cerr << "kmv-sim: radio loaded from " << statePath << "\n";
    }

    SimFaults faults(seed);
    for (const std::string& text : faultTexts) {
        faults.add(*SimFaults::parse(text));
    }
    for (const SimFault& f : SimFaults::randomPlan(seed, randomFaults, radio.flashType())) {
        faults.add(f);
    }
    for (const SimFault& f : faults.plan()) {
        std::cerr << "kmv-sim: fault " << SimFaults::format(f) << "\n";
    }

    SimPtyServer server(radio, faults, *SimCable::modeNamed(cableMode), timing);
    SimResponder& responder = server.cable().responder();
    if (tracing || !reportPath.empty()) {
        responder.setObserver([&](const SimRequest& request, const SimReply& reply,
                                  std::optional<SimRefusal> refusal) {
            if (tracing) {
                trace(request, reply, refusal);
            }
            if (!reportPath.empty() && changesFlash(request)) {
                writeReport(responder.flashActivity(), radio.flash(), reportPath);
            }
        });
    }
    if (!reportPath.empty()) {
        writeReport(responder.flashActivity(), radio.flash(), reportPath);
    }
    std::string error;
    if (!server.open(error)) {
        std::cerr << "kmv-sim: " << error << "\n";
        return 1;
    }
    if (!linkPath.empty()) {
        std::error_code ec;
        std::filesystem::remove(linkPath, ec);
        std::filesystem::create_symlink(server.path(), linkPath, ec);
        if (ec) {
            std::cerr << "kmv-sim: cannot link " << linkPath << ": " << ec.message() << "\n";
            return 1;
        }
    }
    installHandlers();
    std::cout << server.path() << std::endl;
    std::cerr << "kmv-sim: flash type " << radio.flashType() << ", cable "
              << SimCable::modeName(server.cable().mode()) << ", listening at " << radio.baud()
              << " baud; stop with Ctrl-C\n";

    bool serving = true;
    while (!stopRequested) {
        if (serving) {
            serving = server.serveFor(kServeSlice);
            if (!serving) {
                std::cerr << "kmv-sim: the cable is out; the terminal is closed\n";
            }
        } else {
            std::this_thread::sleep_for(kServeSlice);
        }
        if (saveRequested.exchange(false) && !statePath.empty()) {
            saveState(radio, statePath);
        }
    }
    if (!linkPath.empty()) {
        std::error_code ec;
        std::filesystem::remove(linkPath, ec);
    }
    if (!reportPath.empty()) {
        writeReport(responder.flashActivity(), radio.flash(), reportPath);
    }
    return statePath.empty() || saveState(radio, statePath) ? 0 : 1;
}
