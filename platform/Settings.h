// The per-user settings store, and the few conversions between the window's
// Qt strings and the engine's byte strings. Thin layer over QSettings.
//
// Store layout: application "Orvane", one section per program ("Tessaly"),
// one text value per key. Linux: $XDG_CONFIG_HOME/Orvane.ini (usually
// ~/.config/Orvane.ini), group [Tessaly]. Windows: HKCU\Software\Orvane\Tessaly.
#pragma once

#include <QString>
#include <string>

namespace tessaly {

inline constexpr const char* kSettingsApplication = "Orvane";
inline constexpr const char* kSettingsSection = "Tessaly";
inline constexpr const char* kOutputFolderKey = "Output Folder";
inline constexpr const char* kChunkSizeKey = "Chunk Size";
inline constexpr const char* kDefaultChunkSize = "100000";

// The stored text, or `defaultValue` when the key, its section or its
// application is not in the store (or the store cannot be read). Asks the
// store every time; nothing is cached.
QString readSetting(const QString& application, const QString& section, const QString& key,
                    const QString& defaultValue);

// Stores `value`, creating the application and section as needed, and
// flushes the store at once. False when the store could not be written.
bool writeSetting(const QString& application, const QString& section, const QString& key,
                  const QString& value);

// Where the store lives, for messages ("~/.config/Orvane.ini", or the
// registry key on Windows).
QString settingsLocation(const QString& application);

// The output folder used before the user chose one: the home folder with a
// trailing separator on Linux and macOS, "C:\" on Windows.
QString defaultOutputFolder();

// A path or message between the window (QString) and the engine (bytes in
// the system's file-name encoding).
std::string toEngineText(const QString& text);
QString fromEngineText(const std::string& text);

} // namespace tessaly
