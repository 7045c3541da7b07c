#include "conversion/serial_decisions.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "conversion/conversion_record.h"
#include "conversion/convert_workflow.h"
#include "conversion/failure_trace.h"
#include "conversion/log_folder.h"
#include "conversion/serial_audit.h"
#include "conversion/serial_number_update.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "platform/system_files.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

constexpr uint32_t kLastAscii = 0x7F;

// The number the command was given, up to its zero padding.
std::wstring newSerialOf(const SerialNumberUpdate& command) {
    std::wstring text;
    for (uint8_t byte : command.newSerial) {
        if (byte == 0) {
            break;
        }
        text += static_cast<wchar_t>(byte);
    }
    return text;
}

void audit(const SerialAudit::Entry& entry) {
    const std::filesystem::path folder = LogFolder::current();
    std::string reason;
    if (!folder.empty() && !SerialAudit::append(folder, entry, reason)) {
        ErrorLog::write(L"The serial-number audit could not be written in [%ls]: %ls",
                        fromUtf8(utf8FromPath(folder)).c_str(), fromUtf8(reason).c_str());
    }
}

// The dealer's books: the data folder's conversion record lists serial-number updates as well.
void record(const SerialAudit::Entry& entry, const std::string& error) {
    const ConversionRecord book(ConversionRecord::dataFolderOfLog());
    std::string reason;
    if (!book.folder().empty() && !book.addSerialUpdate({{},
                                                         toUtf8(entry.model),
                                                         toUtf8(entry.oldSerial),
                                                         toUtf8(entry.newSerial),
                                                         entry.success,
                                                         error},
                                                        reason)) {
        ErrorLog::write(L"The conversion record could not be written in [%ls]: %ls",
                        fromUtf8(utf8FromPath(book.folder())).c_str(), fromUtf8(reason).c_str());
    }
}

// Opens the file for appending, creating it when missing, and writes nothing.
bool takesLines(const std::filesystem::path& file, std::string& reason) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    return LogFolder::appendDurably(file, {}, reason);
}

}  // namespace

bool checkSerialUpdateMayStart(const RadioInfo& radio, WorkflowOutcome& outcome) {
    const ConversionRecord book(ConversionRecord::dataFolderOfLog());
    if (!book.folder().empty()) {
        std::optional<ConversionRecord::Conversion> unfinished;
        if (!ConvertWorkflow::lookUpUnfinished(book, radio, unfinished, outcome)) {
            return false;
        }
        if (unfinished) {
            outcome = WorkflowOutcome::of(kStrFinishFirst, MessageIcon::Warning,
                                          fromUtf8(LogFolder::shownTime(unfinished->start)));
            return false;
        }
    }
    const std::filesystem::path logFolder = LogFolder::current();
    std::string reason;
    for (const std::filesystem::path& file :
         {logFolder.empty() ? std::filesystem::path() : logFolder / SerialAudit::kFileName,
          book.folder().empty() ? std::filesystem::path() : book.file()}) {
        if (!file.empty() && !takesLines(file, reason)) {
            ErrorLog::write(L"The serial-number update cannot be recorded in [%ls]: %ls",
                            fromUtf8(utf8FromPath(file)).c_str(), fromUtf8(reason).c_str());
            outcome = WorkflowOutcome::of(kStrSerialNotRecorded, MessageIcon::Error,
                                          fromUtf8(utf8FromPath(file.parent_path())));
            return false;
        }
    }
    return true;
}

bool checkNewSerial(std::wstring_view entered, std::wstring_view present,
                    std::vector<uint8_t>& bytes, WorkflowOutcome& outcome) {
    bytes.clear();
    const bool ascii = std::all_of(entered.begin(), entered.end(), [](wchar_t c) {
        return static_cast<uint32_t>(c) <= kLastAscii;
    });
    if (entered.size() != present.size() || !ascii || !RadioInfo::isSerialFormat(entered)) {
        outcome = WorkflowOutcome::of(kStrSerialIncorrect, MessageIcon::Error);
        return false;
    }
    if (entered == present) {
        outcome = WorkflowOutcome::of(kStrSerialIdentical, MessageIcon::Error);
        return false;
    }
    bytes.assign(entered.begin(), entered.end());
    return true;
}

bool concludeSerialUpdate(const SerialNumberUpdate& command, bool succeeded) {
    RadioInfo* radio = command.radio;
    if (radio == nullptr || !radio->isConnected()) {
        return succeeded;  // nothing was sent
    }
    const SerialAudit::Entry entry{std::chrono::system_clock::now(), radio->modelNumber(),
                                   radio->serialNumberText(), newSerialOf(command), succeeded};
    audit(entry);
    record(entry, succeeded ? std::string() : toUtf8(ErrorChain::firstMessage()));
    if (!succeeded) {
        ErrorLog::write(
            L"Update serial number failed (Model:%ls,SN:%ls,New SN:%ls), caused by:\n%ls",
            entry.model.c_str(), entry.oldSerial.c_str(), entry.newSerial.c_str(),
            ErrorChain::text().c_str());
        FailureTrace::logAfterSummary(radio->frameRing());
    }
    return succeeded;
}

}  // namespace plugshift
