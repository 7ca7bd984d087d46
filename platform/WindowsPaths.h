// Windows-only path rules used inside the platform layer: folders, device
// names and names Windows would store under another name. Not for the
// engine or the front ends, which ask the portable questions in Paths.h.
#pragma once

#ifdef _WIN32
#include <string>
#include <system_error>

namespace tessaly {

// True when a folder stands at `path`.
bool isFolderPath(const std::string& path);
// True when `path` names a device rather than a file: a reserved DOS device
// name as its last part (NUL, CON, COM1, "nul.txt", "AUX ."), except after
// "\\?\", which takes names as written, or the device namespace
// ("\\.\pipe\x", "\\?\C:" without a folder).
bool namesDevice(const std::string& path);
// Why a file cannot be created under `path` as it is written: a device name
// (FileErrc::NotRegularFile), or a last part that Windows would store under
// another name or in a stream of another file: one that ends in "." or " ",
// or holds ":" (ERROR_INVALID_NAME). Nothing when the name is usable.
[[nodiscard]] std::error_code newFileNameProblem(const std::string& path);

} // namespace tessaly
#endif
