// End-to-end conversion benchmark: converts the simulated radio, keeping its personality, over a
// line paced at 57600 baud with the radio's erase, program and reset times, once for each adapter
// latency, and sets the wall time against the limit of the same run: the line time of exactly the
// bytes sent and received, the conversion's fixed waits and the radio's own time.
//
//   convert_bench [--latency MS]...   (default: 0, 2 and 16 ms)
//
// The radio's times are those of NOR flash of the kind such radios carry: a 4 KiB sector erases
// in about 25 ms and 4 KiB programs in about 30 ms (2048 word writes of some 10 us and the
// firmware's verify); a reset restarts the radio, which answers after about 400 ms.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "conversion/block_to_keep.h"
#include "conversion/cmd_program.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "radio/frame_event.h"
#include "radio/sbep.h"
#include "sim/sim_d2xx.h"
#include "tasks/radio_info.h"

namespace plugshift {
namespace {

using namespace std::chrono_literals;
using Seconds = std::chrono::duration<double>;

constexpr uint32_t kBaud = 57600;
constexpr int kBitsPerByte = 10;  // 8N1
constexpr auto kEraseTime = 25ms;
constexpr auto kProgramTime = 30ms;
constexpr auto kResetTime = 400ms;
// 100 ms before programming, 200 ms before and 1000 ms after the hard reset, 100 ms after the
// block reset, 100 ms before the progress goes back to 0.
constexpr auto kFixedWaits = 1500ms;
// The DYN range the sample configuration keeps.
constexpr BlockSpec kKeptDyn{0, 0x820000, 0x800};

struct Row {
    int latencyMs = 0;
    bool ok = false;
    double wall = 0;
    uint64_t sent = 0;
    uint64_t received = 0;
    int transactions = 0;
    double limit = 0;
    double cpu = 0;
};

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

Row convertOnce(int latencyMs, const std::filesystem::path& backups) {
    SimD2xx::Options options;
    options.radio.contacts = 12;
    options.timing.pacing = true;
    options.timing.latency = std::chrono::milliseconds(latencyMs);
    options.timing.eraseTime = kEraseTime;
    options.timing.programTime = kProgramTime;
    options.timing.resetTime = kResetTime;
    SimD2xx driver(options);
    RadioInfo radio(driver);
    Row row;
    row.latencyMs = latencyMs;
    if (!radio.connectPort(0) || !radio.readIdentity()) {
        std::fprintf(stderr, "convert_bench: the simulated radio does not answer\n");
        return row;
    }
    ErrorChain::remove(0);
    radio.sbep()->setFrameObserver([&row](const FrameEvent& event) {
        row.transactions += event.direction == FrameDirection::kSent ? 1 : 0;
    });

    CmdProgram command;
    command.radio = &radio;
    command.setAddressFile(sampleFile("KMVADDR_A01.02.00.ftf").c_str());
    command.setCodeplugFile(sampleFile("RQX770HJNWE_DEF_R01.02.00.ftf").c_str());
    command.enableDefaultBlockUpdate();
    command.keepPersonality = true;
    command.enableKeepSteps();
    command.setBlocks(&kKeptDyn, 1);
    command.setBackupFolder(backups);

    SimCable& cable = driver.cable(0);
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
    return row;
}

std::vector<int> latenciesFrom(int argc, char** argv) {
    std::vector<int> latencies;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--latency") == 0 && i + 1 < argc) {
            latencies.push_back(std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: convert_bench [--latency MS]...\n");
            std::exit(2);
        }
    }
    return latencies.empty() ? std::vector<int>{0, 2, 16} : latencies;
}

}  // namespace
}  // namespace plugshift

int main(int argc, char** argv) {
    using namespace plugshift;
    const std::vector<int> latencies = latenciesFrom(argc, argv);
    const auto backups =
        std::filesystem::temp_directory_path() / ("convert-bench-" + std::to_string(::getpid()));

    std::printf(
        "Conversion of the simulated radio, personality kept, 57600 baud 8N1; radio times: "
        "erase %lld ms a request, program %lld ms a 4 KiB chunk, reset %lld ms; fixed "
        "waits %lld ms\n",
        static_cast<long long>(kEraseTime.count()), static_cast<long long>(kProgramTime.count()),
        static_cast<long long>(kResetTime.count()), static_cast<long long>(kFixedWaits.count()));
    std::printf("%-8s %8s %8s %8s %6s %8s %7s %7s %6s\n", "latency", "wall s", "sent B", "recv B",
                "trans", "limit s", "ratio", "cpu s", "cpu %");
    bool allOk = true;
    for (int latency : latencies) {
        const Row row = convertOnce(latency, backups);
        allOk = allOk && row.ok;
        std::printf("%5d ms %8.3f %8llu %8llu %6d %8.3f %7.4f %7.3f %6.2f%s\n", row.latencyMs,
                    row.wall, static_cast<unsigned long long>(row.sent),
                    static_cast<unsigned long long>(row.received), row.transactions, row.limit,
                    row.wall / row.limit, row.cpu, 100.0 * row.cpu / row.wall,
                    row.ok ? "" : "  FAILED");
        std::fflush(stdout);
    }
    std::error_code ignored;
    std::filesystem::remove_all(backups, ignored);
    return allOk ? 0 : 1;
}
