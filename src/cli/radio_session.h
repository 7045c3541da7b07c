#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "conversion/radio_opening.h"
#include "tasks/radio_manager.h"

namespace CLI {
class App;
}

namespace plugshift {

class Configuration;
class D2xx;
class RadioInfo;

class ConsolePrompt;
struct BackendOptions;

// Where a radio command talks to the person or script that runs it.
struct CommandIo {
    std::istream& in;       // what --password-stdin reads
    std::ostream& out;      // identities and results
    std::ostream& err;      // progress, failures and why
    ConsolePrompt& prompt;  // questions
    bool redrawProgress;    // err is a terminal: redraw the progress line in place
    // Raised to stop radio work at the end of its request (Ctrl-C, SIGTERM); null: the
    // command's own flag.
    std::atomic<bool>* stop = nullptr;
};

// Where a radio command finds the installation and its data folder.
struct InstallOptions {
    std::string installDir;  // empty: the program's folder/..
    std::string dataDir;     // empty: the user's data folder of the product
};

struct InstallPaths {
    std::filesystem::path installDir;
    std::filesystem::path dataDir;

    // Adds --install-dir and --data-dir to a command.
    static void addOptions(CLI::App& command, InstallOptions& options);
    static InstallPaths resolve(const InstallOptions& options);
    // productDataFolder(dataFolderRoot()), where the window keeps setup.dat and
    // err.log.
    static std::filesystem::path defaultDataDir();

    std::filesystem::path configFile() const;
    std::filesystem::path setupFile() const;
    // Where conversions keep the personality backups.
    std::filesystem::path backupFolder() const;
};

// Adds the options every radio command takes: the cable's (--port, --simulate and the
// simulator's), --install-dir and --data-dir and, for a command that can keep one, --trace.
void addRadioOptions(CLI::App& command, BackendOptions& backend, InstallOptions& install,
                     std::string* traceFile = nullptr);
// Makes `run` the command's action over the process's standard streams and terminal; what it
// returns is the exit code.
void setRadioAction(CLI::App& command, int& exitCode, std::function<int(CommandIo&)> run);

// What every radio command does before the radio: creates the data folder, points err.log at
// it and, on a user's first start, puts the installation's setup file in place. false when the
// folder cannot be made (the reason in `problem`).
bool prepareDataFolder(const InstallPaths& paths, std::string& problem);

// Loads config.xml and setup.dat into the process-wide Configuration and checks its region, as
// the desktop application starts: on failure the reason is written to err.log and returned in
// `problem`, and the error chain is left empty.
bool loadInstallation(const InstallPaths& paths, std::wstring& problem);

// The message of a failed step, then the error chain root cause first; the chain is emptied.
// Returns exitCode.
int reportFailure(std::ostream& err, const std::wstring& message, int exitCode);

// What a radio command needs before it reaches for the cable.
enum class CommandNeeds {
    DataFolder,    // the data folder alone
    Installation,  // the data folder, then config.xml and setup.dat loaded and checked
};

// The start of a radio command: kExitOk, or kExitFileProblem once the reason has gone to err.
int prepareCommand(const InstallPaths& paths, CommandNeeds needs, std::ostream& err);

// The radio side of one command: the radio manager over the cable driver, and the opening that
// every radio workflow shares. The radio is disconnected when the session ends.
class RadioSession : private CableCountQuestion {
public:
    using Probe = RadioOpening::Probe;
    using Identity = RadioOpening::Identity;

    explicit RadioSession(D2xx& driver);
    ~RadioSession() override;
    RadioSession(const RadioSession&) = delete;
    RadioSession& operator=(const RadioSession&) = delete;

    // The one-cable check, connect, the cable-mode probe and the identity read. kExitOk, or the
    // exit code after the message and the error chain have gone to err.
    int open(Probe probe, std::ostream& err, Identity identity = Identity::Full);
    // The last opening read every identity item.
    bool identityComplete() const { return identityComplete_; }
    // Reads the identity again (after radio work); false with the chain left as it is.
    bool rereadIdentity();
    void disconnect();

    RadioManager& manager() { return manager_; }
    RadioInfo& radio() { return manager_.radioInfo(); }

private:
    bool removeExtraCables(int count) override;

    RadioManager manager_;
    bool identityComplete_ = false;
};

// How a radio command reaches its radio.
struct RadioFrame {
    const BackendOptions& backend;
    RadioSession::Probe probe;
    std::string traceFile = {};           // empty: no trace
    int cableFailure = kExitFileProblem;  // the exit code when the cable driver cannot be had
    RadioSession::Identity identity = RadioSession::Identity::Full;
};

// Runs a radio command's own work in the frame they all share: opens the cable driver (the
// simulated radio loaded from the data folder), the frame trace and the session with its probe,
// runs the work on the open session, and keeps the simulated radio for the next command. The
// work's exit code, or the frame's once the reason has gone to err.
int runOnRadio(const RadioFrame& frame, const InstallPaths& paths, std::ostream& err,
               const std::function<int(RadioSession&)>& work);

// A value a command shows after the identity's.
struct IdentityRow {
    const char* label;
    const char* key;                    // its JSON name
    std::optional<std::wstring> value;  // none: N/A, or null in JSON
    // An erased value's bytes in hex, which JSON keeps beside the null as "<key>Bytes".
    std::string erasedBytes = {};
};

// What the main window shows of the radio, one line per value ("N/A" without a value, or for an
// erased one), or as one JSON object, followed by the extra rows. The radio type needs the
// configuration (null: N/A).
void printIdentity(const RadioInfo& radio, const Configuration* configuration, std::ostream& out,
                   bool json = false, const std::vector<IdentityRow>& extra = {});

}  // namespace plugshift
