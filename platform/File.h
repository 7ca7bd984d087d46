// A move-only handle over an operating-system file descriptor, and the byte
// copy between two such files that the splitter and the joiner are built on.
// Standard C++ plus the system's file calls; no Qt.
#pragma once

#include <cstdint>
#include <string>
#include <system_error>

namespace tessaly {

// A failed file operation: what was being done, to which path, and why.
// message() gives the text a user sees, e.g.
// "Cannot write /out/movie.avi_splt3: No space left on device".
struct IoError {
    std::string verb;        // "open", "read", "create", "write", ...
    std::string path;
    std::error_code code;    // the system's reason, when there is one
    std::string detail = {}; // a reason of our own, used when code is empty

    std::string reason() const;
    std::string message() const { return "Cannot " + verb + " " + path + ": " + reason(); }
};

class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens an existing regular file for reading. A folder or a device is
    // refused (EISDIR / EINVAL) instead of being read.
    static File openRead(const std::string& path, std::error_code& ec);
    // Creates the file or empties an existing one, for writing.
    static File create(const std::string& path, std::error_code& ec);
    // Creates a file that must not exist yet (for temporary files).
    static File createNew(const std::string& path, std::error_code& ec);

    bool isOpen() const { return fd_ >= 0; }
    // Size in bytes of the open file.
    std::int64_t size(std::error_code& ec) const;
    // Reads up to `n` bytes at `offset`; returns the count, 0 at the end of
    // the file, or -1 with `ec` set.
    std::int64_t readAt(char* buffer, std::size_t n, std::int64_t offset, std::error_code& ec);
    // Writes all `n` bytes at `offset`.
    std::error_code writeAt(const char* data, std::size_t n, std::int64_t offset);
    // Flushes written data to the storage device.
    std::error_code sync();
    // Closes the file and reports a failure of the close itself (a late
    // write error on some file systems). Closing a closed handle is a no-op.
    std::error_code close();

    int native() const { return fd_; }

private:
    explicit File(int fd) : fd_(fd) {}
    int fd_ = -1;
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
CopyResult copyBytes(File& in, std::int64_t inOffset, File& out, std::int64_t outOffset,
                     std::int64_t length);

} // namespace tessaly
