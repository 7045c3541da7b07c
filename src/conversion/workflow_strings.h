#pragma once

#include <cstdint>
#include <string>

namespace plugshift {

// The strings the radio workflows show, by their number in the string table. The desktop
// window's table holds the same numbers; workflowText gives the English texts, which the command
// line prints.
enum WorkflowString : int {
    kStrNone = 0,
    kStrCableToDigital = 4,
    kStrSerialIdentical = 103,
    kStrPasswordWrong = 104,
    kStrFileProblem = 112,
    kStrManyCables = 113,  // %d: the number of cables
    kStrConvertDone = 114,
    kStrConvertFailed = 115,
    kStrConvertConfirm = 116,  // %s: the band
    kStrSerialIncorrect = 117,
    kStrCableToDigitalRetry = 119,
    kStrSerialUpdated = 131,
    kStrCableUnsupported = 136,
    kStrSeries = 121,  // %1: the series name
    kStrConnectFailed = 143,
    kStrRadioUnsupported = 145,
    kStrInfoDone = 171,
    kStrSerialFailed = 172,
    kStrIncompatible = 173,
    kStrAlreadyConverted = 174,  // %s: the band
    kStrNotAvailable = 175,
    kStrPersonalityRestored = 181,
    kStrPersonalityRestoreFailed = 182,
    kStrBackupNotSaved = 183,       // %s: the backup folder
    kStrRecoveryOtherRadio = 184,   // %s: the serial number the backup was taken from
    kStrConvertWarnings = 185,      // %s: what the conversion recorded
    kStrNotRecorded = 186,          // %s: the data folder
    kStrFinishWithBackup = 187,     // %s: when the unfinished conversion started
    kStrFinishWithoutBackup = 188,  // %s: when the unfinished conversion started
    kStrConvertedNotReread = 189,
    // 190 is the window's own (reconnect before a recovery).
    kStrRecordUnreadable = 191,  // %s: the record file and why it cannot be read
    kStrRecordOtherFiles = 193,  // %s: the files the record names
    kStrFinishBackupLost = 194,  // %s: the backup that cannot be read
    kStrBackupUnusable = 195,    // %s: the backup that cannot be read
    kStrStoppedUnchanged = 196,
    kStrMayBeHalfWritten = 197,
    kStrRecordNotClosed = 198,         // %s: why the record could not be written
    kStrRestoreConfirm = 199,          // %s: the backup
    kStrBackupOtherCodeplug = 200,     // %s: the backup's codeplug version
    kStrFinishFirst = 201,             // %s: when the unfinished conversion started
    kStrRestoreIntoConverted = 202,    // %s: when the unfinished conversion started
    kStrSerialNotRecorded = 203,       // %s: the folder
    kStrSerialStoppedUnchanged = 204,  // %s: the radio's serial number
    kStrSerialStillOld = 205,          // %s: the radio's old serial number
    kStrSerialNowNew = 206,            // %s: the new serial number
    kStrSerialNotKnown = 207,
    kStrSerialNotBackedUp = 208,
    kStrSerialNowOther = 209,        // %s: the serial number the radio reports
    kStrFinishLastSteps = 210,       // %s: when the unfinished conversion started
    kStrStepNotRecorded = 211,       // %s: the data folder
    kStrBackupNotWrittenBack = 212,  // %s: the backup
};

// The icon of a message, as the message box's style bits encode it.
enum class MessageIcon : uint32_t {
    None = 0,
    Error = 0x10,
    Question = 0x20,
    Warning = 0x30,
    Information = 0x40,
};

// The English text of a workflow string, its placeholder ("%s", "%d" or "%1") unfilled; nullptr
// for a number that is not one of them.
const wchar_t* workflowText(int id);
// The text with its one placeholder (the first %s, %d or %1) replaced by the argument.
std::wstring withArgument(std::wstring text, const std::wstring& argument);

// Name of an icon for people reading a terminal: "error", "warning", ...
const char* messageIconName(MessageIcon icon);

}  // namespace plugshift
