// The hover pointer: a Windows cursor file (.cur) beside the executable, or
// the system's pointing hand when there is none.
#pragma once

#include <QCursor>
#include <QString>
#include <optional>

namespace tessaly {

// Reads a Windows cursor file: its first image and that image's hot spot.
// Nothing when the file is missing, unreadable or not a cursor file.
std::optional<QCursor> loadCursorFile(const QString& path);

} // namespace tessaly
