#include "conversion/serial_audit.h"

#include "conversion/log_folder.h"

namespace plugshift {

namespace {

constexpr wchar_t kFirstShown = 0x21;  // after the blank
constexpr wchar_t kLastShown = 0x7E;

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
    return LogFolder::isoTime(entry.time) + " model=" + shown(entry.model) +
           " old=" + shown(entry.oldSerial) + " new=" + shown(entry.newSerial) + " " +
           (entry.success ? "success" : "failure");
}

bool SerialAudit::append(const std::filesystem::path& folder, const Entry& entry,
                         std::string& reason) {
    return LogFolder::appendDurably(folder / kFileName, line(entry) + "\n", reason);
}

}  // namespace plugshift
