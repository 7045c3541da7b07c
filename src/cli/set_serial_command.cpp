#include "cli/set_serial_command.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "cli/console_prompt.h"
#include "cli/exit_codes.h"
#include "cli/terminal_front_end.h"
#include "config/configuration.h"
#include "conversion/dealer_password.h"
#include "conversion/serial_update_workflow.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

constexpr int kProgressScale = 100;

constexpr const char* kPasswordPrompt = "Dealer password: ";
constexpr const char* kNoDealerPassword =
    "The setup file holds no dealer password, so the serial number cannot be changed.";
// The characters of a serial number that have a pattern; any after them are free.
constexpr size_t kPatternLength = 10;
constexpr const char* kPattern =
    "three digits, a digit or capital letter other than O, two capital letters other than I and "
    "O, two digits or capital letters other than I and O, and two digits";
constexpr const char* kNoTerminal =
    "The dealer password is asked on a terminal; without one, give it on standard input with "
    "--password-stdin.";

// The dealer login: the entry must be the setup file's password exactly. On a terminal a wrong
// entry is asked again, as the login dialog does, until it matches or the input ends.
bool logIn(const SetSerialOptions& options, CommandIo& io) {
    Configuration& config = Configuration::instance();
    std::wstring code;
    std::wstring accepted;
    if (!config.dealerCodes(code, accepted)) {
        io.err << kNoDealerPassword << "\n";
        return false;
    }
    const DealerPassword password(code, [&](const std::wstring& right) {
        if (!config.storeAcceptedCode(right)) {
            io.err << "Warning: the accepted password could not be written to "
                   << toUtf8(config.documentPath()) << "\n";
        }
    });
    const std::string wrong = toUtf8(workflowText(kStrPasswordWrong));
    std::string entry;
    if (options.passwordFromStdin) {
        if (!ConsolePrompt::readLine(io.in, entry) || !password.submit(fromUtf8(entry))) {
            io.err << wrong << "\n";
            return false;
        }
        return true;
    }
    if (!io.prompt.interactive()) {
        io.err << kNoTerminal << "\n";
        return false;
    }
    bool again = false;
    return password.askUntilRight([&]() -> std::optional<std::wstring> {
        if (std::exchange(again, true)) {
            io.err << wrong << "\n";
        }
        if (!io.prompt.readSecret(kPasswordPrompt, entry)) {
            return std::nullopt;
        }
        return fromUtf8(entry);
    });
}

// The form a new number must have, said after a refusal: as many characters as the radio's present
// number, the first ten after the serial-number pattern.
std::string expectedForm(const std::wstring& present) {
    const std::string shown = toUtf8(present);
    if (present.empty()) {
        return "The radio reports no serial number, so no new number can replace it.";
    }
    if (present.size() < kPatternLength) {
        return "The radio's present serial number (" + shown + ") has " +
               std::to_string(present.size()) +
               " characters, fewer than any serial number, so no new number can replace it.";
    }
    std::string form = "A new serial number has " + std::to_string(present.size()) +
                       " characters, as the radio's present one (" + shown + "): " + kPattern;
    if (present.size() > kPatternLength) {
        form += ", then " + std::to_string(present.size() - kPatternLength) +
                " more letters, digits or other ASCII characters";
    }
    return form + ".";
}

// A failed update's causes, then which number the radio holds and what to do about it.
void reportAfterFailure(const WorkflowEnd& end, std::ostream& err) {
    for (const ErrorRecord& cause : end.causes) {
        err << "  " << toUtf8(cause.message) << "\n";
    }
    for (const WorkflowOutcome& note : end.notes) {
        err << toUtf8(note.text()) << "\n";
    }
}

int updateSerial(const SetSerialOptions& options, RadioSession& session, CommandIo& io) {
    TerminalFrontEnd frontEnd(io, session, {});
    SerialUpdateWorkflow workflow(Configuration::instance(), session.radio(), frontEnd);
    const std::wstring present = session.radio().serialNumberText();
    const WorkflowEnd end = workflow.run(fromUtf8(options.newSerial), kProgressScale);
    if (!end.converted() || end.rereadFailed) {
        std::wstring message = end.outcome.text();
        if (end.outcome.stringId == kStrSerialIncorrect) {
            message += L"\n" + fromUtf8(expectedForm(present));
        }
        const int code = reportFailure(io.err, message, exitCodeFor(end.outcome));
        reportAfterFailure(end, io.err);
        return code;
    }
    printIdentity(session.radio(), &Configuration::instance(), io.out);
    io.out << toUtf8(end.outcome.text()) << "\n";
    return kExitOk;
}

}  // namespace

int runSetSerial(const SetSerialOptions& options, CommandIo& io) {
    const InstallPaths paths = InstallPaths::resolve(options.install);
    if (const int code = prepareCommand(paths, CommandNeeds::Installation, io.err);
        code != kExitOk) {
        return code;
    }
    if (!logIn(options, io)) {
        return kExitRefused;
    }
    const RadioFrame frame{.backend = options.backend, .probe = RadioSession::Probe::None};
    return runOnRadio(frame, paths, io.err,
                      [&](RadioSession& session) { return updateSerial(options, session, io); });
}

void addSetSerialCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<SetSerialOptions>();
    CLI::App* command =
        app.add_subcommand("set-serial", "Write a new serial number into the radio (dealers only)");
    command->add_option("NEW", options->newSerial, "the new serial number")->required();
    command->add_flag("--password-stdin", options->passwordFromStdin,
                      "read the dealer password from the first line of standard input instead of "
                      "asking for it");
    addRadioOptions(*command, options->backend, options->install);
    command->footer(kExitCodeHelp);
    setRadioAction(*command, exitCode,
                   [options](CommandIo& io) { return runSetSerial(*options, io); });
}

}  // namespace plugshift
