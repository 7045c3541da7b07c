#pragma once

#include <string>

#include "conversion/workflow_strings.h"

namespace plugshift {

// Ids of the string table, named after what the text says or where it appears. Message texts are
// kept exactly as the program has always shown them, misspellings included. The messages of the
// radio workflows are the core's own table, shared with the command line.
namespace str {
// Buttons of the message box; the ids are also the results it returns.
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;

inline constexpr int kToggleCableDigital = kStrCableToDigital;
inline constexpr int kPromptDealerLogin = 102;
inline constexpr int kPasswordWrong = kStrPasswordWrong;
inline constexpr int kMenuDealerLogin = 105;
inline constexpr int kRestartForLanguage = 106;
inline constexpr int kPasswordHint = 107;
inline constexpr int kPromptHelp = 108;
inline constexpr int kPromptHelpContents = 109;
inline constexpr int kPromptAbout = 110;
inline constexpr int kPromptExit = 111;
inline constexpr int kFileMissing = kStrFileProblem;
inline constexpr int kManyCables = kStrManyCables;  // %d: the number of cables
inline constexpr int kConvertSuccessful = kStrConvertDone;
inline constexpr int kConvertFailed = kStrConvertFailed;
inline constexpr int kConfirmConvert = kStrConvertConfirm;  // %s: the band
inline constexpr int kToggleCableDigitalRetry = kStrCableToDigitalRetry;
inline constexpr int kSeries = kStrSeries;  // %1: the series name
inline constexpr int kMenuLanguage = 124;
inline constexpr int kSeriesModel = 126;   // first piece of the title
inline constexpr int kAboutCaption = 129;  // %s: the title
inline constexpr int kVersion = 130;       // %s: the version
inline constexpr int kCopyright = 132;
inline constexpr int kTrademark = 133;
inline constexpr int kToolName = 134;  // second piece of the title
inline constexpr int kLegalWarning = 135;
inline constexpr int kTimeLabelEmpty = 137;
inline constexpr int kHelpUnavailable = 138;
inline constexpr int kLangDutch = 139;
inline constexpr int kLangSpanishLatinAmerican = 140;
inline constexpr int kLangFrenchCanadian = 141;
inline constexpr int kLangPortugueseBrazil = 142;
inline constexpr int kConnectFailed = kStrConnectFailed;
inline constexpr int kRadioUnsupported = kStrRadioUnsupported;
inline constexpr int kPleaseWait = 147;
inline constexpr int kRadioInformation = 148;
inline constexpr int kLabelRadioType = 149;
inline constexpr int kLabelRegionCode = 150;
inline constexpr int kLabelModel = 151;
inline constexpr int kLabelSerialNumber = 152;
inline constexpr int kLabelFirmwareVersion = 153;
inline constexpr int kLabelCodeplugVersion = 154;
inline constexpr int kButtonGetRadioInfo = 155;
inline constexpr int kButtonConvert = 156;
inline constexpr int kCheckKeepPersonality = 157;
inline constexpr int kButtonUpdateSerial = 158;
inline constexpr int kLogin = 159;
inline constexpr int kMenuFile = 160;
inline constexpr int kMenuExit = 161;
inline constexpr int kMenuSetting = 163;
inline constexpr int kMenuHelp = 164;
inline constexpr int kMenuHelpContents = 165;
inline constexpr int kMenuAbout = 166;
inline constexpr int kAlreadyConverted = kStrAlreadyConverted;  // %s: the band
inline constexpr int kNotAvailable = kStrNotAvailable;
inline constexpr int kCableConnected = 176;
inline constexpr int kCableDisconnected = 177;
inline constexpr int kLabelKeypadVersion = 179;
// After a failed conversion that saved the radio's personality: the offer to convert again and
// write it back, and how that went.
inline constexpr int kOfferRestore = 180;
// Before that offer when the cable has gone.
inline constexpr int kReconnectForRecovery = 190;
// Update Serial Number found another radio on the cable than the one shown (%s: its number).
inline constexpr int kAnotherRadioConnected = 213;
inline constexpr int kPersonalityRestored = kStrPersonalityRestored;
inline constexpr int kBackupNotSaved = kStrBackupNotSaved;          // %s: the folder
inline constexpr int kRecoveryOtherRadio = kStrRecoveryOtherRadio;  // %s: the backup's serial
inline constexpr int kLabelUserPrivateId = 1079;  // shown as it is, no colon appended
inline constexpr int kLangEnglish = 32788;
inline constexpr int kLangGerman = 32789;
inline constexpr int kLangFrench = 32790;
inline constexpr int kLangItalian = 32791;
inline constexpr int kLangPolish = 32792;
inline constexpr int kLangPortuguese = 32793;
inline constexpr int kLangRussian = 32794;
inline constexpr int kLangSpanish = 32795;
inline constexpr int kLangTurkish = 32796;
}  // namespace str

// Every text the user sees, by id, in one place.
class StringTable {
public:
    // The tool's version as the About box shows it.
    static constexpr const char* kToolVersion = "R01.00";
    // The title travels in a fixed buffer of 260 characters, terminator included.
    static constexpr int kTitleMaxLength = 259;

    // The window's own texts, then the workflows'; empty for an id neither holds.
    static std::wstring text(int id);
    static bool contains(int id);
    // The text with its one placeholder ("%s", "%d" or "%1") replaced by the argument; the
    // argument is inserted literally, never read as a format.
    static std::wstring format(int id, const std::wstring& argument);
    static std::wstring format(int id, int argument);
    // Series model, tool name and band with a blank between each: the window title, the caption
    // of message boxes and the product name of the About box.
    static std::wstring title();
    // The band of this build: the title's last piece and the %s of the convert messages.
    static std::wstring band();
};

}  // namespace plugshift
