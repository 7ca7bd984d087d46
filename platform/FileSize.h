// The size of a file without reading it.
#pragma once

#include <cstdint>
#include <string>

#include "File.h"

namespace FileSize {

// Size of the regular file at `path` in bytes, or why it cannot be told:
// it cannot be opened as a regular file, or the system gave no answer.
tessaly::Expected<std::int64_t> sizeOf(const std::string& path);

// Size of the file at `path` in bytes, or 0 when it cannot be opened as a
// file (missing, no permission, a folder). Never fails towards its caller;
// the window's size check relies on exactly that.
std::int64_t FileSize2(const std::string& path);

} // namespace FileSize
