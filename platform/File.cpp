#include "File.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "Paths.h"

#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tessaly {

namespace {

std::error_code lastError() { return {errno, std::generic_category()}; }

bool holdsNul(const std::string& path) { return path.find('\0') != std::string::npos; }

#ifdef _WIN32
// The C runtime's descriptor calls, shaped like their POSIX twins, with
// UTF-16 paths.
using ssize_t = long long;
using stat_t = struct _stat64;
constexpr int kReadFlags = _O_RDONLY | _O_BINARY | _O_NOINHERIT;
constexpr int kCreateFlags = _O_WRONLY | _O_BINARY | _O_NOINHERIT | _O_CREAT | _O_EXCL;
int openFile(const std::string& p, int flags) {
    int fd = -1;
    _wsopen_s(&fd, widen(p).c_str(), flags, _SH_DENYNO, _S_IREAD | _S_IWRITE);
    return fd;
}
int statPath(const std::string& p, stat_t* st) { return _wstat64(widen(p).c_str(), st); }
int fstatFile(int fd, stat_t* st) { return _fstat64(fd, st); }
int closeFile(int fd) { return _close(fd); }
int syncFile(int fd) { return _commit(fd); }
ssize_t sysRead(int fd, char* buf, std::size_t n, std::int64_t off) {
    if (_lseeki64(fd, off, SEEK_SET) < 0) return -1;
    return _read(fd, buf, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
}
ssize_t sysWrite(int fd, const char* buf, std::size_t n, std::int64_t off) {
    if (_lseeki64(fd, off, SEEK_SET) < 0) return -1;
    return _write(fd, buf, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
}
bool isRegular(const stat_t& st) { return (st.st_mode & _S_IFMT) == _S_IFREG; }
bool isFolder(const stat_t& st) { return (st.st_mode & _S_IFMT) == _S_IFDIR; }
std::int64_t modifiedNs(const stat_t& st) { return static_cast<std::int64_t>(st.st_mtime) * 1000000000; }
// Win32 errors belong to the system category there.
std::error_code win32Error() { return {static_cast<int>(GetLastError()), std::system_category()}; }
std::error_code unlinkPath(const std::string& p) {
    if (DeleteFileW(widen(p).c_str())) return {};
    const DWORD e = GetLastError();
    if (e == ERROR_FILE_NOT_FOUND) return {};
    if (e == ERROR_ACCESS_DENIED && isFolderPath(p)) return std::make_error_code(std::errc::is_a_directory);
    return {static_cast<int>(e), std::system_category()};
}
std::error_code movePath(const std::string& from, const std::string& to, bool replace) {
    const DWORD flags = replace ? MOVEFILE_REPLACE_EXISTING : 0;
    if (MoveFileExW(widen(from).c_str(), widen(to).c_str(), flags)) return {};
    const DWORD e = GetLastError();
    if (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS) return std::make_error_code(std::errc::file_exists);
    return {static_cast<int>(e), std::system_category()};
}
#else
using stat_t = struct stat;
// O_NONBLOCK: should a FIFO take the file's place after the check, the open
// must not wait for a writer.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
constexpr int kCreateFlags = O_WRONLY | O_CLOEXEC | O_CREAT | O_EXCL | O_NOFOLLOW;
int openFile(const std::string& p, int flags) {
    int fd;
    do {
        fd = ::open(p.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}
int statPath(const std::string& p, stat_t* st) { return ::stat(p.c_str(), st); }
int fstatFile(int fd, stat_t* st) { return ::fstat(fd, st); }
int closeFile(int fd) { return ::close(fd); }
int syncFile(int fd) { return ::fsync(fd); }
ssize_t sysRead(int fd, char* buf, std::size_t n, std::int64_t off) { return ::pread(fd, buf, n, off); }
ssize_t sysWrite(int fd, const char* buf, std::size_t n, std::int64_t off) { return ::pwrite(fd, buf, n, off); }
bool isRegular(const stat_t& st) { return S_ISREG(st.st_mode); }
bool isFolder(const stat_t& st) { return S_ISDIR(st.st_mode); }
std::int64_t modifiedNs(const stat_t& st) {
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}
std::error_code unlinkPath(const std::string& p) {
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
// Where an unnamed file can be given a name: its descriptor seen as a path.
std::string descriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }
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
        const ssize_t got = sysRead(in, buffer.get(), want, inOffset + r.copied);
        if (got < 0) {
            if (errno == EINTR) continue;
            r.failed = CopySide::Read;
            r.code = lastError();
            return r;
        }
        if (got == 0) return r; // end of input
        ssize_t done = 0;
        while (done < got) {
            const ssize_t put = sysWrite(out, buffer.get() + done, static_cast<std::size_t>(got - done),
                                         outOffset + r.copied + done);
            if (put < 0) {
                if (errno == EINTR) continue;
                r.copied += done;
                r.failed = CopySide::Write;
                r.code = lastError();
                return r;
            }
            done += put;
        }
        r.copied += got;
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

Expected<File> File::openRead(const std::string& path) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    stat_t st{};
    if (statPath(path, &st) != 0) return lastError();
    if (isFolder(st)) return std::make_error_code(std::errc::is_a_directory);
    if (!isRegular(st)) return make_error_code(FileErrc::NotRegularFile);
    File f(openFile(path, kReadFlags));
    if (!f.isOpen()) return lastError();
    // The path may name something else by now; what counts is what was opened.
    if (fstatFile(f.fd_, &st) != 0) return lastError();
    if (!isRegular(st)) return make_error_code(FileErrc::NotRegularFile);
    return f;
}

Expected<File> File::createFresh(const std::string& path) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    // Should another file take the freed name before the exclusive create,
    // that one loses its name too; after a few rounds the clash is reported.
    for (int attempt = 0;; ++attempt) {
        if (const std::error_code ec = unlinkPath(path)) return ec;
        File f(openFile(path, kCreateFlags));
        if (f.isOpen()) return f;
        if (errno != EEXIST || attempt == 3) return lastError();
    }
}

Expected<File> File::createNew(const std::string& path) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    File f(openFile(path, kCreateFlags));
    if (!f.isOpen()) return lastError();
    return f;
}

Expected<FileStatus> File::status() const {
    stat_t st{};
    if (fstatFile(fd_, &st) != 0) return lastError();
    FileStatus s;
    s.size = static_cast<std::int64_t>(st.st_size);
    s.modified = modifiedNs(st);
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    return s;
}

Expected<std::int64_t> File::readAt(char* buffer, std::size_t n, std::int64_t offset) {
    for (;;) {
        const ssize_t got = sysRead(fd_, buffer, n, offset);
        if (got >= 0) return static_cast<std::int64_t>(got);
        if (errno != EINTR) return lastError();
    }
}

std::error_code File::writeAt(const char* data, std::size_t n, std::int64_t offset) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t put = sysWrite(fd_, data + done, n - done, offset + static_cast<std::int64_t>(done));
        if (put < 0) {
            if (errno == EINTR) continue;
            return lastError();
        }
        done += static_cast<std::size_t>(put);
    }
    return {};
}

std::error_code File::sync() {
    if (syncFile(fd_) != 0) return lastError();
    return {};
}

std::error_code File::close() {
    if (fd_ < 0) return {};
    const int fd = std::exchange(fd_, -1);
    // A close interrupted by a signal has still released the descriptor on
    // Linux, so it is not retried.
    if (closeFile(fd) != 0 && errno != EINTR) return lastError();
    return {};
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

Expected<PendingFile> PendingFile::create(const std::string& path) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    PendingFile pending;
    pending.path_ = path;
    const std::string folder = folderPart(path);
#ifdef O_TMPFILE
    // Unnamed files are named later through /proc; without it they could
    // never be named, so then a hidden temporary file serves instead.
    if (::access("/proc/self/fd", X_OK) == 0) {
        File unnamed(openFile(folder.empty() ? "." : folder, O_TMPFILE | O_WRONLY | O_CLOEXEC));
        if (unnamed.isOpen()) {
            pending.file_ = std::move(unnamed);
            return pending;
        }
    }
#endif
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = temporaryName(folder);
        auto file = File::createNew(temporary);
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
#ifndef _WIN32
    if (temporary_.empty()) {
        // Named straight away where the name is free; otherwise under a
        // temporary name first, then renamed over what stands there.
        const std::error_code free = commitIfFree();
        if (!free) return {};
        if (free != std::errc::file_exists) {
            discard();
            return free;
        }
        for (int attempt = 0; temporary_.empty(); ++attempt) {
            const std::string temporary = temporaryName(folderPart(path_));
            if (::linkat(AT_FDCWD, descriptorPath(file_.native()).c_str(), AT_FDCWD, temporary.c_str(),
                         AT_SYMLINK_FOLLOW) == 0) {
                temporary_ = temporary;
            } else if (errno != EEXIST || attempt == 100) {
                const std::error_code ec = lastError();
                discard();
                return ec;
            }
        }
    }
#endif
    if (const std::error_code ec = file_.close()) {
        discard();
        return ec;
    }
    if (const std::error_code ec = movePath(temporary_, path_, true)) {
        discard();
        return ec;
    }
    temporary_.clear();
    return {};
}

std::error_code PendingFile::commitIfFree() {
#ifndef _WIN32
    if (temporary_.empty()) {
        if (::linkat(AT_FDCWD, descriptorPath(file_.native()).c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) !=
            0) {
            return lastError(); // the file stays pending: EEXIST lets the caller replace instead
        }
        if (const std::error_code ec = file_.close()) {
            ::unlink(path_.c_str());
            return ec;
        }
        return {};
    }
#endif
    if (const std::error_code ec = file_.close()) {
        discard();
        return ec;
    }
    if (const std::error_code ec = movePath(temporary_, path_, false)) {
        if (ec != std::errc::file_exists) discard();
        return ec;
    }
    temporary_.clear();
    return {};
}

void PendingFile::discard() {
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

} // namespace tessaly
