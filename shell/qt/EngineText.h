// A path or message between the Qt window (QString) and the engine and the
// window rules (bytes: UTF-8 on Windows, where the file calls take UTF-16;
// elsewhere the file system's own encoding of names).
#pragma once

#include <QString>
#include <string>

namespace tessaly {

std::string toEngineText(const QString& text);
QString fromEngineText(const std::string& text);

} // namespace tessaly
