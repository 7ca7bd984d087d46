#include "RegistrySettings.h"

#ifdef _WIN32
#include <windows.h>

#include <vector>

#include "Utf16.h"

namespace tessaly {

std::string RegistrySettings::read(const std::string& key, const std::string& defaultValue) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, widen(subkey_).c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
        return defaultValue;
    }
    const std::wstring name = widen(key);
    std::string value = defaultValue;
    DWORD type = 0, bytes = 0;
    // Asked twice, should the value grow between the size and the read.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) break;
        if (type != REG_SZ && type != REG_EXPAND_SZ) break;
        std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        const LSTATUS status =
            RegQueryValueExW(handle, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) break;
        // A stored string need not end in NUL; it ends at its size or its first NUL.
        std::wstring text(buffer.data(), got / sizeof(wchar_t));
        if (const auto nul = text.find(L'\0'); nul != std::wstring::npos) text.resize(nul);
        value = narrow(text);
        break;
    }
    RegCloseKey(handle);
    return value;
}

bool RegistrySettings::write(const std::string& key, const std::string& value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, widen(subkey_).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const std::wstring text = widen(value);
    const LSTATUS status =
        RegSetValueExW(handle, widen(key).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

} // namespace tessaly
#endif
