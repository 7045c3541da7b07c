#include "conversion/workflow_strings.h"

#include <array>

namespace plugshift {

namespace {

struct Entry {
    int id;
    const wchar_t* text;
};

// Texts exactly as the string table has them, misspellings included.
constexpr std::array kTexts = {
    Entry{kStrCableToDigital, L"Please toggle the USB cable to DIGITAL (Flash) mode."},
    Entry{kStrSerialIdentical, L"The serial number is identical to the radio"},
    Entry{kStrPasswordWrong, L"The password is not correct. Please check it!"},
    Entry{kStrFileProblem,
          L"A file needed for application could not be found or is corrupted. Please "
          L"re-install the application.\nIf you continue to get this message, please contact "
          L"Customer Service."},
    Entry{kStrManyCables,
          L"There are %d USB conections. Please remove the unused and keep one connection only."},
    Entry{kStrConvertDone, L"Convert successful."},
    Entry{kStrConvertFailed, L"Convert failed."},
    Entry{kStrConvertConfirm,
          L"This will program the radio to %s. Please do not remove the USB cable, the radio "
          L"from the Single Unit Charger, or turn-off radio during the programming process "
          L"since this can damage or corrupt the radio software.\n\nDo you want to continue?"},
    Entry{kStrSerialIncorrect, L"The serial number is incorrect."},
    Entry{kStrCableToDigitalRetry,
          L"Please toggle the USB cable to DIGITAL (Flash) mode then click OK.  After clicking "
          L"OK, click the \"Convert\" button to retry the process. "},
    Entry{kStrSerialUpdated, L"Update serial number successful."},
    Entry{kStrCableUnsupported, L"The USB cable is unsupported."},
    Entry{kStrSeries, L"%1 Series"},
    Entry{kStrConnectFailed, L"Failed to connect radio."},
    Entry{kStrRadioUnsupported, L"The tool does not support this radio."},
    Entry{kStrInfoDone, L"Successfully get radio information."},
    Entry{kStrSerialFailed, L"Failed to update serial number."},
    Entry{kStrIncompatible,
          L"The tool can't convert this radio due to codeplug version not compatible."},
    Entry{kStrAlreadyConverted, L"This radio is already in %s."},
    Entry{kStrNotAvailable, L"N/A"},
    Entry{kStrPersonalityRestored,
          L"The radio is converted again and its personality (user information and contacts) "
          L"is restored."},
    Entry{kStrPersonalityRestoreFailed, L"Restoring the radio's personality failed."},
    Entry{kStrBackupNotSaved,
          L"The radio's personality could not be saved in the folder %s, so the radio was not "
          L"changed.\nPlease make sure that this folder can be written to and that the disk is "
          L"not full, then convert again."},
    Entry{kStrRecoveryOtherRadio,
          L"The radio on the cable is not the radio whose personality was saved (serial number "
          L"%s). Please connect that radio and try again."},
    Entry{kStrConvertWarnings,
          L"The radio is converted, but the conversion recorded these warnings (they are also "
          L"in err.log):\n\n%s"},
    Entry{kStrNotRecorded,
          L"The conversion could not be recorded in the folder %s, so the radio was not "
          L"changed.\nPlease make sure that this folder can be written to and that the disk is "
          L"not full, then convert again."},
    Entry{kStrFinishWithBackup,
          L"The last conversion of this radio (started %s) did not end, and the radio may be "
          L"half-written. Its personality was saved before the conversion.\n\nDo you want to "
          L"finish the conversion now and write the personality back?"},
    Entry{kStrFinishWithoutBackup,
          L"The last conversion of this radio (started %s) did not end, and the radio may be "
          L"half-written. Its personality was not kept.\n\nDo you want to finish the "
          L"conversion now?"},
    Entry{kStrConvertedNotReread,
          L"The conversion succeeded, but the radio could not be read again afterwards. Please "
          L"reconnect it and use Get radio information to see it."},
    Entry{kStrRecordUnreadable,
          L"The conversion record %s cannot be read, so whether this radio's last conversion "
          L"ended cannot be told, and nothing was changed.\nPlease repair the file or move it "
          L"aside (the personality backups stay in the backup folder beside it), then try "
          L"again."},
    Entry{kStrRecordOtherFiles,
          L"The conversion record names files that are not this installation's (%s), so the "
          L"unfinished conversion is not finished from it and nothing was changed."},
    Entry{kStrFinishBackupLost,
          L"The personality backup of the unfinished conversion (%s) is missing or damaged. "
          L"The conversion can be finished without it, but the owner's user information and "
          L"contacts saved in it are then lost.\n\nDo you want to finish the conversion "
          L"without the personality?"},
    Entry{kStrBackupUnusable,
          L"The personality backup of the unfinished conversion (%s) is missing or damaged, so "
          L"the conversion was not finished and nothing was changed. Finishing it without the "
          L"backup loses the owner's user information and contacts saved in it."},
    Entry{kStrStoppedUnchanged,
          L"The conversion stopped at your request before anything in the radio was erased; "
          L"the radio is unchanged."},
    Entry{kStrMayBeHalfWritten,
          L"The conversion did not end, so the radio may be half-written.\nLeave it connected "
          L"and press Convert (or Get Radio Information) to finish the conversion; the "
          L"personality saved before it is written back when there is one."},
    Entry{kStrRecordNotClosed,
          L"The radio is converted, but the end of its conversion could not be written to the "
          L"conversion record (%s), so the record still shows it as not ended. Please free the "
          L"disk or check the data folder."},
    Entry{kStrRestoreConfirm,
          L"This will convert the radio again and write the personality saved in %s into it, "
          L"replacing the user information and contacts the radio holds now.\n\nDo you want to "
          L"continue?"},
    Entry{kStrBackupOtherCodeplug,
          L"The backup was taken from a radio with codeplug version %s, but the radio on the "
          L"cable reports another version, so the backup is not written into it."},
    Entry{kStrRestoreIntoConverted,
          L"The conversion record says that the last conversion of this radio (started %s) did "
          L"not end, but the radio reads as converted. Its personality (user information and "
          L"contacts) was saved before that conversion; writing it back replaces whatever has "
          L"been changed in the radio since.\n\nDo you want to write the saved personality back "
          L"now?"},
    Entry{kStrSerialNotRecorded,
          L"The serial-number update could not be recorded in the folder %s, so the radio was "
          L"not changed.\nPlease make sure that this folder can be written to and that the disk "
          L"is not full, then try again."},
    Entry{kStrFinishLastSteps,
          L"The last conversion of this radio (started %s) did not end, but its personality is "
          L"already in the radio (or none was kept). Only its last steps are left; nothing is "
          L"written over the personality.\n\nDo you want to finish the conversion now?"},
    Entry{kStrStepNotRecorded,
          L"The conversion could not be recorded in the folder %s, so it stopped before its "
          L"next step and the radio may be half-written.\nPlease make sure that this folder can "
          L"be written to and that the disk is not full, then convert again to finish the "
          L"conversion from where it stopped."},
    Entry{kStrSerialStoppedUnchanged,
          L"The serial-number update stopped at your request before the new number was sent; "
          L"the radio is unchanged and keeps its serial number %s."},
    Entry{kStrSerialStillOld,
          L"The radio still holds its old serial number %s. Please check the cable and the "
          L"radio, then try again."},
    Entry{kStrSerialNowNew, L"The radio now holds the new serial number %s."},
    Entry{kStrSerialNotKnown,
          L"The radio could not be read after the update, so whether it holds its old or the "
          L"new serial number is not known. Please reconnect it and read it (Get radio "
          L"information, or plugshift-cli info); if it shows the new number, update the serial "
          L"number again with that same number."},
    Entry{kStrSerialNotBackedUp,
          L"The radio's factory block could not be backed up after the new number was written, "
          L"so a later conversion would bring back the serial number the radio had before. "
          L"Please update the serial number again with the same new number (Update serial "
          L"number, or plugshift-cli set-serial) to fix this."},
    Entry{kStrSerialNowOther,
          L"The radio now holds the serial number %s, neither its old nor the new one. Please "
          L"update the serial number again."},
    Entry{kStrBackupNotWrittenBack,
          L"The personality saved before the unfinished conversion was not written back; it is "
          L"kept in %s.\nIf the owner's user information or contacts are missing, restore the "
          L"personality from that backup on purpose."},
    Entry{kStrFinishFirst,
          L"The last conversion of this radio (started %s) did not end. Please finish it first "
          L"(Convert); the serial number was not changed."},
};

}  // namespace

const wchar_t* workflowText(int id) {
    for (const Entry& entry : kTexts) {
        if (entry.id == id) {
            return entry.text;
        }
    }
    return nullptr;
}

const char* messageIconName(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error:
            return "error";
        case MessageIcon::Question:
            return "question";
        case MessageIcon::Warning:
            return "warning";
        case MessageIcon::Information:
            return "information";
        case MessageIcon::None:
            break;
    }
    return "none";
}

std::wstring withArgument(std::wstring text, const std::wstring& argument) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        const wchar_t next = text[i + 1];
        if (text[i] == L'%' && (next == L's' || next == L'd' || next == L'1')) {
            text.replace(i, 2, argument);
            break;
        }
    }
    return text;
}

}  // namespace plugshift
