#pragma once

#include <filesystem>
#include <string>

#include "conversion/conversion_record.h"
#include "conversion/serial_audit.h"

namespace plugshift {

// The trace of one serial-number update: before anything is sent to the radio, a started line in
// the serial-number audit (beside err.log) and in the data folder's conversion record, both on
// the disk; when the update has ended, a second line in each saying how, and which number the
// radio reported afterwards. A folder that is empty (no log or data folder set) is passed over.
class RecordedSerialUpdate {
public:
    using Stage = SerialAudit::Stage;

    struct Numbers {
        std::wstring model;
        std::wstring oldSerial;
        std::wstring newSerial;
    };

    RecordedSerialUpdate(std::filesystem::path auditFolder, ConversionRecord record,
                         Numbers numbers);

    // Writes the started lines. false when either cannot be written, with the folder that would
    // not take it in `unwritable`: the update must not reach the radio then.
    bool begin(std::filesystem::path& unwritable);
    // Writes how the update ended (any stage but Started) with the number the radio reported
    // afterwards (empty: not read) and the error; a line that cannot be written is said in
    // err.log.
    void finish(Stage stage, const std::wstring& serialNow, const std::string& error);

    const Numbers& numbers() const { return numbers_; }

private:
    bool writeAudit(Stage stage, const std::wstring& serialNow, std::string& reason) const;
    bool writeRecord(Stage stage, const std::wstring& serialNow, const std::string& error,
                     std::string& reason) const;

    std::filesystem::path auditFolder_;
    ConversionRecord record_;
    Numbers numbers_;
    std::string id_;
};

}  // namespace plugshift
