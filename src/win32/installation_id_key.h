#pragma once

#include <optional>
#include <string>

namespace plugshift {

// The installation id the installer keeps in the machine's registry: the string value "id" of
// HKEY_LOCAL_MACHINE\SOFTWARE\Kestrelon\KMV Plugshift PERU, read in the 64-bit view, where a
// 64-bit installer writes it, whatever the program's own bitness.
class InstallationIdKey {
public:
    static constexpr const wchar_t* kKeyPath = L"SOFTWARE\\Kestrelon\\KMV Plugshift PERU";
    static constexpr const wchar_t* kValueName = L"id";

    struct Reading {
        bool keyOpened = false;
        // The text as stored, up to its terminator; nothing when missing or not a string.
        std::optional<std::wstring> text;
    };

    // The machine's id; a test reads a key of its own below HKEY_CURRENT_USER.
    static Reading read();
    static Reading readFrom(void* rootKey, const std::wstring& keyPath);
};

}  // namespace plugshift
