#include "conversion/conversion_record.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

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
constexpr const char* kErase = "erase";
constexpr const char* kEraseNoted = "noted";
constexpr const char* kProgrammed = "programmed";
constexpr const char* kStep = "step";
constexpr const char* kPersonalityBack = "personality-back";
constexpr const char* kStepsNoted = "steps";
constexpr size_t kReadChunk = 64 * 1024;

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

std::string systemMessage() {
    return std::error_code(errno, std::generic_category()).message();
}

ConversionRecord::Conversion conversionOf(const RecordLine& line) {
    ConversionRecord::Conversion c;
    c.id = line.value("id");
    c.start = line.value("start");
    c.serial = line.value("serial");
    c.model = line.value("model");
    c.firmware = line.value("firmware");
    c.codeplug = line.value("codeplug");
    c.codeplugFile = line.value("codeplugFile");
    c.codeplugFileId = line.value("codeplugFileId");
    c.addressFile = line.value("addressFile");
    c.addressFileId = line.value("addressFileId");
    c.backup = line.value("backup");
    c.finishes = line.value("finishes");
    c.personality = line.value("personality");
    c.eraseNoted = line.value(kErase) == kEraseNoted;
    c.stepsNoted = line.value(kStepsNoted) == kEraseNoted;
    return c;
}

// What a line after the open entry says of its run; false for a line of another kind.
bool applyProgress(const RecordLine& line, ConversionRecord::Conversion& c) {
    const std::string entry = line.value("entry");
    if (entry == kStep) {
        // A step this version does not know is still a change to the radio.
        const RunStep step = runStepNamed(line.value(kStep)).value_or(RunStep::EraseDefaultBlock);
        c.lastStep = std::max(c.lastStep, step);
    } else if (entry == kErase) {
        c.lastStep = std::max(c.lastStep, RunStep::EraseDefaultBlock);
    } else if (entry == kProgrammed) {
        c.programmed = true;
        c.lastStep = std::max(c.lastStep, RunStep::EraseDynamicBlock);
    } else if (entry == kPersonalityBack) {
        c.personalityBack = true;
    } else {
        return false;
    }
    return true;
}

bool isProgressEntry(const std::string& entry) {
    return entry == kStep || entry == kErase || entry == kProgrammed || entry == kPersonalityBack;
}

void applyClose(const RecordLine& line, ConversionRecord::Conversion& c) {
    c.result = resultOf(line.value("result"));
    c.end = line.value("end");
    c.error = line.value("error");
}

// A serial-number line: an update of its own, or the end of the started one with its id.
void takeSerialLine(const RecordLine& line, std::vector<ConversionRecord::SerialUpdate>& updates,
                    std::map<std::string, size_t>& startedById) {
    using Update = ConversionRecord::SerialUpdate;
    Update update{.time = line.value("time"),
                  .model = line.value("model"),
                  .serialBefore = line.value("serialBefore"),
                  .serialAfter = line.value("serialAfter"),
                  .updated = line.value("result") == Update::kUpdated,
                  .error = line.value("error"),
                  .id = line.value("id"),
                  .result = line.value("result"),
                  .end = {},
                  .serialRead = line.value("serialRead")};
    const auto started = update.id.empty() ? startedById.end() : startedById.find(update.id);
    if (started != startedById.end() && update.result != Update::kStarted) {
        Update& opened = updates[started->second];
        update.end = update.time;
        update.time = opened.time;
        opened = std::move(update);
        startedById.erase(started);
        return;
    }
    if (update.result == Update::kStarted && !update.id.empty()) {
        startedById[update.id] = updates.size();
    }
    updates.push_back(std::move(update));
}

// The entries of the file in their order, one line at a time: a torn last line (no line feed)
// and a line longer than the limit are counted in `skipped` and not handed on.
bool eachLine(const fs::path& file, const std::function<void(std::string_view)>& take,
              size_t& skipped, std::string& reason) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        reason = systemMessage();
        return false;
    }
    std::string line;
    std::vector<char> chunk(kReadChunk);
    bool overlong = false;
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const std::string_view piece(chunk.data(), static_cast<size_t>(in.gcount()));
        size_t from = 0;
        for (size_t end; (end = piece.find('\n', from)) != std::string_view::npos; from = end + 1) {
            if (overlong || line.size() + (end - from) > ConversionRecord::kMaxLineBytes) {
                ++skipped;
            } else {
                line.append(piece.substr(from, end - from));
                take(line);
            }
            line.clear();
            overlong = false;
        }
        const std::string_view rest = piece.substr(from);
        overlong = overlong || line.size() + rest.size() > ConversionRecord::kMaxLineBytes;
        if (!overlong) {
            line.append(rest);
        }
    }
    if (in.bad()) {
        reason = systemMessage();
        return false;
    }
    if (overlong || !line.empty()) {
        ++skipped;  // the last write was cut short
    }
    return true;
}

// The file's whole lines from the last to the first, until `take` returns false; what follows
// the last line feed is a torn write and a line longer than the limit is damage: both skipped.
bool eachLineFromTheEnd(const fs::path& file, const std::function<bool(std::string_view)>& take,
                        std::string& reason) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in) {
        reason = systemMessage();
        return false;
    }
    auto position = static_cast<uint64_t>(in.tellg());
    std::vector<char> chunk(kReadChunk);
    std::string after;  // the end of a line whose start lies further back
    bool tail = true;   // the first piece from the end follows the last line feed
    bool overlong = false;
    const auto hand = [&](std::string_view piece) {
        const bool whole =
            !tail && !overlong && piece.size() + after.size() <= ConversionRecord::kMaxLineBytes;
        tail = false;
        overlong = false;
        const bool goOn = !whole || take(std::string(piece) + after);
        after.clear();
        return goOn;
    };
    while (position > 0) {
        const uint64_t n = std::min<uint64_t>(position, chunk.size());
        position -= n;
        in.seekg(static_cast<std::streamoff>(position));
        if (!in.read(chunk.data(), static_cast<std::streamsize>(n))) {
            reason = systemMessage();
            return false;
        }
        const std::string_view piece(chunk.data(), static_cast<size_t>(n));
        size_t end = piece.size();
        for (;;) {
            const size_t feed = end == 0 ? std::string_view::npos : piece.rfind('\n', end - 1);
            if (feed == std::string_view::npos) {
                overlong = overlong || after.size() + end > ConversionRecord::kMaxLineBytes;
                if (!overlong) {
                    after.insert(0, piece.substr(0, end));
                }
                break;
            }
            if (!hand(piece.substr(feed + 1, end - feed - 1))) {
                return true;
            }
            end = feed;
        }
    }
    hand({});  // the file's first line
    return true;
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
    line.add("codeplugFileId", conversion.codeplugFileId);
    line.add("addressFile", conversion.addressFile);
    line.add("addressFileId", conversion.addressFileId);
    line.addOrNull("backup", conversion.backup);
    line.addOrNull("finishes", conversion.finishes);
    line.add("personality", conversion.personality);
    line.add(kErase, kEraseNoted);
    line.add(kStepsNoted, kEraseNoted);
    conversion.eraseNoted = true;
    conversion.stepsNoted = true;
    conversion.lastStep = RunStep::None;
    conversion.personalityBack = false;
    return append(line.encode(), reason);
}

namespace {

RecordLine progressLine(const char* entry, const std::string& id) {
    RecordLine line;
    line.add("entry", entry);
    line.add("id", id);
    return line;
}

}  // namespace

bool ConversionRecord::markStep(const std::string& id, RunStep step, std::string& reason) const {
    RecordLine line = progressLine(kStep, id);
    line.add(kStep, runStepName(step));
    line.add("time", now());
    return append(line.encode(), reason);
}

bool ConversionRecord::markPersonalityBack(const std::string& id, std::string& reason) const {
    RecordLine line = progressLine(kPersonalityBack, id);
    line.add("time", now());
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
    using Update = SerialUpdate;
    RecordLine line;
    line.add("entry", kSerial);
    line.add("time", update.time.empty() ? now() : update.time);
    line.add("model", update.model);
    line.add("serialBefore", update.serialBefore);
    line.add("serialAfter", update.serialAfter);
    line.add("result", !update.result.empty() ? update.result
                       : update.updated       ? Update::kUpdated
                                              : Update::kFailed);
    line.addOrNull("error", update.error);
    line.addOrNull("id", update.id);
    line.addOrNull("serialRead", update.serialRead);
    return append(line.encode(), reason);
}

bool ConversionRecord::read(History& history, std::string& reason) const {
    history = {};
    std::error_code ec;
    if (!fs::exists(file(), ec)) {
        return true;
    }
    std::map<std::string, size_t> byId;
    std::map<std::string, size_t> serialById;
    const auto take = [&](std::string_view text) {
        const std::optional<RecordLine> line = RecordLine::decode(text);
        const std::string entry = line ? line->value("entry") : std::string();
        const auto known = line ? byId.find(line->value("id")) : byId.end();
        if (entry == kOpen) {
            byId[line->value("id")] = history.conversions.size();
            history.conversions.push_back(conversionOf(*line));
        } else if (entry == kClose && known != byId.end()) {
            applyClose(*line, history.conversions[known->second]);
        } else if (isProgressEntry(entry) && known != byId.end()) {
            applyProgress(*line, history.conversions[known->second]);
        } else if (entry == kSerial) {
            takeSerialLine(*line, history.serialUpdates, serialById);
        } else {
            ++history.skippedLines;
        }
    };
    return eachLine(file(), take, history.skippedLines, reason);
}

bool ConversionRecord::findUnfinished(const std::string& serial,
                                      std::optional<Conversion>& unfinished,
                                      std::string& reason) const {
    unfinished.reset();
    std::error_code ec;
    if (serial.empty() || !fs::exists(file(), ec)) {
        return true;
    }
    // Read backwards, a run's close and progress lines come before its open entry.
    std::map<std::string, RecordLine> closes;
    std::map<std::string, std::vector<RecordLine>> progress;
    const auto take = [&](std::string_view text) {
        const std::optional<RecordLine> line = RecordLine::decode(text);
        if (!line) {
            return true;
        }
        const std::string entry = line->value("entry");
        const std::string id = line->value("id");
        if (entry == kClose) {
            closes.emplace(id, *line);
        } else if (isProgressEntry(entry)) {
            progress[id].push_back(*line);
        } else if (entry == kOpen && line->value("serial") == serial) {
            Conversion c = conversionOf(*line);
            for (const RecordLine& step : progress[id]) {
                applyProgress(step, c);
            }
            if (const auto close = closes.find(id); close != closes.end()) {
                applyClose(close->second, c);
            }
            if (!c.touchedFlash()) {
                return true;
            }
            if (c.unfinished()) {
                unfinished = std::move(c);
            }
            return false;
        }
        return true;
    };
    return eachLineFromTheEnd(file(), take, reason);
}

}  // namespace plugshift
