#include "conversion/conversion_record.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

#include "conversion/log_folder.h"
#include "conversion/record_line.h"
#include "platform/process_environment.h"

namespace plugshift {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::system_clock;

constexpr const char* kOpen = "open";
constexpr const char* kClose = "close";
constexpr const char* kSerial = "serial";

constexpr const char* kResultNames[] = {"open",    "converted",   "failed",
                                        "stopped", "interrupted", "not-started"};

// Unique within the folder: the time to the millisecond, the process and a counter of this run.
std::string newId() {
    static std::atomic<unsigned> counter{0};
    const Clock::time_point now = Clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    char millis[8];
    std::snprintf(millis, sizeof millis, "%03d", static_cast<int>(ms.count() % 1000));
    return LogFolder::fileStamp(now) + "-" + millis + "-" + std::to_string(processId()) + "-" +
           std::to_string(counter++);
}

std::string now() {
    return LogFolder::isoTime(Clock::now());
}

ConversionRecord::Result resultOf(const std::string& name) {
    for (size_t i = 0; i < std::size(kResultNames); ++i) {
        if (name == kResultNames[i]) {
            return static_cast<ConversionRecord::Result>(i);
        }
    }
    // A result this version does not know still means the conversion did not convert.
    return ConversionRecord::Result::Failed;
}

// Whether the file ends in the middle of a line (a torn write), so the next entry must first end
// it.
bool endsTorn(const fs::path& file) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in || in.tellg() <= 0) {
        return false;
    }
    in.seekg(-1, std::ios::end);
    char last = '\n';
    in.get(last);
    return last != '\n';
}

}  // namespace

fs::path ConversionRecord::dataFolderOfLog() {
    const fs::path log = LogFolder::current();
    return log.empty() ? fs::path() : log.parent_path();
}

const char* ConversionRecord::resultName(Result result) {
    return kResultNames[static_cast<size_t>(result)];
}

bool ConversionRecord::append(const std::string& line, std::string& reason) const {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec) {
        reason = ec.message();
        return false;
    }
    const std::string text = (endsTorn(file()) ? "\n" : "") + line + "\n";
    return LogFolder::appendDurably(file(), text, reason);
}

bool ConversionRecord::open(Conversion& conversion, std::string& reason) const {
    conversion.id = newId();
    conversion.start = now();
    conversion.result = Result::Open;
    RecordLine line;
    line.add("entry", kOpen);
    line.add("id", conversion.id);
    line.add("start", conversion.start);
    line.add("serial", conversion.serial);
    line.add("model", conversion.model);
    line.add("firmware", conversion.firmware);
    line.add("codeplug", conversion.codeplug);
    line.add("codeplugFile", conversion.codeplugFile);
    line.add("addressFile", conversion.addressFile);
    line.addOrNull("backup", conversion.backup);
    line.addOrNull("finishes", conversion.finishes);
    return append(line.encode(), reason);
}

bool ConversionRecord::close(const std::string& id, Result result, const std::string& error,
                             std::string& reason) const {
    RecordLine line;
    line.add("entry", kClose);
    line.add("id", id);
    line.add("end", now());
    line.add("result", resultName(result));
    line.addOrNull("error", error);
    return append(line.encode(), reason);
}

bool ConversionRecord::addSerialUpdate(SerialUpdate update, std::string& reason) const {
    RecordLine line;
    line.add("entry", kSerial);
    line.add("time", update.time.empty() ? now() : update.time);
    line.add("model", update.model);
    line.add("serialBefore", update.serialBefore);
    line.add("serialAfter", update.serialAfter);
    line.add("result", update.updated ? "updated" : "failed");
    line.addOrNull("error", update.error);
    return append(line.encode(), reason);
}

bool ConversionRecord::read(History& history, std::string& reason) const {
    history = {};
    std::error_code ec;
    if (!fs::exists(file(), ec)) {
        return true;
    }
    std::ifstream in(file(), std::ios::binary);
    if (!in) {
        reason = std::error_code(errno, std::generic_category()).message();
        return false;
    }
    std::stringstream content;
    content << in.rdbuf();
    const std::string text = content.str();
    std::map<std::string, size_t> byId;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            ++history.skippedLines;  // the last write was cut short
            break;
        }
        const std::optional<RecordLine> line =
            RecordLine::decode(std::string_view(text).substr(start, end - start));
        start = end + 1;
        const std::string entry = line ? line->value("entry") : std::string();
        if (entry == kOpen) {
            Conversion c;
            c.id = line->value("id");
            c.start = line->value("start");
            c.serial = line->value("serial");
            c.model = line->value("model");
            c.firmware = line->value("firmware");
            c.codeplug = line->value("codeplug");
            c.codeplugFile = line->value("codeplugFile");
            c.addressFile = line->value("addressFile");
            c.backup = line->value("backup");
            c.finishes = line->value("finishes");
            byId[c.id] = history.conversions.size();
            history.conversions.push_back(std::move(c));
        } else if (entry == kClose && byId.count(line->value("id")) != 0) {
            Conversion& c = history.conversions[byId[line->value("id")]];
            c.result = resultOf(line->value("result"));
            c.end = line->value("end");
            c.error = line->value("error");
        } else if (entry == kSerial) {
            history.serialUpdates.push_back(
                SerialUpdate{line->value("time"), line->value("model"), line->value("serialBefore"),
                             line->value("serialAfter"), line->value("result") == "updated",
                             line->value("error")});
        } else {
            ++history.skippedLines;
        }
    }
    return true;
}

std::optional<ConversionRecord::Conversion> ConversionRecord::unfinishedFor(
    const std::string& serial) const {
    History history;
    std::string reason;
    if (serial.empty() || !read(history, reason)) {
        return std::nullopt;
    }
    for (auto it = history.conversions.rbegin(); it != history.conversions.rend(); ++it) {
        if (it->serial == serial) {
            return it->unfinished() ? std::optional<Conversion>(*it) : std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace plugshift
