#include "conversion/failure_trace.h"

#include <algorithm>
#include <regex>
#include <tuple>
#include <vector>

#include "conversion/log_folder.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/system_files.h"
#include "radio/frame_ring.h"

namespace plugshift {

namespace {

namespace fs = std::filesystem;

constexpr const char* kPrefix = "sbep-trace-";
constexpr const char* kExtension = ".txt";

std::string nameFor(const std::string& stamp, int attempt) {
    std::string name = kPrefix + stamp;
    if (attempt > 1) {
        name.append("-").append(std::to_string(attempt));
    }
    return name.append(kExtension);
}

std::string contentOf(const FrameRing& ring, std::chrono::system_clock::time_point now) {
    const std::vector<std::string> lines = ring.lines();
    std::string text = "SBEP trace written " + LogFolder::isoTime(now) + ": the last " +
                       std::to_string(lines.size()) + " of " + std::to_string(ring.recorded()) +
                       " frames since the port was opened, oldest first.\n";
    for (const std::string& line : lines) {
        text += line;
        text += '\n';
    }
    return text;
}

// A trace file's age: its stamp, then the counter of a second failure in the same second.
struct TraceName {
    fs::path path;
    std::string stamp;
    int counter = 1;
};

std::vector<TraceName> traceFiles(const fs::path& folder) {
    static const std::regex kName(R"(sbep-trace-(\d{8}-\d{6})(?:-(\d{1,6}))?\.txt)");
    std::vector<TraceName> found;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = utf8FromPath(entry.path().filename());
        std::smatch match;
        if (std::regex_match(name, match, kName)) {
            found.push_back(
                {entry.path(), match[1].str(), match[2].matched ? std::stoi(match[2].str()) : 1});
        }
    }
    return found;
}

// Keeps the newest kKept traces, the one just written among them whatever its stamp says (the
// clock may have been set back).
void prune(const fs::path& folder, const fs::path& written) {
    std::vector<TraceName> others = traceFiles(folder);
    std::erase_if(others, [&written](const TraceName& t) { return t.path == written; });
    if (others.size() < FailureTrace::kKept) {
        return;
    }
    std::sort(others.begin(), others.end(), [](const TraceName& a, const TraceName& b) {
        return std::tie(a.stamp, a.counter) > std::tie(b.stamp, b.counter);
    });
    std::error_code ignored;  // a file that stays is harmless; the next failure tries again
    for (size_t i = FailureTrace::kKept - 1; i < others.size(); ++i) {
        fs::remove(others[i].path, ignored);
    }
}

}  // namespace

bool FailureTrace::save(const FrameRing& ring, const fs::path& folder,
                        std::chrono::system_clock::time_point now, fs::path& written,
                        std::string& reason) {
    const std::string stamp = LogFolder::fileStamp(now);
    if (!LogFolder::createDurably(
            folder, [&stamp](int attempt) { return nameFor(stamp, attempt); }, contentOf(ring, now),
            written, reason)) {
        return false;
    }
    prune(folder, written);
    return true;
}

void FailureTrace::logAfterSummary(const FrameRing* ring) {
    const fs::path folder = LogFolder::current();
    if (ring == nullptr || folder.empty()) {
        return;
    }
    fs::path written;
    std::string reason;
    if (save(*ring, folder, std::chrono::system_clock::now(), written, reason)) {
        ErrorLog::write(L"SBEP trace of this failure: %ls",
                        fromUtf8(utf8FromPath(written)).c_str());
    } else {
        ErrorLog::write(L"SBEP trace of this failure could not be written in [%ls]: %ls",
                        fromUtf8(utf8FromPath(folder)).c_str(), fromUtf8(reason).c_str());
    }
}

}  // namespace plugshift
