#include "cli/history_command.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <string>

#include "cli/exit_codes.h"
#include "cli/radio_session.h"
#include "conversion/conversion_record.h"
#include "conversion/record_line.h"

namespace plugshift {

namespace {

using Conversion = ConversionRecord::Conversion;
using SerialUpdate = ConversionRecord::SerialUpdate;

std::string orNone(const std::string& value) {
    return value.empty() ? "none" : value;
}

std::string jsonValue(const std::string& value) {
    return value.empty() ? "null" : RecordLine::quoted(value);
}

void printText(const ConversionRecord::History& history, std::ostream& out) {
    out << "Conversions: " << history.conversions.size() << "\n";
    for (const Conversion& c : history.conversions) {
        out << "  " << c.start << "  SN " << c.serial << "  " << c.model << " " << c.codeplug
            << "  " << ConversionRecord::resultName(c.result) << (c.end.empty() ? "" : " " + c.end)
            << (c.error.empty() ? "" : ": " + c.error) << "\n    codeplug " << c.codeplugFile
            << "\n    address map " << c.addressFile << "\n    backup " << orNone(c.backup) << "\n";
        if (!c.finishes.empty()) {
            out << "    finishes " << c.finishes << "\n";
        }
    }
    out << "Serial-number updates: " << history.serialUpdates.size() << "\n";
    for (const SerialUpdate& u : history.serialUpdates) {
        out << "  " << u.time << "  " << u.model << "  " << u.serialBefore << " -> "
            << u.serialAfter << "  " << (u.updated ? "updated" : "failed")
            << (u.error.empty() ? "" : ": " + u.error) << "\n";
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
            << ", \"result\": " << jsonValue(u.updated ? "updated" : "failed")
            << ", \"error\": " << jsonValue(u.error) << "}";
    }
    out << (history.serialUpdates.empty() ? "" : "\n  ")
        << "],\n  \"skippedLines\": " << history.skippedLines << "\n}\n";
}

}  // namespace

int showHistory(const std::filesystem::path& dataDir, bool json, std::ostream& out,
                std::ostream& err) {
    const ConversionRecord record(dataDir);
    ConversionRecord::History history;
    std::string reason;
    if (!record.read(history, reason)) {
        err << "The conversion record " << record.file().string() << " cannot be read: " << reason
            << "\n";
        return kExitFileProblem;
    }
    if (json) {
        printJson(history, out);
    } else {
        printText(history, out);
    }
    if (history.skippedLines != 0) {
        // A write cut short by a crash or a power cut; the entries around it are whole.
        err << history.skippedLines << " damaged line(s) of " << record.file().string()
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
