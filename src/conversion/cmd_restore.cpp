#include "conversion/cmd_restore.h"

#include "conversion/conversion_messages.h"
#include "errors/error_category.h"

namespace plugshift {

namespace text = conversion_text;

bool CmdRestore::loadBackup(const std::filesystem::path& path) {
    loaded_ = PersonalityBackup::load(path, backup_);
    return loaded_;
}

void CmdRestore::setBackup(PersonalityBackup backup) {
    backup_ = std::move(backup);
    loaded_ = true;
}

bool CmdRestore::run() {
    // The whole run is the restore, so both restore steps share the progress range.
    steps_ = {kStepRestoreUserInfo, kStepRestoreContacts};
    beginRun(text::kStepRestoreUserInfo);
    if (!portConnected()) {
        fail(kErrorProt, text::kNoPort);
    } else if (!loaded_) {
        fail(kErrorFile, L"Error:no personality backup is loaded.");
    }
    enterSbepTestMode();
    // Restoring frees what it wrote; the loaded backup stays for another run.
    Personality working = backup_.personality;
    restoreBlocks(working);
    finishStep(kStepRestoreUserInfo);
    if (ok) {
        restoreContacts(working);
    }
    finishStep(kStepRestoreContacts);
    returnToNormalMode(true);
    return endRun();
}

}  // namespace plugshift
