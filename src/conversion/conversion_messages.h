#pragma once

// The records of the conversion commands. Each numbered message ends with the number that names
// its failure; the numbers, texts and categories are what dealers quote to support, so they stay
// exactly as they are.
namespace plugshift::conversion_text {

// Step texts: the step in progress, appended as the last record of a failed run.
inline constexpr const wchar_t* kStepUpdate = L"Update";
inline constexpr const wchar_t* kStepLoadAddressMap = L"Load address map.";
inline constexpr const wchar_t* kStepKeepUserInfo = L"Keep user-infor";
inline constexpr const wchar_t* kStepBeginUpdate = L"Begin to update default block.";
inline constexpr const wchar_t* kStepUpdateDefault = L"Update default block.";
// The tool's own names of the steps the progress line would otherwise pass in silence.
inline constexpr const wchar_t* kStepLoadCodeplug = L"Load codeplug file.";
inline constexpr const wchar_t* kStepEraseDefault = L"Erase default block.";
inline constexpr const wchar_t* kStepEraseDynamic = L"Erase dynamic block.";
inline constexpr const wchar_t* kStepFinalize = L"Finalize flashing data.";
inline constexpr const wchar_t* kStepRestoreUserInfo = L"Restore user-infor.";

// Category 3.
inline constexpr const wchar_t* kNoPort = L"Error:no port is connected (0x001).";
// Category 9; the run stops: without the flash type nothing may be erased.
inline constexpr const wchar_t* kFlashTestMode =
    L"Error:failed to put radio in FLASH test mode [%d] (0x002).";
// Category 9; the test mode was accepted but its reply named no flash type we know (-1: no type
// byte at all). The run stops before anything is erased.
inline constexpr const wchar_t* kUnknownFlashType =
    L"Error:the radio did not report a known flash type [%d] (0x003).";
// Category 9.
inline constexpr const wchar_t* kBaudRate = L"Error:failed to set baud rate to [%d] (0x006).";
// Category 6.
inline constexpr const wchar_t* kAddressFile = L"Error:failed to parse address file [%ls] (0x007).";
inline constexpr const wchar_t* kBlockMismatch =
    L"Error:the address or length of block [%ls] configured is not matched to the address map "
    L"(0x008).";
// Category 9.
inline constexpr const wchar_t* kMemRead = L"Error:failed to memRead block [%ls] (0x00a).";
inline constexpr const wchar_t* kContactRead = L"Error:failed to read contact index [%d] (0x00b).";
inline constexpr const wchar_t* kProtection =
    L"Error:failed to enter in protection mode [%d] (0x012).";
// Category 6.
inline constexpr const wchar_t* kCodeplugFile =
    L"Error:failed to parse codeplug file [%ls] (0x013).";
// Category 9; nothing is programmed over a sector that was not erased.
inline constexpr const wchar_t* kEraseSector =
    L"Error:failed to erase Default block at address [%d] (0x014).";
// Category 9.
inline constexpr const wchar_t* kProgram =
    L"Error:failed to program flash at address [%d] (0x015).";
// A layout whose dynamic-block erase would land inside the default block just programmed.
inline constexpr const wchar_t* kDefaultBlockOverlaps =
    L"Error:the default block of %d bytes at [%d] reaches the dynamic block erased at [%d] on "
    L"flash type %d; nothing was erased.";
inline constexpr const wchar_t* kEraseDynamic = L"Error:failed to erase DYNAMIC block (0x016).";
inline constexpr const wchar_t* kFinalizeBaudRate =
    L"Error:failed to set baud rate to [%d] (0x01a).";
inline constexpr const wchar_t* kHardReset = L"Error:failed to Hard reset radio (0x01b).";
inline constexpr const wchar_t* kDefaultCorrupted = L"Error:default block is corrupted (0x01c).";
inline constexpr const wchar_t* kSbepTestMode =
    L"Error:failed to put radio in SBEP test mode (0x01d).";
inline constexpr const wchar_t* kResetBlocks = L"Error:failed to reset all blocks (0x01e).";
inline constexpr const wchar_t* kRestoreFactory = L"Error:failed to restore factory block (0x01f).";
inline constexpr const wchar_t* kMemWrite = L"Error:failed to memWrite block [%ls] (0x020).";
// Category 9; the next contact group is still tried.
inline constexpr const wchar_t* kContactWrite =
    L"Error:failed to write contact index [%d] (0x021).";
// Category 9.
inline constexpr const wchar_t* kMasterReset =
    L"Error:failed to restore contact in PerformMasterReset (0x022).";
inline constexpr const wchar_t* kNormalFlashTestMode =
    L"Error:failed to put radio in FLASH test mode [%d] (0x029).";
inline constexpr const wchar_t* kNormalProtection =
    L"Error:failed to enter in protection mode [%d] (0x02a).";
inline constexpr const wchar_t* kNormalBaudRate = L"Error:failed to set baud rate to [%d] (0x02b).";
inline constexpr const wchar_t* kSoftReset = L"Error:failed to soft reset radio (0x02c).";

// Our own records, outside the numbered range.
// Category 9; the contact (numbered in restore order), its length and the longest a contact
// write carries. The run stops before anything is erased.
inline constexpr const wchar_t* kContactTooLong =
    L"Error:contact [%d] holds [%d] bytes, more than a contact write can carry back ([%d]); "
    L"nothing is erased.";
// Category 9; the run stops before anything is erased, since the contacts could not come back.
inline constexpr const wchar_t* kTooManyContacts =
    L"Error:the radio reports [%d] contacts, more than can be kept across the conversion.";
// Category 1; nothing has been erased yet.
inline constexpr const wchar_t* kBackupNotSaved =
    L"Error:failed to save the personality backup [%ls].";

}  // namespace plugshift::conversion_text
