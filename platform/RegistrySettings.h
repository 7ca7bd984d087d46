// The per-user settings store on Windows: the registry key
// HKCU\Software\Orvane\Tessaly, one REG_SZ value per setting. It is the key
// a Qt build of the window on Windows uses too.
#pragma once

#ifdef _WIN32
#include <string>

#include "SettingsStore.h"

namespace tessaly {

class RegistrySettings : public SettingsStore {
public:
    // The key below HKEY_CURRENT_USER; tests point it elsewhere.
    explicit RegistrySettings(std::string subkey = std::string("Software\\") + kSettingsApplication + "\\" +
                                                   kSettingsSection)
        : subkey_(std::move(subkey)) {}

    std::string read(const std::string& key, const std::string& defaultValue) override;
    [[nodiscard]] bool write(const std::string& key, const std::string& value) override;
    std::string location() override { return "HKEY_CURRENT_USER\\" + subkey_; }
    std::string defaultOutputFolder() override { return "C:\\"; }

private:
    std::string subkey_;
};

} // namespace tessaly
#endif
