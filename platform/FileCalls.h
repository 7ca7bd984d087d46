// The system calls beneath File and PendingFile, one set per system
// (File_posix.cpp, File_win32.cpp), for the shared part in File.cpp.
// Internal to the platform layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

#include "File.h"

namespace tessaly::detail {

inline bool holdsNul(const std::string& path) { return path.find('\0') != std::string::npos; }

[[nodiscard]] Expected<std::int64_t> readSome(int fd, char* buffer, std::size_t n, std::int64_t offset);
[[nodiscard]] Expected<std::int64_t> writeSome(int fd, const char* data, std::size_t n, std::int64_t offset);
[[nodiscard]] std::error_code syncFile(int fd);
[[nodiscard]] std::error_code closeFile(int fd);
// Removes the file or link at `p`; nothing there is no error.
[[nodiscard]] std::error_code unlinkPath(const std::string& p);
// Moves `from` to `to`; with `replace`, over whatever file stands there,
// otherwise only where nothing does (EEXIST).
[[nodiscard]] std::error_code movePath(const std::string& from, const std::string& to, bool replace);

// Why a file may not be created under the name `path` on this system.
[[nodiscard]] std::error_code newNameProblem(const std::string& path);
// A new file with no name in `folder`, where the system has such files;
// an error otherwise, and the caller names its file at once instead.
[[nodiscard]] Expected<File> createUnnamed(const std::string& folder, unsigned permissions);
// A new hidden file at `path`, where nothing may stand yet.
[[nodiscard]] Expected<File> createHidden(const std::string& path, unsigned permissions);
// Gives the unnamed file `file` the name `target`, which must be free.
[[nodiscard]] std::error_code linkUnnamed(File& file, const std::string& target);
// Closes a pending file before it takes its name; on Windows it is no
// longer hidden from then on.
[[nodiscard]] std::error_code closePending(File& file);
// Windows cannot rename a file that it holds open: there a pending file is
// closed just before it takes its name. Elsewhere it stays open, and locked,
// until it has its name.
extern const bool kClosesBeforeRename;
// Removes the pending file at `path` when no run holds it any longer (its
// run was killed); one still held is left alone, as is anything else.
void removeIfAbandoned(const std::string& path);
// Copies what the kernel can copy between the two files without passing
// the bytes through user memory; the rest is left to the buffered copy.
[[nodiscard]] CopyResult kernelCopy(File& in, std::int64_t inOffset, File& out, std::int64_t outOffset,
                                    std::int64_t length);

} // namespace tessaly::detail
