// Path rules that differ between systems: the separator, the presence test
// for an ordinary file, and file identity. Standard C++ only.
#pragma once

#include <string>

namespace tessaly {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The text after the last path separator; the whole text when there is none.
std::string baseName(const std::string& path);
// The text up to and including the last path separator; "" when there is none.
std::string folderPart(const std::string& path);

// True when `path`, taken literally, names an ordinary file. On Windows that
// excludes folders, hidden and system files; elsewhere it is a regular file
// after following links (folders, devices, FIFOs and sockets fail). A name
// that starts with "." is an ordinary file.
bool isPresentFile(const std::string& path);

// True when both paths exist and name the same file, however spelled
// (links, "..", hard links).
bool isSameFile(const std::string& a, const std::string& b);

// True when something (a file, a folder, a dangling link) stands at `path`.
bool pathExists(const std::string& path);

// Removes a file, ignoring failures: used to clean up after a failed run.
void removeQuietly(const std::string& path);

} // namespace tessaly
