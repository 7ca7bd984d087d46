// The size of a file without reading it.
#pragma once

#include <cstdint>
#include <string>

namespace FileSize {

// Size of the file at `path` in bytes, or 0 when it cannot be opened as a
// file (missing, no permission, a folder). Never fails towards its caller.
std::int64_t FileSize2(const std::string& path);

} // namespace FileSize
