#pragma once

#include <filesystem>

#include "conversion/conversion_command.h"
#include "conversion/personality_backup.h"

namespace plugshift {

// Writes a personality backup back into the connected radio with the requests a conversion ends
// with: SBEP test mode, the DYN memory writes, the contact writes in group order 4, 2, 3, 1 and
// the master reset, then the return to normal mode. Records, numbers and progress messages are
// those of the conversion's restore steps; a failed run ends with "Restore user-infor." as its
// last record. Whether the backup belongs to the radio is the caller's decision (backup() holds
// the identity it was taken from).
class CmdRestore : public ConversionCommand {
public:
    // Reads and verifies the file; false with a category-1 record, and nothing loaded.
    bool loadBackup(const std::filesystem::path& path);
    void setBackup(PersonalityBackup backup);
    bool hasBackup() const { return loaded_; }
    const PersonalityBackup& backup() const { return backup_; }

    bool run() override;

private:
    PersonalityBackup backup_;
    bool loaded_ = false;
};

}  // namespace plugshift
