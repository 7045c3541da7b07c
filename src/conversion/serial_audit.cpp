#include "conversion/serial_audit.h"

#include "conversion/log_folder.h"

namespace plugshift {

namespace {

constexpr wchar_t kFirstShown = 0x21;  // after the blank
constexpr wchar_t kLastShown = 0x7E;
// By SerialAudit::Stage.
constexpr const char* kStageNames[] = {"started", "success", "stopped", "failure", "not-backed-up"};

std::string shown(const std::wstring& value) {
    if (value.empty()) {
        return "N/A";
    }
    std::string out;
    for (wchar_t c : value) {
        out += c >= kFirstShown && c <= kLastShown ? static_cast<char>(c) : '?';
    }
    return out;
}

}  // namespace

std::string SerialAudit::line(const Entry& entry) {
    std::string text = LogFolder::isoTime(entry.time) + " model=" + shown(entry.model) +
                       " old=" + shown(entry.oldSerial) + " new=" + shown(entry.newSerial) + " " +
                       kStageNames[static_cast<size_t>(entry.stage)];
    if (entry.stage == Stage::Failure || entry.stage == Stage::NotBackedUp) {
        text += " now=" + shown(entry.serialNow);
    }
    return text;
}

bool SerialAudit::append(const std::filesystem::path& folder, const Entry& entry,
                         std::string& reason) {
    return LogFolder::appendDurably(folder / kFileName, line(entry) + "\n", reason);
}

}  // namespace plugshift
