#include "cli/history_command.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "cli/exit_codes.h"
#include "cli/radio_session.h"
#include "conversion/conversion_record.h"
#include "conversion/record_line.h"
#include "platform/system_files.h"

namespace plugshift {

namespace {

using Conversion = ConversionRecord::Conversion;
using SerialUpdate = ConversionRecord::SerialUpdate;

// Controls a terminal would act on: C0, DEL, and C1 (U+0080 to U+009F, two bytes in UTF-8).
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kC1Lead = 0xC2;
constexpr unsigned char kC1First = 0x80;
constexpr unsigned char kC1Last = 0x9F;

std::string escaped(unsigned code) {
    char text[8];
    std::snprintf(text, sizeof text, "\\u%04x", code);
    return text;
}

// A record's value as the terminal may show it: a file name or a radio's reply can hold
// escape sequences, which would otherwise move the cursor or retitle the window.
std::string shown(std::string_view value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        const auto next = i + 1 < value.size() ? static_cast<unsigned char>(value[i + 1]) : 0;
        if (c < kFirstPrintable || c == kDelete) {
            out += escaped(c);
        } else if (c == kC1Lead && next >= kC1First && next <= kC1Last) {
            out += escaped(next);
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string orNone(const std::string& value) {
    return value.empty() ? "none" : shown(value);
}

// ": error" after a result, or nothing.
std::string errorPart(const std::string& error) {
    return error.empty() ? "" : ": " + shown(error);
}

std::string jsonValue(const std::string& value) {
    return value.empty() ? "null" : RecordLine::quoted(value);
}

// Lines of older versions say only whether the update succeeded.
std::string serialResult(const SerialUpdate& update) {
    if (!update.result.empty()) {
        return update.result;
    }
    return update.updated ? SerialUpdate::kUpdated : SerialUpdate::kFailed;
}

// A started update without its end is one the tool never saw end (killed, crashed, power lost).
std::string serialResultText(const SerialUpdate& update) {
    const std::string result = serialResult(update);
    return result == SerialUpdate::kStarted ? "did not end" : shown(result);
}

void printText(const ConversionRecord::History& history, std::ostream& out) {
    out << "Conversions: " << history.conversions.size() << "\n";
    for (const Conversion& c : history.conversions) {
        out << "  " << shown(c.start) << "  SN " << shown(c.serial) << "  " << shown(c.model) << " "
            << shown(c.codeplug) << "  " << ConversionRecord::resultName(c.result)
            << (c.end.empty() ? "" : " " + shown(c.end)) << errorPart(c.error) << "\n    codeplug "
            << shown(c.codeplugFile) << "\n    address map " << shown(c.addressFile)
            << "\n    backup " << orNone(c.backup) << "\n";
        if (!c.finishes.empty()) {
            out << "    finishes " << shown(c.finishes) << "\n";
        }
    }
    out << "Serial-number updates: " << history.serialUpdates.size() << "\n";
    for (const SerialUpdate& u : history.serialUpdates) {
        out << "  " << shown(u.time) << "  " << shown(u.model) << "  " << shown(u.serialBefore)
            << " -> " << shown(u.serialAfter) << "  " << serialResultText(u) << errorPart(u.error)
            << "\n";
        if (!u.serialRead.empty()) {
            out << "    the radio read " << shown(u.serialRead) << " afterwards\n";
        }
    }
}

void printJson(const ConversionRecord::History& history, std::ostream& out) {
    out << "{\n  \"conversions\": [";
    for (size_t i = 0; i < history.conversions.size(); ++i) {
        const Conversion& c = history.conversions[i];
        out << (i == 0 ? "\n" : ",\n") << "    {\"id\": " << jsonValue(c.id)
            << ", \"start\": " << jsonValue(c.start) << ", \"end\": " << jsonValue(c.end)
            << ", \"serial\": " << jsonValue(c.serial) << ", \"model\": " << jsonValue(c.model)
            << ", \"firmware\": " << jsonValue(c.firmware)
            << ", \"codeplug\": " << jsonValue(c.codeplug)
            << ", \"codeplugFile\": " << jsonValue(c.codeplugFile)
            << ", \"addressFile\": " << jsonValue(c.addressFile)
            << ", \"backup\": " << jsonValue(c.backup)
            << ", \"finishes\": " << jsonValue(c.finishes)
            << ", \"result\": " << jsonValue(ConversionRecord::resultName(c.result))
            << ", \"error\": " << jsonValue(c.error) << "}";
    }
    out << (history.conversions.empty() ? "" : "\n  ") << "],\n  \"serialUpdates\": [";
    for (size_t i = 0; i < history.serialUpdates.size(); ++i) {
        const SerialUpdate& u = history.serialUpdates[i];
        out << (i == 0 ? "\n" : ",\n") << "    {\"time\": " << jsonValue(u.time)
            << ", \"model\": " << jsonValue(u.model)
            << ", \"serialBefore\": " << jsonValue(u.serialBefore)
            << ", \"serialAfter\": " << jsonValue(u.serialAfter)
            << ", \"result\": " << jsonValue(serialResult(u))
            << ", \"error\": " << jsonValue(u.error) << ", \"end\": " << jsonValue(u.end)
            << ", \"serialRead\": " << jsonValue(u.serialRead) << "}";
    }
    out << (history.serialUpdates.empty() ? "" : "\n  ")
        << "],\n  \"skippedLines\": " << history.skippedLines << "\n}\n";
}

}  // namespace

int showHistory(const std::filesystem::path& dataDir, bool json, std::ostream& out,
                std::ostream& err) {
    // A mistyped folder would otherwise read as a data folder without a conversion.
    std::error_code ec;
    if (!std::filesystem::is_directory(dataDir, ec)) {
        err << "The data folder " << utf8FromPath(dataDir) << " does not exist.\n";
        return kExitFileProblem;
    }
    const ConversionRecord record(dataDir);
    ConversionRecord::History history;
    std::string reason;
    if (!record.read(history, reason)) {
        err << "The conversion record " << utf8FromPath(record.file())
            << " cannot be read: " << reason << "\n";
        return kExitFileProblem;
    }
    if (json) {
        printJson(history, out);
    } else {
        printText(history, out);
    }
    if (history.skippedLines != 0) {
        // A write cut short by a crash or a power cut; the entries around it are whole.
        err << history.skippedLines << " damaged line(s) of " << utf8FromPath(record.file())
            << " skipped.\n";
    }
    return kExitOk;
}

void addHistoryCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<InstallOptions>();
    auto json = std::make_shared<bool>(false);
    CLI::App* command = app.add_subcommand(
        "history", "List the conversions and serial-number updates of the data folder");
    InstallPaths::addOptions(*command, *options);
    command->add_flag("--json", *json, "print the history as one JSON object");
    command->callback([&exitCode, options, json] {
        exitCode =
            showHistory(InstallPaths::resolve(*options).dataDir, *json, std::cout, std::cerr);
    });
}

}  // namespace plugshift
