#include "win32/installation_id_key.h"

#include <windows.h>

#include <vector>

namespace plugshift {

InstallationIdKey::Reading InstallationIdKey::read() {
    return readFrom(HKEY_LOCAL_MACHINE, kKeyPath);
}

InstallationIdKey::Reading InstallationIdKey::readFrom(void* rootKey, const std::wstring& keyPath) {
    Reading reading;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(static_cast<HKEY>(rootKey), keyPath.c_str(), 0,
                        KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return reading;
    }
    reading.keyOpened = true;
    DWORD type = 0;
    DWORD bytes = 0;
    LSTATUS status = ::RegQueryValueExW(key, kValueName, nullptr, &type, nullptr, &bytes);
    if (status == ERROR_SUCCESS && type == REG_SZ) {
        // One spare character: a value stored without its terminator still ends in one.
        std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
        status = ::RegQueryValueExW(key, kValueName, nullptr, &type,
                                    reinterpret_cast<BYTE*>(text.data()), &bytes);
        if (status == ERROR_SUCCESS && type == REG_SZ) {
            // The stored length counts the terminator; the id ends before it.
            reading.text = std::wstring(text.data());
        }
    }
    ::RegCloseKey(key);
    return reading;
}

}  // namespace plugshift
