// A move-only handle over an operating-system file, the ways the engine
// creates files, and the byte copy between two files that the splitter and
// the joiner are built on. Standard C++ plus the system's file calls; no Qt.
//
// Paths are UTF-8 byte strings on every system.
#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <utility>
#include <variant>

namespace tessaly {

// Reasons of our own, beside the system's error numbers.
enum class FileErrc {
    NotRegularFile = 1, // a folder, FIFO, device or socket where a file is needed
    EndedEarly,         // fewer bytes than the size taken when the run started
    NulInPath,          // a path holding a NUL byte names some other file
};
const std::error_category& fileCategory();
std::error_code make_error_code(FileErrc e);

// A value, or the reason there is none: it holds one or the other, never
// both. Asking an error for its value throws std::bad_variant_access.
template <class T>
class [[nodiscard]] Expected {
public:
    Expected(T value) : held_(std::in_place_index<0>, std::move(value)) {}
    Expected(std::error_code error) : held_(std::in_place_index<1>, error) {}
    explicit operator bool() const { return held_.index() == 0; }
    T& operator*() { return std::get<0>(held_); }
    const T& operator*() const { return std::get<0>(held_); }
    T* operator->() { return &std::get<0>(held_); }
    const T* operator->() const { return &std::get<0>(held_); }
    // The reason; no error while the value is held.
    std::error_code error() const { return held_.index() == 1 ? std::get<1>(held_) : std::error_code(); }

private:
    std::variant<T, std::error_code> held_;
};

// What was being done to a file when it failed.
enum class Operation { Open, Read, Create, Write };
// "open", "read", "create", "write".
const char* verb(Operation operation);

// A failed file operation: what was being done, to which path, and why.
struct IoError {
    Operation operation = Operation::Open;
    std::string path;
    std::error_code code;
    // The system's reason in words, e.g. "No space left on device".
    std::string reason() const { return code.message(); }
};

// What the system says of a file.
struct FileStatus {
    std::int64_t size = 0;
    std::int64_t modified = 0; // last write, nanoseconds since the epoch
    std::int64_t changed = 0;  // last change of content or attributes, which
                               // no user can set back
    std::uint64_t device = 0, inode = 0;
    unsigned permissions = 0666; // rwx bits for owner, group and others
    bool regular = true;         // a regular file, not a folder or device
};

// The permissions a new file is created with when none are asked for; the
// user's umask applies on top.
inline constexpr unsigned kDefaultPermissions = 0666;

class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    // Takes over `fd`, an open descriptor (-1 for none).
    explicit File(int fd) : fd_(fd) {}
    File& operator=(const File&) = delete;

    // Opens an existing regular file for reading. Anything else (a folder, a
    // FIFO, a device) is refused without being opened, so a FIFO cannot
    // block and a device sees no open.
    [[nodiscard]] static Expected<File> openRead(const std::string& path);
    // Opens an existing regular file, as openRead does, so that what was
    // written to it can be put on the disk (syncData) and read back. Where
    // syncing needs write access (Windows), it is opened for writing too.
    [[nodiscard]] static Expected<File> openToSync(const std::string& path);
    // A new, empty file at `path`, with `permissions` (less the umask).
    // Whatever file stands there (a file, a symbolic or hard link) loses
    // that name first and is never written through; a folder there is an
    // error (EISDIR), a device, FIFO or socket too (NotRegularFile).
    [[nodiscard]] static Expected<File> createFresh(const std::string& path, unsigned permissions = kDefaultPermissions);
    // A new file at a path where nothing may stand yet (EEXIST otherwise).
    [[nodiscard]] static Expected<File> createNew(const std::string& path, unsigned permissions = kDefaultPermissions);

    bool isOpen() const { return fd_ >= 0; }
    [[nodiscard]] Expected<FileStatus> status() const;
    // Reads up to `n` bytes at `offset`; 0 at the end of the file.
    [[nodiscard]] Expected<std::int64_t> readAt(char* buffer, std::size_t n, std::int64_t offset);
    // Writes all `n` bytes at `offset`.
    [[nodiscard]] std::error_code writeAt(const char* data, std::size_t n, std::int64_t offset);
    // Flushes written data to the storage device, with what is needed to
    // read it back (the size), not necessarily the times.
    [[nodiscard]] std::error_code syncData();
    // Where data stands from `from` on, in a file with holes: the first byte
    // of data at or after `from` in `start`, the hole after it in `end`
    // (both the size when only a hole follows). False when the system
    // cannot tell; then every byte counts as data. Answers are kept per
    // stretch, so asking again within one costs nothing.
    [[nodiscard]] bool dataStretch(std::int64_t from, std::int64_t& start, std::int64_t& end);
    // Makes the file at least `size` bytes long; what is added is a hole.
    [[nodiscard]] std::error_code extendTo(std::int64_t size);
    // Starts putting what was written on the storage device, without
    // waiting for it, so that a later flush has less left to wait for.
    void startFlush();
    // Closes the file and reports a failure of the close itself (a late
    // write error on some file systems). Closing a closed handle is a no-op.
    [[nodiscard]] std::error_code close();

    int native() const { return fd_; }

private:
    int fd_ = -1;
    // The last stretch of data dataStretch found, [-1, -1) before any.
    std::int64_t stretchStart_ = -1, stretchEnd_ = -1;
};

// A new file that takes its name only once it is complete, so that a run
// that fails, or is killed, never leaves a half-written file under that name.
// Where the system allows, it has no name at all until then (Linux
// O_TMPFILE: nothing is left behind even by a kill); elsewhere it is a
// hidden ".tessaly-….part" file beside the final path.
class PendingFile {
public:
    PendingFile() = default;
    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&& other) noexcept;
    ~PendingFile(); // discards the file unless it was committed

    // A pending file in the folder of `path`, to be named `path`, with
    // `permissions` (less the umask).
    [[nodiscard]] static Expected<PendingFile> create(const std::string& path, unsigned permissions = kDefaultPermissions);

    File& file() { return file_; }
    // Closes the file and gives it its name, replacing whatever file stands
    // there (a link is replaced, not followed; a folder, device, FIFO or
    // socket is not replaced).
    [[nodiscard]] std::error_code commitReplacing();
    // As commitReplacing, but only where nothing stands at the path yet
    // (EEXIST otherwise).
    [[nodiscard]] std::error_code commitIfFree();
    // Closes and removes the file; the destructor does this when the file
    // was not committed.
    void discard();
    // True once the file has its name, even when a commit failed after
    // giving it (the close that follows, say).
    bool named() const { return named_; }

private:
    // Closes the file and moves it from its hidden name to its own; with
    // `replace`, over whatever file stands there.
    [[nodiscard]] std::error_code moveIntoPlace(bool replace);

    File file_;
    std::string path_;
    std::string temporary_; // the hidden name; "" while the file has none
    bool named_ = false;
};

// Which side of a copy failed.
enum class CopySide { None, Read, Write };

struct CopyResult {
    std::int64_t copied = 0;
    CopySide failed = CopySide::None;
    std::error_code code;
};

// Copies up to `length` bytes from `in` at `inOffset` to `out` at
// `outOffset`. Uses the kernel's in-file copy where the system has it and a
// fixed-size buffer otherwise, so memory use does not depend on `length`.
// A result with fewer bytes than asked and no failure means `in` ended.
[[nodiscard]] CopyResult copyBytes(File& in, std::int64_t inOffset, File& out, std::int64_t outOffset, std::int64_t length);

// Removes the file or link at `path`; a path where nothing stands is no
// error. A folder is not removed (EISDIR), nor a device, FIFO or socket
// (NotRegularFile).
[[nodiscard]] std::error_code removeFile(const std::string& path);

// Why whatever stands at `path` may not be replaced by a new file: a folder
// (EISDIR), or a device, FIFO or socket (NotRegularFile). Nothing when the
// path is free or holds a file or a link, which is replaced, not followed.
[[nodiscard]] std::error_code replaceProblem(const std::string& path);

// Puts on the storage device the names in `folder` (a prefix ending in a
// separator, or "" for the current folder), so that files created, renamed
// or removed there stay so after a crash (a folder that cannot be read is
// not opened: the whole system is synced instead). Nothing to do on Windows, whose
// file systems keep their names in order themselves.
[[nodiscard]] std::error_code syncFolder(const std::string& folder);

// What the system says of what `path` leads to, following links.
[[nodiscard]] Expected<FileStatus> statusOfPath(const std::string& path);

} // namespace tessaly

template <>
struct std::is_error_code_enum<tessaly::FileErrc> : std::true_type {};
