// The per-user settings store through QSettings.
//
// Store layout: application "Orvane", one section per program ("Tessaly"),
// one text value per key. Linux: $XDG_CONFIG_HOME/Orvane.ini (usually
// ~/.config/Orvane.ini), group [Tessaly]. Windows: HKCU\Software\Orvane\Tessaly.
#pragma once

#include <QString>

#include "SettingsStore.h"

namespace tessaly {

// The stored text, or `defaultValue` when the key, its section or its
// application is not in the store (or the store cannot be read). Asks the
// store every time; nothing is cached.
QString readSetting(const QString& application, const QString& section, const QString& key,
                    const QString& defaultValue);

// Stores `value`, creating the application and section as needed, and
// flushes the store at once. False when the store could not be written.
[[nodiscard]] bool writeSetting(const QString& application, const QString& section, const QString& key,
                                const QString& value);

// Where the store lives, for messages ("~/.config/Orvane.ini", or the
// registry key on Windows).
QString settingsLocation(const QString& application);

// The output folder used before the user chose one: the home folder with a
// trailing separator on Linux and macOS, "C:\" on Windows.
QString defaultOutputFolder();

// The window's store: the section "Tessaly" of the application "Orvane".
class QtSettingsStore : public SettingsStore {
public:
    std::string read(const std::string& key, const std::string& defaultValue) override;
    [[nodiscard]] bool write(const std::string& key, const std::string& value) override;
    std::string location() override;
    std::string defaultOutputFolder() override;
};

} // namespace tessaly
