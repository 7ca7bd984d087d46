#include "File.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>

#include "Paths.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace tessaly {

namespace {

bool holdsNul(const std::string& path) { return path.find('\0') != std::string::npos; }

#ifdef _WIN32
// Files are opened with CreateFileW, so that sharing, creation and
// attributes are chosen here, and kept as C runtime descriptors; reads,
// writes and questions go to the Win32 handle beneath, and their errors
// come from GetLastError.

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

// A descriptor for a new file at `path`, where nothing may stand yet.
Expected<int> createExclusive(const std::string& path, DWORD attributes) {
    if (const std::error_code ec = newFileNameProblem(path)) return ec;
    HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW, attributes, nullptr);
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

// 100-nanosecond ticks since 1601 to nanoseconds since 1970.
std::int64_t unixNanoseconds(FILETIME t) {
    const std::uint64_t ticks = (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    constexpr std::int64_t kTicksTo1970 = 116444736000000000;
    return (static_cast<std::int64_t>(ticks) - kTicksTo1970) * 100;
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

// The pending file is created hidden and left out of the search index;
// once it has its name it is an ordinary file. Times of 0 stay as they are.
constexpr DWORD kPendingAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
std::error_code unhide(int fd) {
    FILE_BASIC_INFO info{};
    if (!GetFileInformationByHandleEx(handleOf(fd), FileBasicInfo, &info, sizeof info)) return win32Error();
    const DWORD attributes = info.FileAttributes & ~kPendingAttributes;
    info = FILE_BASIC_INFO{};
    info.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(handleOf(fd), FileBasicInfo, &info, sizeof info)) return win32Error();
    return {};
}
#else
std::error_code lastError() { return {errno, std::generic_category()}; }

using stat_t = struct stat;
// O_NONBLOCK: should a FIFO take the file's place after the check, the open
// must not wait for a writer.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
constexpr int kCreateFlags = O_WRONLY | O_CLOEXEC | O_CREAT | O_EXCL | O_NOFOLLOW;
int openFile(const std::string& p, int flags, unsigned permissions = kDefaultPermissions) {
    int fd;
    do {
        fd = ::open(p.c_str(), flags, static_cast<mode_t>(permissions & 0777));
    } while (fd < 0 && errno == EINTR);
    return fd;
}
bool isRegular(const stat_t& st) { return S_ISREG(st.st_mode); }
bool isFolder(const stat_t& st) { return S_ISDIR(st.st_mode); }
std::int64_t nanoseconds(const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; }

FileStatus statusOf(const stat_t& st) {
    FileStatus s;
    s.size = static_cast<std::int64_t>(st.st_size);
    s.modified = nanoseconds(st.st_mtim);
    s.changed = nanoseconds(st.st_ctim);
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    s.permissions = st.st_mode & 0777;
    s.regular = S_ISREG(st.st_mode);
    return s;
}

Expected<std::int64_t> readSome(int fd, char* buffer, std::size_t n, std::int64_t offset) {
    for (;;) {
        const ssize_t got = ::pread(fd, buffer, n, offset);
        if (got >= 0) return static_cast<std::int64_t>(got);
        if (errno != EINTR) return lastError();
    }
}

Expected<std::int64_t> writeSome(int fd, const char* data, std::size_t n, std::int64_t offset) {
    for (;;) {
        const ssize_t put = ::pwrite(fd, data, n, offset);
        if (put >= 0) return static_cast<std::int64_t>(put);
        if (errno != EINTR) return lastError();
    }
}

std::error_code syncFile(int fd) { return ::fsync(fd) == 0 ? std::error_code() : lastError(); }

std::error_code closeFile(int fd) {
    // A close interrupted by a signal has still released the descriptor on
    // Linux, so it is not retried.
    if (::close(fd) != 0 && errno != EINTR) return lastError();
    return {};
}

std::error_code unlinkPath(const std::string& p) {
    if (const std::error_code ec = replaceProblem(p)) return ec;
    if (::unlink(p.c_str()) == 0 || errno == ENOENT) return {};
    return lastError();
}

std::error_code movePath(const std::string& from, const std::string& to, bool replace) {
    if (replace) return ::rename(from.c_str(), to.c_str()) == 0 ? std::error_code() : lastError();
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
    if (errno != EINVAL && errno != ENOSYS) return lastError();
    // A file system without the no-replace rename: a hard link never replaces.
    if (::link(from.c_str(), to.c_str()) != 0) return lastError();
    ::unlink(from.c_str());
    return {};
}
// Gives the unnamed file open as `fd` the name `target`, which must be
// free. It is reached through /proc, as its descriptor seen as a path.
std::error_code linkDescriptor(int fd, const std::string& target) {
    const std::string descriptor = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, descriptor.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) return {};
    return lastError();
}
#endif

// Buffered copy, used where the kernel cannot copy between the two files.
// The buffer has a fixed size whatever the length asked for.
CopyResult bufferedCopy(int in, std::int64_t inOffset, int out, std::int64_t outOffset, std::int64_t length) {
    constexpr std::size_t kBufferSize = 1 << 20;
    thread_local std::unique_ptr<char[]> buffer(new char[kBufferSize]);
    CopyResult r;
    while (r.copied < length) {
        const auto want = static_cast<std::size_t>(
            std::min<std::int64_t>(length - r.copied, static_cast<std::int64_t>(kBufferSize)));
        const auto got = readSome(in, buffer.get(), want, inOffset + r.copied);
        if (!got) {
            r.failed = CopySide::Read;
            r.code = got.error();
            return r;
        }
        if (*got == 0) return r; // end of input
        std::int64_t done = 0;
        while (done < *got) {
            const auto put = writeSome(out, buffer.get() + done, static_cast<std::size_t>(*got - done),
                                       outOffset + r.copied + done);
            if (!put) {
                r.copied += done;
                r.failed = CopySide::Write;
                r.code = put.error();
                return r;
            }
            done += *put;
        }
        r.copied += *got;
    }
    return r;
}

// A name for a hidden temporary file in `folder` that no finished file
// has: it starts with "." and ends in ".part".
std::string temporaryName(const std::string& folder) {
    static std::mt19937_64 random(std::random_device{}() ^
                                  static_cast<std::uint64_t>(
                                      std::chrono::steady_clock::now().time_since_epoch().count()));
    char name[32];
    std::snprintf(name, sizeof name, ".tessaly-%012llx.part",
                  static_cast<unsigned long long>(random() & 0xffffffffffffULL));
    return folder + name;
}

// Closes a pending file before it takes its name; on Windows it is no
// longer hidden from then on.
std::error_code closePending(File& file) {
#ifdef _WIN32
    if (file.isOpen()) {
        if (const std::error_code ec = unhide(file.native())) return ec;
    }
#endif
    return file.close();
}

class FileCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "tessaly-file"; }
    std::string message(int value) const override {
        switch (static_cast<FileErrc>(value)) {
        case FileErrc::NotRegularFile: return "not a regular file";
        case FileErrc::EndedEarly: return "the file ended early (was it changed during the run?)";
        case FileErrc::NulInPath: return "the name holds a NUL character";
        }
        return "unknown error";
    }
};

} // namespace

const std::error_category& fileCategory() {
    static const FileCategory category;
    return category;
}

std::error_code make_error_code(FileErrc e) { return {static_cast<int>(e), fileCategory()}; }

const char* verb(Operation operation) {
    switch (operation) {
    case Operation::Open: return "open";
    case Operation::Read: return "read";
    case Operation::Create: return "create";
    case Operation::Write: return "write";
    }
    return "use";
}

File::~File() {
    if (fd_ >= 0) closeFile(fd_);
}

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) closeFile(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

#ifdef _WIN32
Expected<File> File::openRead(const std::string& path) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    // A device is refused by its name, without being opened.
    if (namesDevice(path)) return make_error_code(FileErrc::NotRegularFile);
    const std::wstring wide = widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return win32Error();
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::make_error_code(std::errc::is_a_directory);
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return win32Error();
    // The path may name something else by now; what counts is what was opened.
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(h);
        return make_error_code(FileErrc::NotRegularFile);
    }
    File f(adopt(h, _O_RDONLY));
    if (!f.isOpen()) return std::error_code(errno, std::generic_category());
    return f;
}

// Windows keeps no permission bits: new files are ordinary writable files.
Expected<File> File::createFresh(const std::string& path, unsigned) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    if (const std::error_code ec = newFileNameProblem(path)) return ec;
    // Should another file take the freed name before the exclusive create,
    // that one loses its name too; after a few rounds the clash is reported.
    for (int attempt = 0;; ++attempt) {
        if (const std::error_code ec = unlinkPath(path)) return ec;
        auto fd = createExclusive(path, FILE_ATTRIBUTE_NORMAL);
        if (fd) return File(*fd);
        if (fd.error() != std::errc::file_exists || attempt == 3) return fd.error();
    }
}

Expected<File> File::createNew(const std::string& path, unsigned) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    auto fd = createExclusive(path, FILE_ATTRIBUTE_NORMAL);
    if (!fd) return fd.error();
    return File(*fd);
}

static Expected<FileStatus> statusOfHandle(HANDLE handle) {
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

Expected<FileStatus> File::status() const { return statusOfHandle(handleOf(fd_)); }

Expected<FileStatus> statusOfPath(const std::string& path) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    // A device is never opened, not even to ask what it is.
    if (namesDevice(path)) return make_error_code(FileErrc::NotRegularFile);
    HANDLE h = CreateFileW(widen(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return win32Error();
    const auto status = statusOfHandle(h);
    CloseHandle(h);
    return status;
}
#else
Expected<File> File::openRead(const std::string& path) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    stat_t st{};
    if (::stat(path.c_str(), &st) != 0) return lastError();
    if (isFolder(st)) return std::make_error_code(std::errc::is_a_directory);
    if (!isRegular(st)) return make_error_code(FileErrc::NotRegularFile);
    File f(openFile(path, kReadFlags));
    if (!f.isOpen()) return lastError();
    // The path may name something else by now; what counts is what was opened.
    if (::fstat(f.fd_, &st) != 0) return lastError();
    if (!isRegular(st)) return make_error_code(FileErrc::NotRegularFile);
    return f;
}

Expected<File> File::createFresh(const std::string& path, unsigned permissions) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    // Created at once where the name is free, as it mostly is. Otherwise
    // whatever has the name loses it first; should another file take the
    // freed name before the exclusive create, that one loses it too, and
    // after a few rounds the clash is reported.
    for (int attempt = 0;; ++attempt) {
        File f(openFile(path, kCreateFlags, permissions));
        if (f.isOpen()) return f;
        if (errno != EEXIST || attempt == 3) return lastError();
        if (const std::error_code ec = unlinkPath(path)) return ec;
    }
}

Expected<File> File::createNew(const std::string& path, unsigned permissions) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    File f(openFile(path, kCreateFlags, permissions));
    if (!f.isOpen()) return lastError();
    return f;
}

Expected<FileStatus> File::status() const {
    stat_t st{};
    if (::fstat(fd_, &st) != 0) return lastError();
    return statusOf(st);
}

Expected<FileStatus> statusOfPath(const std::string& path) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    stat_t st{};
    if (::stat(path.c_str(), &st) != 0) return lastError();
    return statusOf(st);
}
#endif

Expected<std::int64_t> File::readAt(char* buffer, std::size_t n, std::int64_t offset) {
    return readSome(fd_, buffer, n, offset);
}

std::error_code File::writeAt(const char* data, std::size_t n, std::int64_t offset) {
    std::size_t done = 0;
    while (done < n) {
        const auto put = writeSome(fd_, data + done, n - done, offset + static_cast<std::int64_t>(done));
        if (!put) return put.error();
        done += static_cast<std::size_t>(*put);
    }
    return {};
}

std::error_code File::sync() { return syncFile(fd_); }

void File::startFlush() {
#ifdef __linux__
    ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

std::error_code File::close() {
    if (fd_ < 0) return {};
    return closeFile(std::exchange(fd_, -1));
}

PendingFile::~PendingFile() { discard(); }

PendingFile::PendingFile(PendingFile&& other) noexcept
    : file_(std::move(other.file_)), path_(std::move(other.path_)),
      temporary_(std::exchange(other.temporary_, std::string())) {}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
    if (this != &other) {
        discard();
        file_ = std::move(other.file_);
        path_ = std::move(other.path_);
        temporary_ = std::exchange(other.temporary_, std::string());
    }
    return *this;
}

Expected<PendingFile> PendingFile::create(const std::string& path, [[maybe_unused]] unsigned permissions) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
#ifdef _WIN32
    // The name it is to take is checked now, before anything is written.
    if (const std::error_code ec = newFileNameProblem(path)) return ec;
#endif
    PendingFile pending;
    pending.path_ = path;
    const std::string folder = folderPart(path);
#ifdef O_TMPFILE
    // Unnamed files are named later through /proc; without it they could
    // never be named, so then a hidden temporary file serves instead.
    if (::access("/proc/self/fd", X_OK) == 0) {
        File unnamed(openFile(folder.empty() ? "." : folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, permissions));
        if (unnamed.isOpen()) {
            pending.file_ = std::move(unnamed);
            return pending;
        }
    }
#endif
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = temporaryName(folder);
#ifdef _WIN32
        // Hidden by its attribute too, as a leading dot hides nothing there.
        auto fd = createExclusive(temporary, kPendingAttributes);
        Expected<File> file = fd ? Expected<File>(File(*fd)) : Expected<File>(fd.error());
#else
        auto file = File::createNew(temporary, permissions);
#endif
        if (file) {
            pending.file_ = std::move(*file);
            pending.temporary_ = temporary;
            return pending;
        }
        if (file.error() != std::errc::file_exists) return file.error();
    }
    return std::make_error_code(std::errc::file_exists);
}

std::error_code PendingFile::commitReplacing() {
    if (const std::error_code ec = replaceProblem(path_)) {
        discard();
        return ec;
    }
#ifndef _WIN32
    if (temporary_.empty()) {
        // Named straight away where the name is free; otherwise under a
        // temporary name first, then renamed over what stands there.
        const std::error_code free = commitIfFree();
        if (free != std::errc::file_exists) {
            if (free) discard();
            return free;
        }
        for (int attempt = 0; temporary_.empty(); ++attempt) {
            const std::string temporary = temporaryName(folderPart(path_));
            const std::error_code ec = linkDescriptor(file_.native(), temporary);
            if (!ec) {
                temporary_ = temporary;
            } else if (ec != std::errc::file_exists || attempt == 100) {
                discard();
                return ec;
            }
        }
    }
#endif
    return moveIntoPlace(true);
}

std::error_code PendingFile::commitIfFree() {
#ifndef _WIN32
    if (temporary_.empty()) {
        // On failure the file stays pending: EEXIST lets the caller replace instead.
        if (const std::error_code ec = linkDescriptor(file_.native(), path_)) return ec;
        if (const std::error_code ec = file_.close()) {
            ::unlink(path_.c_str());
            return ec;
        }
        return {};
    }
#endif
    return moveIntoPlace(false);
}

std::error_code PendingFile::moveIntoPlace(bool replace) {
    if (const std::error_code ec = closePending(file_)) {
        discard();
        return ec;
    }
    if (const std::error_code ec = movePath(temporary_, path_, replace)) {
        // A name taken, where nothing may be replaced, leaves the file
        // under its hidden name, for the caller to replace or discard.
        if (replace || ec != std::errc::file_exists) discard();
        return ec;
    }
    temporary_.clear();
    return {};
}

void PendingFile::discard() {
    // Closed first: Windows does not remove a file that is still open.
    file_.close();
    if (!temporary_.empty()) unlinkPath(std::exchange(temporary_, std::string()));
}

CopyResult copyBytes(File& in, std::int64_t inOffset, File& out, std::int64_t outOffset, std::int64_t length) {
    CopyResult r;
#ifdef __linux__
    // The kernel copies without passing the bytes through user memory. When
    // it cannot (another file system, an unsupported file, an error whose
    // side it does not tell), the buffered copy takes over for the rest and
    // names the side that fails.
    while (r.copied < length) {
        loff_t inPos = inOffset + r.copied;
        loff_t outPos = outOffset + r.copied;
        const auto want = static_cast<std::size_t>(length - r.copied);
        const ssize_t n = ::copy_file_range(in.native(), &inPos, out.native(), &outPos, want, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break; // 0: end of input, or a file the kernel cannot copy from
        r.copied += n;
    }
    if (r.copied == length) return r;
#endif
    CopyResult rest =
        bufferedCopy(in.native(), inOffset + r.copied, out.native(), outOffset + r.copied, length - r.copied);
    rest.copied += r.copied;
    return rest;
}

std::error_code removeFile(const std::string& path) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    return unlinkPath(path);
}

std::error_code replaceProblem(const std::string& path) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
#ifdef _WIN32
    if (namesDevice(path)) return make_error_code(FileErrc::NotRegularFile);
    if (isFolderPath(path)) return std::make_error_code(std::errc::is_a_directory);
#else
    // The link itself, not what it leads to: a link is replaced.
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return {};
    if (S_ISDIR(st.st_mode)) return std::make_error_code(std::errc::is_a_directory);
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return make_error_code(FileErrc::NotRegularFile);
#endif
    return {};
}

std::error_code flushFileSystem(File& file) {
#ifdef _WIN32
    return file.sync();
#else
    return ::syncfs(file.native()) == 0 ? std::error_code() : lastError();
#endif
}

} // namespace tessaly
