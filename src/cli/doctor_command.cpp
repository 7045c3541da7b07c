#include "cli/doctor_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "radio/cable_probe.h"
#include "radio/driver_doctor.h"
#include "radio/system_cables.h"
#ifndef _WIN32
#include "radio/cable_doctor.h"
#include "radio/system_view.h"
#endif

namespace plugshift {

namespace {

constexpr int kExitHealthy = 0;
constexpr int kExitFailed = 1;
constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

struct Counts {
    int ok = 0;
    int warn = 0;
    int fail = 0;
};

Counts count(const std::vector<DoctorCheck>& checks) {
    Counts counts;
    for (const DoctorCheck& check : checks) {
        switch (check.verdict) {
            case Verdict::kOk:
                ++counts.ok;
                break;
            case Verdict::kWarn:
                ++counts.warn;
                break;
            case Verdict::kFail:
                ++counts.fail;
                break;
        }
    }
    return counts;
}

// The length of the well-formed UTF-8 sequence at the start of text; 0 when it is not one.
size_t utf8Sequence(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    size_t length = 0;
    unsigned char low = 0x80;   // bounds of the second byte, which rule out overlong forms
    unsigned char high = 0xBF;  // and surrogates
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    if (length == 0 || text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// Texts come from outside (a USB product name, a process name): invalid UTF-8 becomes U+FFFD,
// and control characters are escaped (JSON) or replaced (terminal), so that no process name
// can send escape sequences to the terminal.
std::string clean(std::string_view text, bool json) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t length = utf8Sequence(text.substr(i));
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (length == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        if (json && (c == '"' || c == '\\')) {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += json ? escaped : "?";
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}

std::string jsonString(std::string_view text) {
    return "\"" + clean(text, true) + "\"";
}

void printJson(const std::vector<DoctorCheck>& checks, const Counts& counts, std::ostream& out) {
    const Verdict result = counts.fail > 0   ? Verdict::kFail
                           : counts.warn > 0 ? Verdict::kWarn
                                             : Verdict::kOk;
    out << "{\n  \"result\": " << jsonString(verdictName(result))
        << ",\n  \"counts\": {\"ok\": " << counts.ok << ", \"warn\": " << counts.warn
        << ", \"fail\": " << counts.fail << "},\n  \"checks\": [";
    for (size_t i = 0; i < checks.size(); ++i) {
        const DoctorCheck& c = checks[i];
        out << (i == 0 ? "\n" : ",\n") << "    {\"name\": " << jsonString(c.name)
            << ", \"verdict\": " << jsonString(verdictName(c.verdict))
            << ", \"device\": " << jsonString(c.device) << ", \"detail\": " << jsonString(c.detail)
            << ", \"advice\": " << jsonString(c.advice) << "}";
    }
    out << (checks.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

// One line a check: verdict, name, "device: detail", then " -> advice" when there is some.
void printTable(const std::vector<DoctorCheck>& checks, const Counts& counts, std::ostream& out) {
    size_t nameWidth = 0;
    for (const DoctorCheck& check : checks) {
        nameWidth = std::max(nameWidth, check.name.size());
    }
    for (const DoctorCheck& c : checks) {
        std::string line = verdictName(c.verdict);
        line.resize(6, ' ');
        line += c.name;
        line.resize(6 + nameWidth + 2, ' ');
        line += clean(c.device.empty() ? c.detail : c.device + ": " + c.detail, false);
        if (!c.advice.empty()) {
            line += " -> " + clean(c.advice, false);
        }
        out << line << '\n';
    }
    out << '\n';
    if (counts.fail > 0) {
        out << counts.fail << " FAIL, " << counts.warn << " WARN, " << counts.ok
            << " OK: the cable will not answer until every FAIL is mended.\n";
    } else {
        out << "No FAIL (" << counts.warn << " WARN, " << counts.ok << " OK).\n";
    }
}

struct DoctorOptions {
    std::string port;
    bool json = false;
    bool probe = false;
};

#ifdef _WIN32
// Windows shows the cable only through its drivers: FTDI's library and the COM ports.
std::vector<DoctorCheck> examine(const DoctorOptions& options, const CableProbe* probe) {
    const std::unique_ptr<D2xx> cables =
        options.port.empty() ? SystemCables::all() : SystemCables::port(options.port);
    return DriverDoctor(*cables, probe).examine();
}
#else
std::vector<DoctorCheck> examine(const DoctorOptions& options, const CableProbe* probe) {
    const CableDoctor doctor(SystemView::current(), probe);
    if (!options.port.empty()) {
        return doctor.examinePort(options.port);
    }
    std::vector<DoctorCheck> checks = doctor.examine();
    // Which of the tool's drivers lists the cable, after the cable's own line.
    const std::optional<DoctorCheck> foundBy = DriverDoctor(*SystemCables::all()).foundBy();
    if (foundBy && !checks.empty()) {
        checks.insert(checks.begin() + 1, *foundBy);
    }
    return checks;
}
#endif

}  // namespace

int printDoctorReport(const std::vector<DoctorCheck>& checks, bool json, std::ostream& out) {
    const Counts counts = count(checks);
    if (json) {
        printJson(checks, counts, out);
    } else {
        printTable(checks, counts, out);
    }
    return counts.fail > 0 ? kExitFailed : kExitHealthy;
}

void addDoctorCommand(CLI::App& app, int& exitCode) {
    CLI::App* command =
        app.add_subcommand("doctor", "Check why a programming cable does not answer");
    auto options = std::make_shared<DoctorOptions>();
    command->add_option("--port", options->port,
                        "Check this serial device instead of looking for cables");
    command->add_flag("--json", options->json, "Print the findings as JSON");
    command->add_flag("--probe", options->probe,
                      "With a radio on the cable: probe the cable mode and read the identity");
    command->callback([options, &exitCode] {
        const CableProbe probe;
        const std::vector<DoctorCheck> checks =
            examine(*options, options->probe ? &probe : nullptr);
        exitCode = printDoctorReport(checks, options->json, std::cout);
    });
}

}  // namespace plugshift
