// The per-user settings store as the window sees it: text values by key,
// under application "Orvane" and section "Tessaly". One implementation per
// toolkit: QSettings (Settings.h), the registry on Windows
// (RegistrySettings.h). All text is UTF-8.
#pragma once

#include <string>

namespace tessaly {

// The two stored settings: application "Orvane", section "Tessaly".
inline constexpr const char* kSettingsApplication = "Orvane";
inline constexpr const char* kSettingsSection = "Tessaly";
inline constexpr const char* kOutputFolderKey = "Output Folder";
inline constexpr const char* kChunkSizeKey = "Chunk Size";
inline constexpr const char* kDefaultChunkSize = "100000";

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or `defaultValue` when the key is not stored (or the
    // store cannot be read). Asks the store every time.
    virtual std::string read(const std::string& key, const std::string& defaultValue) = 0;
    // Stores `value` at once; false when the store could not be written.
    [[nodiscard]] virtual bool write(const std::string& key, const std::string& value) = 0;
    // Where the store lives, for messages.
    virtual std::string location() = 0;
    // The output folder used before the user chose one.
    virtual std::string defaultOutputFolder() = 0;
};

} // namespace tessaly
