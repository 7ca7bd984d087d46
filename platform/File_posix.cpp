// File and PendingFile over the POSIX calls.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "FileCalls.h"
#include "Paths.h"

namespace tessaly {

namespace detail {

namespace {

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

// Takes the lock that tells a live run's pending file from one left by a
// killed run; false when another process holds it.
bool lock(int fd) {
    int r;
    do {
        r = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    return r == 0;
}

// True when `path` still names the file open as `fd`.
bool stillNames(int fd, const std::string& path) {
    stat_t opened{}, named{};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

} // namespace

const bool kClosesBeforeRename = false;

void removeIfAbandoned(const std::string& path) {
    File f(openFile(path, kReadFlags | O_NOFOLLOW));
    stat_t st{};
    if (!f.isOpen() || ::fstat(f.native(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    // Held by the lock, it is removed only while it still has this name.
    if (lock(f.native()) && stillNames(f.native(), path)) ::unlink(path.c_str());
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

std::error_code syncFile(int fd) {
    int r;
    do {
        r = ::fdatasync(fd);
    } while (r != 0 && errno == EINTR);
    return r == 0 ? std::error_code() : lastError();
}

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

std::error_code newNameProblem(const std::string&) { return {}; }

Expected<File> createUnnamed([[maybe_unused]] const std::string& folder, [[maybe_unused]] unsigned permissions) {
#ifdef O_TMPFILE
    // Unnamed files are named later through /proc; without it they could
    // never be named, so then a hidden temporary file serves instead.
    if (::access("/proc/self/fd", X_OK) != 0) return lastError();
    File unnamed(openFile(folder.empty() ? "." : folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, permissions));
    if (!unnamed.isOpen()) return lastError();
    // Locked before it is ever named, should it need a temporary name.
    if (!lock(unnamed.native())) return lastError();
    return unnamed;
#else
    return std::make_error_code(std::errc::function_not_supported);
#endif
}

// A leading dot hides the file; the name is made so by the caller. It is
// locked at once; should a later run's clean-up have taken it in between,
// the name is taken (EEXIST) and the caller tries another.
Expected<File> createHidden(const std::string& path, unsigned permissions) {
    auto file = File::createNew(path, permissions);
    if (!file) return file.error();
    if (!lock(file->native()) || !stillNames(file->native(), path)) {
        return std::make_error_code(std::errc::file_exists);
    }
    return file;
}

// The unnamed file is reached through /proc, as its descriptor seen as a path.
std::error_code linkUnnamed(File& file, const std::string& target) {
    const std::string descriptor = "/proc/self/fd/" + std::to_string(file.native());
    if (::linkat(AT_FDCWD, descriptor.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) return {};
    return lastError();
}

std::error_code closePending(File& file) { return file.close(); }

CopyResult kernelCopy([[maybe_unused]] File& in, [[maybe_unused]] std::int64_t inOffset,
                      [[maybe_unused]] File& out, [[maybe_unused]] std::int64_t outOffset,
                      [[maybe_unused]] std::int64_t length) {
    CopyResult r;
#ifdef __linux__
    // When the kernel cannot copy (another file system, an unsupported
    // file, an error whose side it does not tell), it stops here and the
    // buffered copy takes over for the rest and names the side that fails.
    while (r.copied < length) {
        loff_t inPos = inOffset + r.copied;
        loff_t outPos = outOffset + r.copied;
        const auto want = static_cast<std::size_t>(length - r.copied);
        const ssize_t n = ::copy_file_range(in.native(), &inPos, out.native(), &outPos, want, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break; // 0: end of input, or a file the kernel cannot copy from
        r.copied += n;
    }
#endif
    return r;
}

} // namespace detail

using detail::holdsNul;
using detail::lastError;
using detail::openFile;

Expected<File> File::openRead(const std::string& path) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    detail::stat_t st{};
    if (::stat(path.c_str(), &st) != 0) return lastError();
    if (S_ISDIR(st.st_mode)) return std::make_error_code(std::errc::is_a_directory);
    if (!S_ISREG(st.st_mode)) return make_error_code(FileErrc::NotRegularFile);
    File f(openFile(path, detail::kReadFlags));
    if (!f.isOpen()) return lastError();
    // The path may name something else by now; what counts is what was opened.
    if (::fstat(f.fd_, &st) != 0) return lastError();
    if (!S_ISREG(st.st_mode)) return make_error_code(FileErrc::NotRegularFile);
    return f;
}

// A descriptor open for reading is enough to sync.
Expected<File> File::openToSync(const std::string& path) { return openRead(path); }

Expected<File> File::createFresh(const std::string& path, unsigned permissions) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    // Created at once where the name is free, as it mostly is. Otherwise
    // whatever has the name loses it first; should another file take the
    // freed name before the exclusive create, that one loses it too, and
    // after a few rounds the clash is reported.
    for (int attempt = 0;; ++attempt) {
        File f(openFile(path, detail::kCreateFlags, permissions));
        if (f.isOpen()) return f;
        if (errno != EEXIST || attempt == 3) return lastError();
        if (const std::error_code ec = detail::unlinkPath(path)) return ec;
    }
}

Expected<File> File::createNew(const std::string& path, unsigned permissions) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    File f(openFile(path, detail::kCreateFlags, permissions));
    if (!f.isOpen()) return lastError();
    return f;
}

Expected<FileStatus> File::status() const {
    detail::stat_t st{};
    if (::fstat(fd_, &st) != 0) return lastError();
    return detail::statusOf(st);
}

Expected<FileStatus> statusOfPath(const std::string& path) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    detail::stat_t st{};
    if (::stat(path.c_str(), &st) != 0) return lastError();
    return detail::statusOf(st);
}

void File::startFlush() {
#ifdef __linux__
    // Only a hint: what fails here fails again, and is told, at the sync.
    (void)::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

bool File::dataStretch(std::int64_t from, std::int64_t& start, std::int64_t& end) {
    if (from >= stretchStart_ && from < stretchEnd_) {
        start = from;
        end = stretchEnd_;
        return true;
    }
#ifdef SEEK_DATA
    const off_t data = ::lseek(fd_, from, SEEK_DATA);
    if (data < 0) {
        // Nothing but a hole from here to the end of the file.
        detail::stat_t st{};
        if (errno != ENXIO || ::fstat(fd_, &st) != 0) return false;
        start = end = std::max<std::int64_t>(from, st.st_size);
        return true;
    }
    const off_t hole = ::lseek(fd_, data, SEEK_HOLE);
    if (hole < 0) return false;
    stretchStart_ = start = data;
    stretchEnd_ = end = hole;
    return true;
#else
    (void)from, (void)start, (void)end;
    return false;
#endif
}

std::error_code File::extendTo(std::int64_t size) {
    detail::stat_t st{};
    if (::fstat(fd_, &st) != 0) return lastError();
    if (st.st_size >= size) return {};
    int r;
    do {
        r = ::ftruncate(fd_, static_cast<off_t>(size));
    } while (r != 0 && errno == EINTR);
    return r == 0 ? std::error_code() : lastError();
}

std::error_code replaceProblem(const std::string& path) {
    if (holdsNul(path)) return make_error_code(FileErrc::NulInPath);
    // The link itself, not what it leads to: a link is replaced.
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return {};
    if (S_ISDIR(st.st_mode)) return std::make_error_code(std::errc::is_a_directory);
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return make_error_code(FileErrc::NotRegularFile);
    return {};
}

std::error_code syncFolder(const std::string& folder) {
    File f(openFile(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!f.isOpen() && (errno == EACCES || errno == EPERM)) {
        // A folder that may be written but not read cannot be opened to be
        // synced: everything is, which waits for others' writes too, but
        // keeps the promise.
        ::sync();
        return {};
    }
    if (!f.isOpen()) return lastError();
    int r;
    do {
        r = ::fsync(f.native());
    } while (r != 0 && errno == EINTR);
    // Some file systems cannot sync a folder and say so; their names are
    // as safe as they can make them.
    if (r != 0 && errno != EINVAL && errno != EROFS) return lastError();
    return f.close();
}

} // namespace tessaly
