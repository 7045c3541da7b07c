// End-to-end conversion benchmark: converts the simulated radio, keeping its personality, over a
// line paced at 57600 baud with the radio's erase, program and reset times, once for each adapter
// latency and cable path, and sets the wall time against the limit of the same run: the line time
// of exactly the bytes sent and received, the conversion's fixed waits and the radio's own time.
// The paths: the in-process simulated cable, and the real serial backend over a pseudo-terminal
// served by the same simulator that kmv-sim runs.
//
//   convert_bench [--latency MS]... [--path in-process|tty]...   (default: 1 and 16 ms, both)
//
// The radio's times are the simulator's defaults: NOR flash of the kind such radios carry.
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "conversion/block_to_keep.h"
#include "conversion/convert_radio.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "radio/frame_event.h"
#include "radio/sbep.h"
#include "radio/sbep_protocol.h"
#include "radio/tty_d2xx.h"
#include "radio/usb_serial.h"
#include "sim/sim_d2xx.h"
#include "sim/sim_pty_server.h"
#include "tasks/radio_info.h"

namespace plugshift {
namespace {

using namespace std::chrono_literals;
using Seconds = std::chrono::duration<double>;

constexpr uint32_t kBaud = 57600;
constexpr int kBitsPerByte = 10;  // 8N1
// 100 ms before programming, 200 ms before and 1000 ms after the hard reset, 100 ms after the
// block reset, 100 ms before the progress goes back to 0.
constexpr auto kFixedWaits = 1500ms;
constexpr std::chrono::milliseconds kServeSlice{100};
// The DYN range the sample configuration keeps.
constexpr BlockToKeep kKeptDyn{0, 0x820000, 0x800};

enum class CablePath { InProcess, Tty };

const char* pathName(CablePath path) {
    return path == CablePath::InProcess ? "in-process" : "tty";
}

struct Row {
    CablePath path = CablePath::InProcess;
    int latencyMs = 0;
    bool ok = false;
    double wall = 0;
    uint64_t sent = 0;
    uint64_t received = 0;
    int transactions = 0;
    double limit = 0;
    double cpu = 0;
};

long long ms(std::chrono::microseconds t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t).count();
}

// One kind of request as the conversion sent it: its largest frames both ways, the settings it
// went out under, and the longest the radio took to begin its reply.
struct Budget {
    int count = 0;
    size_t sent = 0;
    size_t received = 0;
    uint32_t writeTimeoutMs = 0;
    uint32_t replyWindowMs = 0;  // wait attempts x read time-out
    double turnaround = 0;       // seconds from the request's end to the reply's start, worst
};
using Budgets = std::map<std::string, Budget>;

double lineSeconds(size_t bytes) {
    return static_cast<double>(bytes * kBitsPerByte) / static_cast<double>(kBaud);
}

// "72/04" for a flash request with sub-function 4; requests without sub-functions that matter
// to the radio's time by opcode alone.
std::string requestKind(std::span<const uint8_t> frame) {
    const bool longFrame = frame[0] == sbep::kLongStart;
    const uint8_t opcode = frame[1];
    char text[8];
    if (opcode == sbep::kOpFlash || opcode == sbep::kOpSoftpot || opcode == sbep::kOpReset ||
        opcode == sbep::kOpContact) {
        const size_t at = longFrame ? 4 : 2;
        std::snprintf(text, sizeof text, "%02X/%02X", opcode, at < frame.size() ? frame[at] : 0);
    } else {
        std::snprintf(text, sizeof text, "%02X", opcode);
    }
    return text;
}

// Follows the frames of a run into budgets per kind of request.
class BudgetRecorder {
public:
    BudgetRecorder(RadioInfo& radio, Budgets& budgets) : radio_(radio), budgets_(budgets) {}

    void operator()(const FrameEvent& event) {
        if (event.direction == FrameDirection::kSent) {
            kind_ = requestKind(event.bytes);
            sentAt_ = event.time;
            sentBytes_ = event.bytes.size();
            Budget& b = budgets_[kind_];
            ++b.count;
            b.sent = std::max(b.sent, sentBytes_);
            b.writeTimeoutMs = radio_.port()->writeTimeout();
            b.replyWindowMs =
                static_cast<uint32_t>(radio_.sbep()->waitTrials()) * radio_.port()->readTimeout();
            return;
        }
        if (kind_.empty() || event.bytes.empty()) {
            return;
        }
        Budget& b = budgets_[kind_];
        b.received = std::max(b.received, event.bytes.size());
        const double elapsed = Seconds(event.time - sentAt_).count();
        b.turnaround = std::max(
            b.turnaround, elapsed - lineSeconds(sentBytes_) - lineSeconds(event.bytes.size()));
    }

private:
    RadioInfo& radio_;
    Budgets& budgets_;
    std::string kind_;
    std::chrono::system_clock::time_point sentAt_;
    size_t sentBytes_ = 0;
};

void printBudgets(const Budgets& budgets) {
    std::printf("\n%-6s %5s %7s %8s %8s %7s %8s %8s %9s\n", "kind", "count", "sent B", "sent ms",
                "write ms", "recv B", "recv ms", "turn ms", "window ms");
    for (const auto& [kind, b] : budgets) {
        std::printf("%-6s %5d %7zu %8.1f %8u %7zu %8.1f %8.1f %9u\n", kind.c_str(), b.count, b.sent,
                    1000 * lineSeconds(b.sent), b.writeTimeoutMs, b.received,
                    1000 * lineSeconds(b.received), 1000 * b.turnaround, b.replyWindowMs);
    }
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::wstring sampleFile(const char* name) {
    return fromUtf8(std::string(PLUGSHIFT_SAMPLE_INSTALL_DIR) + "/data/" + name);
}

SimTiming timingWith(int latencyMs) {
    SimTiming timing;
    timing.latency = std::chrono::milliseconds(latencyMs);
    return timing;
}

// Converts the radio behind driver; the cable's counters give the bytes and the radio's time.
void convert(D2xx& driver, SimCable& cable, const std::filesystem::path& backups, Row& row,
             Budgets& budgets) {
    RadioInfo radio(driver);
    if (!radio.connectPort(0) || !radio.readIdentity()) {
        std::fprintf(stderr, "convert_bench: the simulated radio does not answer:\n%s",
                     toUtf8(ErrorChain::text()).c_str());
        return;
    }
    ErrorChain::remove(0);
    BudgetRecorder record(radio, budgets);
    radio.sbep()->setFrameObserver([&row, &record](const FrameEvent& event) {
        row.transactions += event.direction == FrameDirection::kSent ? 1 : 0;
        record(event);
    });

    ConvertRadio command;
    command.radio = &radio;
    command.setAddressFile(sampleFile("KMVADDR_A01.02.00.ftf").c_str());
    command.setCodeplugFile(sampleFile("RQX770HJNWE_DEF_R01.02.00.ftf").c_str());
    command.enableDefaultBlockUpdate();
    command.keepPersonality = true;
    command.enableKeepSteps();
    command.setBlocks(&kKeptDyn, 1);
    command.setBackupFolder(backups);

    const uint64_t sentBefore = cable.hostBytes();
    const uint64_t receivedBefore = cable.radioBytes();
    const SimTime deviceBefore = cable.deviceTime();
    const double cpuBefore = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    row.ok = command.run();
    row.wall = Seconds(std::chrono::steady_clock::now() - start).count();
    row.cpu = cpuSeconds() - cpuBefore;
    if (!row.ok) {
        std::fprintf(stderr, "convert_bench: the conversion failed:\n%s",
                     toUtf8(ErrorChain::text()).c_str());
    }
    row.sent = cable.hostBytes() - sentBefore;
    row.received = cable.radioBytes() - receivedBefore;
    const double line =
        static_cast<double>((row.sent + row.received) * kBitsPerByte) / static_cast<double>(kBaud);
    row.limit =
        line + Seconds(kFixedWaits).count() + Seconds(cable.deviceTime() - deviceBefore).count();
    ErrorChain::remove(0);
}

void convertInProcess(Row& row, const std::filesystem::path& backups, Budgets& budgets) {
    SimD2xx::Options options;
    options.radio.contacts = 12;
    options.realTime = true;
    options.timing = timingWith(row.latencyMs);
    SimD2xx driver(options);
    convert(driver, driver.cable(0), backups, row, budgets);
}

// The radio on a pseudo-terminal served from a thread of this process (host CPU time therefore
// includes the simulator's), reached through the serial backend as a real cable is.
void convertOverTty(Row& row, const std::filesystem::path& backups, Budgets& budgets) {
    SimRadioConfig config;
    config.contacts = 12;
    SimRadio radio(config);
    SimFaults faults(1);
    SimPtyServer server(radio, faults, SimCableMode::Digital, timingWith(row.latencyMs));
    std::string error;
    if (!server.open(error)) {
        std::fprintf(stderr, "convert_bench: %s\n", error.c_str());
        return;
    }
    std::atomic<bool> done = false;
    std::thread serving([&] {
        while (!done && server.serveFor(kServeSlice)) {
        }
    });
    auto driver = TtyD2xx::forDevice(server.path());
    convert(*driver, server.cable(), backups, row, budgets);
    driver.reset();
    done = true;
    serving.join();
}

Row convertOnce(CablePath path, int latencyMs, const std::filesystem::path& backups,
                Budgets& budgets) {
    Row row;
    row.path = path;
    row.latencyMs = latencyMs;
    if (path == CablePath::InProcess) {
        convertInProcess(row, backups, budgets);
    } else {
        convertOverTty(row, backups, budgets);
    }
    return row;
}

[[noreturn]] void usage() {
    std::fprintf(stderr, "usage: convert_bench [--latency MS]... [--path in-process|tty]...\n");
    std::exit(2);
}

struct Plan {
    std::vector<int> latencies;
    std::vector<CablePath> paths;
};

Plan planFrom(int argc, char** argv) {
    Plan plan;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--latency") == 0 && i + 1 < argc) {
            plan.latencies.push_back(std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--path") == 0 && i + 1 < argc) {
            const std::string name = argv[++i];
            if (name != pathName(CablePath::InProcess) && name != pathName(CablePath::Tty)) {
                usage();
            }
            plan.paths.push_back(name == pathName(CablePath::Tty) ? CablePath::Tty
                                                                  : CablePath::InProcess);
        } else {
            usage();
        }
    }
    if (plan.latencies.empty()) {
        plan.latencies = {1, 16};
    }
    if (plan.paths.empty()) {
        plan.paths = {CablePath::InProcess, CablePath::Tty};
    }
    return plan;
}

}  // namespace
}  // namespace plugshift

int main(int argc, char** argv) {
    using namespace plugshift;
    const Plan plan = planFrom(argc, argv);
    const auto backups =
        std::filesystem::temp_directory_path() / ("convert-bench-" + std::to_string(::getpid()));

    const SimTiming radio;
    std::printf(
        "Conversion of the simulated radio, personality kept, 57600 baud 8N1; radio times: "
        "erase %lld ms a request, program %lld ms a 4 KiB chunk, reset %lld ms; fixed "
        "waits %lld ms\n",
        static_cast<long long>(ms(radio.eraseTime)), static_cast<long long>(ms(radio.programTime)),
        static_cast<long long>(ms(radio.resetTime)), static_cast<long long>(kFixedWaits.count()));
    std::printf("%-10s %-8s %8s %8s %8s %6s %8s %7s %7s %6s\n", "path", "latency", "wall s",
                "sent B", "recv B", "trans", "limit s", "ratio", "cpu s", "cpu %");
    bool allOk = true;
    // Per kind of request over every run: the largest frames and the slowest turnaround.
    Budgets budgets;
    for (CablePath path : plan.paths) {
        for (int latency : plan.latencies) {
            const Row row = convertOnce(path, latency, backups, budgets);
            allOk = allOk && row.ok;
            std::printf("%-10s %5d ms %8.3f %8llu %8llu %6d %8.3f %7.4f %7.3f %6.2f%s\n",
                        pathName(row.path), row.latencyMs, row.wall,
                        static_cast<unsigned long long>(row.sent),
                        static_cast<unsigned long long>(row.received), row.transactions, row.limit,
                        row.wall / row.limit, row.cpu, 100.0 * row.cpu / row.wall,
                        row.ok ? "" : "  FAILED");
            std::fflush(stdout);
        }
    }
    printBudgets(budgets);
    std::error_code ignored;
    std::filesystem::remove_all(backups, ignored);
    return allOk ? 0 : 1;
}
