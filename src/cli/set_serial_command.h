#pragma once

#include <string>

#include "cable/cable_backend.h"
#include "cli/radio_session.h"

namespace CLI {
class App;
}

namespace plugshift {

struct SetSerialOptions {
    std::string newSerial;
    // Read the password from standard input instead of asking for it on the terminal. It is
    // never taken from the command line, where other users could read it.
    bool passwordFromStdin = false;
    BackendOptions backend;
    InstallOptions install;
};

// `set-serial NEW`: the dealer login and the Update serial number workflow of the desktop
// window. The dealer password is checked against the setup file's and stored as accepted; then
// the radio's identity is read, the new number checked against it and written.
void addSetSerialCommand(CLI::App& app, int& exitCode);

int runSetSerial(const SetSerialOptions& options, CommandIo& io);

}  // namespace plugshift
