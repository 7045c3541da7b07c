#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "sim/sim_cable.h"
#include "sim/sim_clock.h"

namespace plugshift {

class SimFaults;
class SimRadio;

// Serves a simulated radio on a pseudo-terminal, so the host reaches it through a real serial
// device path. The host's line rate is read from the terminal settings it made on its end (on
// Linux the master sees the slave's termios), so a request sent at a rate the radio does not
// listen at is garbage to it, and a baud switch must be followed on both ends. Time is real:
// pacing, latency, device times and delays all take as long as they say. Once the last host has
// closed the terminal (or was killed), its exclusive hold goes, so the next program can open it.
class SimPtyServer {
public:
    SimPtyServer(SimRadio& radio, SimFaults& faults, SimCableMode mode, const SimTiming& timing);
    ~SimPtyServer();
    SimPtyServer(const SimPtyServer&) = delete;
    SimPtyServer& operator=(const SimPtyServer&) = delete;

    // Creates the pseudo-terminal in raw mode; false with `error` set when the system refuses.
    bool open(std::string& error);
    const std::string& path() const { return path_; }
    // Serves for the duration or until a signal arrives; false once the terminal is gone (the
    // cable was pulled, or the system failed it).
    bool serveFor(std::chrono::milliseconds duration);
    // The rate the host has set on its end of the line (0 before it is open).
    uint32_t hostBaud() const;

    SimCable& cable() { return cable_; }

private:
    void deliverDue();
    // Follows the hosts' opens and closes of the terminal.
    void watchHosts();
    void closeTerminal();

    SimRealClock clock_;
    SimCable cable_;
    int master_ = -1;
    // Our own descriptor on the slave side: keeps the terminal alive (and its settings) while
    // no host has it open.
    int slave_ = -1;
    // Open and close events of the terminal's path, and how many hosts have it open.
    int hostWatch_ = -1;
    int openHosts_ = 0;
    std::string path_;
};

}  // namespace plugshift
