#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace plugshift {

class Configuration;
class D2xx;

// `info`: reads the identity of the radio on the one programming cable and prints what the main
// window shows: radio type, region code, model, serial number, the three versions and the user
// private ID, and whether the radio's last conversion did not end (the conversion record of the
// data folder). A radio that answers only its serial number is shown when that is so. The exit
// codes are in kInfoExitCodes.
void addInfoCommand(CLI::App& app, int& exitCode);

inline constexpr int kInfoOk = 0;
inline constexpr int kInfoNoCable = 1;
inline constexpr int kInfoSeveralCables = 2;
inline constexpr int kInfoNotConnected = 3;
inline constexpr int kInfoCableWrongMode = 4;
inline constexpr int kInfoCableUnsupported = 5;
inline constexpr int kInfoModelNotSupported = 6;
inline constexpr int kInfoNoConfiguration = 7;
inline constexpr int kInfoUnfinishedConversion = 8;

extern const char* const kInfoExitCodes;

struct InfoOutput {
    std::ostream& out;  // the identity
    std::ostream& err;  // what went wrong, and why
    bool json = false;
    // The data folder whose conversion record is looked up; empty: none is.
    std::filesystem::path dataDir = {};
    // The command line that finishes an unfinished conversion; empty: plain `convert --yes`.
    std::string finishCommand = {};
};

// The command over a cable driver the caller holds (the program itself opens the one its options
// name); configuration is null when it could not be loaded, and configurationProblem then says
// why. Returns the exit code.
int showRadioInfo(D2xx& driver, const Configuration* configuration,
                  const std::wstring& configurationProblem, InfoOutput output);

}  // namespace plugshift
