#pragma once

#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace plugshift {

class ConsoleClient;

// plugshift-console's exit codes.
enum ConsoleExit : int {
    kConsoleOk = 0,             // acknowledged; the conversion started, or with --wait succeeded
    kConsoleConvertFailed = 1,  // with --wait: the tool reported a failed conversion
    kConsoleNoTool = 2,         // nothing listens, or the tool closed the connection
    kConsoleRefused = 3,        // the tool ignored the request, or its user declined test mode
    kConsoleTimedOut = 4,       // no answer or result in time
};

struct ConsoleOptions {
    std::string socket;  // empty: where the running tool listens
    double timeoutSeconds = 600;
    bool wait = false;  // start: wait for WM_TOOL_UPDATE_END
};

enum class ConsoleRequest { EnterTestMode, ExitTestMode, Start };

// One request over a connected client, reported on out (what happened) and err (why not); returns
// the exit code.
int runConsoleRequest(ConsoleRequest request, const ConsoleOptions& options, ConsoleClient& client,
                      std::ostream& out, std::ostream& err);

// Connects (with the process id as the console's handle) and runs the request.
int runConsole(ConsoleRequest request, const ConsoleOptions& options, std::ostream& out,
               std::ostream& err);

// The subcommands, their options and --version.
void addConsoleCommands(CLI::App& app, int& exitCode);

}  // namespace plugshift
