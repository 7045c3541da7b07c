#include "cli/console/console_commands.h"

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <chrono>
#include <iostream>
#include <memory>

#include "cli/console/console_client.h"
#include "desktop/console_address.h"

namespace plugshift {

namespace {

using Clock = std::chrono::steady_clock;

const char* requestName(ConsoleRequest request) {
    switch (request) {
        case ConsoleRequest::EnterTestMode:
            return ConsoleMessage::kEnterTestMode;
        case ConsoleRequest::ExitTestMode:
            return ConsoleMessage::kExitTestMode;
        case ConsoleRequest::Start:
            break;
    }
    return ConsoleMessage::kStart;
}

// What the lines after a request told.
struct Answer {
    bool answered = false;
    int64_t result = 0;
    bool acknowledged = false;
};

// Why a wait ended without what it waited for, as an exit code with its message.
int waitFailed(ConsoleClient::Received how, double seconds, const char* waitingFor,
               std::ostream& err) {
    if (how == ConsoleClient::Received::TimedOut) {
        err << "No " << waitingFor << " from the tool within " << seconds << " s.\n";
        return kConsoleTimedOut;
    }
    err << "The tool closed the connection before its " << waitingFor << ".\n";
    return kConsoleNoTool;
}

// Reads until the RESULT line of the request, noting the acknowledgement that comes before it.
ConsoleClient::Received readAnswer(ConsoleClient& client, const char* name, Clock::time_point end,
                                   Answer& answer) {
    for (;;) {
        ConsoleMessage message;
        const ConsoleClient::Received got = client.receive(message, end);
        if (got == ConsoleClient::Received::Garbled) {
            continue;
        }
        if (got != ConsoleClient::Received::Message) {
            return got;
        }
        if (message.name == ConsoleMessage::kResult) {
            answer.answered = true;
            answer.result = message.wParam;
            return got;
        }
        if (message.name == name && message.lParam == ConsoleMessage::kReplyValue) {
            answer.acknowledged = true;
        }
    }
}

int testModeAnswer(ConsoleRequest request, const Answer& answer, std::ostream& out,
                   std::ostream& err) {
    const bool entering = request == ConsoleRequest::EnterTestMode;
    if (answer.acknowledged) {
        out << (entering ? "The tool is in test mode.\n" : "The tool has left test mode.\n");
        return kConsoleOk;
    }
    if (entering && answer.result == 0) {
        err << "The tool's user declined test mode.\n";
    } else {
        err << "The tool ignored the request.\n";
    }
    return kConsoleRefused;
}

int waitForEnd(ConsoleClient& client, const ConsoleOptions& options, Clock::time_point end,
               std::ostream& out, std::ostream& err) {
    for (;;) {
        ConsoleMessage message;
        const ConsoleClient::Received got = client.receive(message, end);
        if (got == ConsoleClient::Received::Garbled) {
            continue;
        }
        if (got != ConsoleClient::Received::Message) {
            if (got == ConsoleClient::Received::TimedOut) {
                err << "Outside test mode the tool shows the result on its screen and sends "
                       "none.\n";
            }
            return waitFailed(got, options.timeoutSeconds, "conversion result", err);
        }
        if (message.name != ConsoleMessage::kEnd) {
            continue;
        }
        if (message.lParam == ConsoleMessage::kEndSuccess) {
            out << "Convert successful.\n";
            return kConsoleOk;
        }
        err << "Convert failed. The tool's err.log tells why.\n";
        return kConsoleConvertFailed;
    }
}

}  // namespace

int runConsoleRequest(ConsoleRequest request, const ConsoleOptions& options, ConsoleClient& client,
                      std::ostream& out, std::ostream& err) {
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(options.timeoutSeconds));
    const char* name = requestName(request);
    std::string problem;
    if (!client.request(name, problem)) {
        err << "Cannot send the request: " << problem << "\n";
        return kConsoleNoTool;
    }
    Answer answer;
    const ConsoleClient::Received got = readAnswer(client, name, end, answer);
    if (!answer.answered) {
        return waitFailed(got, options.timeoutSeconds, "answer", err);
    }
    if (request != ConsoleRequest::Start) {
        return testModeAnswer(request, answer, out, err);
    }
    if (answer.result != ConsoleMessage::kStarted) {
        err << "The tool ignored the start: another operation is under way, or the request "
               "was refused.\n";
        return kConsoleRefused;
    }
    out << "The conversion has started.\n";
    return options.wait ? waitForEnd(client, options, end, out, err) : kConsoleOk;
}

int runConsole(ConsoleRequest request, const ConsoleOptions& options, std::ostream& out,
               std::ostream& err) {
    const std::filesystem::path socket = options.socket.empty()
                                             ? ConsoleAddress::defaultPath()
                                             : std::filesystem::path(options.socket);
    ConsoleClient client(static_cast<int64_t>(::getpid()));
    std::string problem;
    if (!client.connect(socket, problem)) {
        err << "No KMV Plugshift PERU tool is running for this user: " << problem
            << ".\nStart plugshift first (only its first instance listens for consoles).\n";
        return kConsoleNoTool;
    }
    return runConsoleRequest(request, options, client, out, err);
}

void addConsoleCommands(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ConsoleOptions>();
    app.add_option("--socket", options->socket,
                   std::string("the tool's console socket (default: ") +
                       ConsoleAddress::socketName(ConsoleAddress::kInstanceName) +
                       " in $XDG_RUNTIME_DIR, or in the tool's data folder when that is not set)");
    app.add_option("--timeout", options->timeoutSeconds,
                   "seconds to wait for the answer and, with start --wait, for the result")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    const struct {
        const char* name;
        const char* help;
        ConsoleRequest request;
    } commands[] = {
        {"enter-test-mode",
         "Put the tool into test mode (its user confirms once): conversions then run without "
         "questions and report their result here",
         ConsoleRequest::EnterTestMode},
        {"exit-test-mode", "Take the tool out of test mode", ConsoleRequest::ExitTestMode},
        {"start", "Start a conversion of the radio on the tool's cable, if the tool is idle",
         ConsoleRequest::Start},
    };
    for (const auto& c : commands) {
        CLI::App* command = app.add_subcommand(c.name, c.help);
        if (c.request == ConsoleRequest::Start) {
            command->add_flag("--wait", options->wait,
                              "wait for the result (test mode only) and exit 0 on success, 1 on "
                              "failure");
        }
        command->callback([&exitCode, options, request = c.request] {
            exitCode = runConsole(request, *options, std::cout, std::cerr);
        });
    }
    app.footer(
        "Exit codes: 0 done (with --wait: converted), 1 conversion failed, 2 no tool running or "
        "connection lost, 3 request ignored or declined, 4 timed out.");
}

}  // namespace plugshift
