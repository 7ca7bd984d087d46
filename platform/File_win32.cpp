// File and PendingFile over the Win32 calls. Files are opened with
// CreateFileW, so that sharing, creation and attributes are chosen here, and
// kept as C runtime descriptors; reads, writes and questions go to the Win32
// handle beneath, and their errors come from GetLastError.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "FileCalls.h"
#include "Paths.h"
#include "WindowsPaths.h"

namespace tessaly {

namespace detail {

namespace {

// A Win32 error in the system category. The codes that callers compare
// with portable conditions (a name taken, nothing at a path) are given as
// those conditions, whatever the C++ library maps.
std::error_code win32Error(DWORD e = GetLastError()) {
    switch (e) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return std::make_error_code(std::errc::file_exists);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return std::make_error_code(std::errc::no_such_file_or_directory);
    default: return {static_cast<int>(e), std::system_category()};
    }
}

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// A descriptor owning `h`; on failure `h` is closed and -1 returned.
int adopt(HANDLE h, int flags) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags);
    if (fd < 0) CloseHandle(h);
    return fd;
}

// Others may read, write, rename and delete a file while it is open here,
// as on POSIX systems; the checks for changes and identities see to the rest.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The pending file is created hidden and left out of the search index;
// once it has its name it is an ordinary file.
constexpr DWORD kPendingAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A descriptor for a new file at `path`, where nothing may stand yet.
Expected<int> createExclusive(const std::string& path, DWORD attributes, DWORD share = kShareAll) {
    if (const std::error_code ec = newFileNameProblem(path)) return ec;
    HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_WRITE, share, nullptr, CREATE_NEW, attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE) return win32Error();
    // Only a disk file is written, whatever else the name turned out to reach.
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return make_error_code(FileErrc::NotRegularFile);
    }
    const int fd = adopt(h, _O_WRONLY);
    if (fd < 0) return std::error_code(errno, std::generic_category());
    return fd;
}

// A Win32 read or write counts its bytes in 32 bits: larger requests are
// cut into calls of a gibibyte at most.
constexpr std::size_t kLargestCall = std::size_t{1} << 30;

OVERLAPPED at(std::int64_t offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xffffffffu);
    o.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    return o;
}

// 100-nanosecond ticks since 1601 to nanoseconds since 1970.
std::int64_t unixNanoseconds(FILETIME t) {
    const std::uint64_t ticks = (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    constexpr std::int64_t kTicksTo1970 = 116444736000000000;
    return (static_cast<std::int64_t>(ticks) - kTicksTo1970) * 100;
}

Expected<FileStatus> statusOfHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO times{};
    if (!GetFileInformationByHandle(handle, &info) ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &times, sizeof times)) {
        return win32Error();
    }
    FileStatus s;
    s.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    // Times in 100 ns steps, where the C runtime gives whole seconds.
    s.modified = unixNanoseconds(info.ftLastWriteTime);
    s.changed = (times.ChangeTime.QuadPart - 116444736000000000) * 100;
    s.device = info.dwVolumeSerialNumber;
    s.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    s.permissions = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
    s.regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && GetFileType(handle) == FILE_TYPE_DISK;
    return s;
}

// Clears the pending file's hidden attributes. Times of 0 stay as they are.
std::error_code unhide(int fd) {
    FILE_BASIC_INFO info{};
    if (!GetFileInformationByHandleEx(handleOf(fd), FileBasicInfo, &info, sizeof info)) return win32Error();
    const DWORD attributes = info.FileAttributes & ~kPendingAttributes;
    info = FILE_BASIC_INFO{};
    info.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(handleOf(fd), FileBasicInfo, &info, sizeof info)) return win32Error();
    return {};
}

} // namespace

Expected<std::int64_t> readSome(int fd, char* buffer, std::size_t n, std::int64_t offset) {
    OVERLAPPED o = at(offset);
    DWORD got = 0;
    if (ReadFile(handleOf(fd), buffer, static_cast<DWORD>(std::min(n, kLargestCall)), &got, &o)) return got;
    const DWORD e = GetLastError();
    if (e == ERROR_HANDLE_EOF) return std::int64_t{0};
    return win32Error(e);
}

Expected<std::int64_t> writeSome(int fd, const char* data, std::size_t n, std::int64_t offset) {
    OVERLAPPED o = at(offset);
    DWORD put = 0;
    if (WriteFile(handleOf(fd), data, static_cast<DWORD>(std::min(n, kLargestCall)), &put, &o)) return put;
    return win32Error();
}

std::error_code syncFile(int fd) { return FlushFileBuffers(handleOf(fd)) ? std::error_code() : win32Error(); }

std::error_code closeFile(int fd) {
    if (_close(fd) != 0) return {errno, std::generic_category()};
    return {};
}

std::error_code unlinkPath(const std::string& p) {
    // What may not be created is not removed either: a device, or a name
    // that Windows would trim or read as a stream of another file.
    if (const std::error_code ec = newFileNameProblem(p)) return ec;
    if (DeleteFileW(widen(p).c_str())) return {};
    const DWORD e = GetLastError();
    // Nothing there, or no folder for it to be in: nothing to remove.
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return {};
    if (e == ERROR_ACCESS_DENIED && isFolderPath(p)) return std::make_error_code(std::errc::is_a_directory);
    return win32Error(e);
}

std::error_code movePath(const std::string& from, const std::string& to, bool replace) {
    const DWORD flags = replace ? MOVEFILE_REPLACE_EXISTING : 0;
    if (MoveFileExW(widen(from).c_str(), widen(to).c_str(), flags)) return {};
    const DWORD e = GetLastError();
    if (e == ERROR_ACCESS_DENIED && isFolderPath(to)) return std::make_error_code(std::errc::is_a_directory);
    return win32Error(e);
}

// The name it is to take is checked before anything is written.
std::error_code newNameProblem(const std::string& path) { return newFileNameProblem(path); }

// Windows has no unnamed files.
Expected<File> createUnnamed(const std::string&, unsigned) {
    return std::make_error_code(std::errc::function_not_supported);
}

// Hidden by its attribute too, as a leading dot hides nothing here.
// Windows keeps no permission bits.
// No one may delete it while it is open: that tells a live run's pending
// file from one left by a killed run.
Expected<File> createHidden(const std::string& path, unsigned) {
    auto fd = createExclusive(path, kPendingAttributes, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!fd) return fd.error();
    return File(*fd);
}

std::error_code linkUnnamed(File&, const std::string&) {
    return std::make_error_code(std::errc::function_not_supported);
}

std::error_code closePending(File& file) {
    if (file.isOpen()) {
        if (const std::error_code ec = unhide(file.native())) return ec;
    }
    return file.close();
}

const bool kClosesBeforeRename = true;

// A pending file still open in its run refuses to be deleted.
void removeIfAbandoned(const std::string& path) { (void)DeleteFileW(widen(path).c_str()); }

CopyResult kernelCopy(File&, std::int64_t, File&, std::int64_t, std::int64_t) { return {}; }

} // namespace detail

using detail::holdsNul;
using detail::win32Error;

namespace detail {

// An existing regular file opened with `access`.
Expected<File> openExisting(const std::string& path, DWORD access) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    // A device is refused by its name, without being opened.
    if (namesDevice(path)) return make_error_code(FileErrc::NotRegularFile);
    const std::wstring wide = widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return win32Error();
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::make_error_code(std::errc::is_a_directory);
    HANDLE h = CreateFileW(wide.c_str(), access, detail::kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return win32Error();
    // The path may name something else by now; what counts is what was opened.
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(h);
        return make_error_code(FileErrc::NotRegularFile);
    }
    File f(adopt(h, (access & GENERIC_WRITE) != 0 ? _O_RDWR : _O_RDONLY));
    if (!f.isOpen()) return std::error_code(errno, std::generic_category());
    return f;
}

} // namespace detail

Expected<File> File::openRead(const std::string& path) { return detail::openExisting(path, GENERIC_READ); }

// FlushFileBuffers needs a handle that may write.
Expected<File> File::openToSync(const std::string& path) {
    return detail::openExisting(path, GENERIC_READ | GENERIC_WRITE);
}

// Windows keeps no permission bits: new files are ordinary writable files.
Expected<File> File::createFresh(const std::string& path, unsigned) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    if (const std::error_code ec = newFileNameProblem(path)) return ec;
    // Should another file take the freed name before the exclusive create,
    // that one loses its name too; after a few rounds the clash is reported.
    for (int attempt = 0;; ++attempt) {
        if (const std::error_code ec = detail::unlinkPath(path)) return ec;
        auto fd = detail::createExclusive(path, FILE_ATTRIBUTE_NORMAL);
        if (fd) return File(*fd);
        if (fd.error() != std::errc::file_exists || attempt == 3) return fd.error();
    }
}

Expected<File> File::createNew(const std::string& path, unsigned) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    auto fd = detail::createExclusive(path, FILE_ATTRIBUTE_NORMAL);
    if (!fd) return fd.error();
    return File(*fd);
}

Expected<FileStatus> File::status() const { return detail::statusOfHandle(detail::handleOf(fd_)); }

Expected<FileStatus> statusOfPath(const std::string& path) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    // A device is never opened, not even to ask what it is.
    if (namesDevice(path)) return make_error_code(FileErrc::NotRegularFile);
    HANDLE h = CreateFileW(widen(path).c_str(), 0, detail::kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return win32Error();
    const auto status = detail::statusOfHandle(h);
    CloseHandle(h);
    return status;
}

// Windows starts writing back on its own.
void File::startFlush() {}

// Holes are not looked for here: every byte is copied.
bool File::dataStretch(std::int64_t, std::int64_t&, std::int64_t&) { return false; }

std::error_code File::extendTo(std::int64_t size) {
    LARGE_INTEGER now{};
    if (!GetFileSizeEx(detail::handleOf(fd_), &now)) return win32Error();
    if (now.QuadPart >= size) return {};
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = size;
    if (!SetFileInformationByHandle(detail::handleOf(fd_), FileEndOfFileInfo, &info, sizeof info)) return win32Error();
    return {};
}

std::error_code replaceProblem(const std::string& path) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    if (namesDevice(path)) return make_error_code(FileErrc::NotRegularFile);
    if (isFolderPath(path)) return std::make_error_code(std::errc::is_a_directory);
    return {};
}

std::error_code syncFolder(const std::string&) { return {}; }

} // namespace tessaly
