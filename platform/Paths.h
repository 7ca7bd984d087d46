// Path rules that differ between systems: the separator, the presence test
// for an ordinary file, file identity and folder listings. Standard C++ only.
//
// Paths are UTF-8 byte strings on every system.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "File.h"
#include "Utf16.h"

namespace tessaly {

// The separator the program puts into the paths it forms. On Windows "/"
// separates path parts too, and so does the colon of a drive ("C:name"):
// baseName and folderPart split at whichever comes last.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// An engine path (UTF-8) as a std::filesystem path, and back.
std::filesystem::path fsPath(const std::string& path);
std::string fromFsPath(const std::filesystem::path& path);

// The text after the last path separator; the whole text when there is none.
std::string baseName(const std::string& path);
// The text up to and including the last path separator; "" when there is none.
std::string folderPart(const std::string& path);

// True when `path`, taken literally, names an ordinary file. On Windows that
// excludes folders, hidden and system files and device names, after
// following links; elsewhere it is a regular file after following links
// (folders, devices, FIFOs and sockets fail). A name that starts with "."
// is an ordinary file.
bool isPresentFile(const std::string& path);

// The presence test, also telling when it could not be answered: Present
// for what isPresentFile accepts, Absent when nothing stands at the path or
// something that is not an ordinary file does, and the system's reason when
// the path could not be examined (an I/O error, a folder that may not be
// searched, a link loop, a name too long).
enum class Presence { Present, Absent };
Expected<Presence> presenceOf(const std::string& path);

// True when something (a file, a folder, a dangling link) stands at `path`.
bool pathExists(const std::string& path);

// What stands at a path, read once (following links), so that many paths
// can be compared cheaply: two identities are equal when both name the same
// existing file, however spelled (links, "..", hard links).
class FileIdentity {
public:
    explicit FileIdentity(const std::string& path);
    // False when nothing stood at the path when the identity was read.
    bool exists() const { return exists_; }
    // The size of a regular file; 0 for anything else.
    std::int64_t size() const { return status_.regular ? status_.size : 0; }
    // What the system said of it (all zero when nothing stood there).
    const FileStatus& status() const { return status_; }
    bool operator==(const FileIdentity& other) const;

private:
    bool exists_ = false;
    FileStatus status_{0, 0, 0, 0, 0, 0, false};
};

// The paths of the entries of `folder` (a prefix ending in a path separator,
// or "" for the current folder) whose names `wanted` accepts, read from one
// listing of the folder; the system's reason when it cannot be listed.
Expected<std::vector<std::string>> listFolder(const std::string& folder,
                                              const std::function<bool(const std::string& name)>& wanted);

// The path that an index entry names, as UTF-8. Index files are written in
// UTF-8. On Windows an entry that is not valid UTF-8 comes from an index
// written by an earlier program in the system's ANSI code page, and is read
// in that code page; elsewhere the entry is the path as it stands.
std::string indexEntryPath(std::string_view entry);

} // namespace tessaly
