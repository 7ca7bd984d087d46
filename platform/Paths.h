// Path rules that differ between systems: the separator, the presence test
// for an ordinary file, and file identity. Standard C++ only.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

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

// One file's identity, read once, to compare many paths against it cheaply.
class FileIdentity {
public:
    explicit FileIdentity(std::string path);
    // False when nothing stood at the path when the identity was read.
    bool exists() const { return exists_; }
    // True when `other` names this same file, however spelled.
    bool sameAs(const std::string& other) const;

private:
    std::string path_;
    bool exists_ = false;
    unsigned long long device_ = 0, inode_ = 0;
};

// The paths of the entries of `folder` (a prefix ending in a path separator,
// or "" for the current folder) whose names `wanted` accepts, read from one
// listing of the folder. Nothing when the folder cannot be listed.
std::optional<std::vector<std::string>> listFolder(const std::string& folder,
                                                   const std::function<bool(const std::string& name)>& wanted);

// True when something (a file, a folder, a dangling link) stands at `path`.
bool pathExists(const std::string& path);

// Removes a file, ignoring failures: used to clean up after a failed run.
void removeQuietly(const std::string& path);

} // namespace tessaly
