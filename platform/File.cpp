#include "File.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#include <share.h>
#else
#include <unistd.h>
#endif

namespace tessaly {

namespace {

std::error_code lastError() { return {errno, std::system_category()}; }

#ifdef _WIN32
// The C runtime's descriptor calls, shaped like their POSIX twins.
using ssize_t = long long;
using stat_t = struct _stat64;
constexpr int kReadFlags = _O_RDONLY | _O_BINARY | _O_NOINHERIT;
constexpr int kWriteFlags = _O_WRONLY | _O_BINARY | _O_NOINHERIT | _O_CREAT;
constexpr int kTruncate = _O_TRUNC;
constexpr int kExclusive = _O_EXCL;
int openFile(const std::string& p, int flags) {
    int fd = -1;
    _sopen_s(&fd, p.c_str(), flags, _SH_DENYNO, _S_IREAD | _S_IWRITE);
    return fd;
}
int fstatFile(int fd, stat_t* st) { return _fstat64(fd, st); }
int closeFile(int fd) { return _close(fd); }
int syncFile(int fd) { return _commit(fd); }
ssize_t sysRead(int fd, char* buf, std::size_t n, std::int64_t off) {
    if (_lseeki64(fd, off, SEEK_SET) < 0) return -1;
    return _read(fd, buf, static_cast<unsigned>(n));
}
ssize_t sysWrite(int fd, const char* buf, std::size_t n, std::int64_t off) {
    if (_lseeki64(fd, off, SEEK_SET) < 0) return -1;
    return _write(fd, buf, static_cast<unsigned>(n));
}
bool isRegular(const stat_t& st) { return (st.st_mode & _S_IFMT) == _S_IFREG; }
bool isFolder(const stat_t& st) { return (st.st_mode & _S_IFMT) == _S_IFDIR; }
#else
using stat_t = struct stat;
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK; // a FIFO must not block the open
constexpr int kWriteFlags = O_WRONLY | O_CLOEXEC | O_CREAT;
constexpr int kTruncate = O_TRUNC;
constexpr int kExclusive = O_EXCL;
int openFile(const std::string& p, int flags) {
    int fd;
    do {
        fd = ::open(p.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}
int fstatFile(int fd, stat_t* st) { return ::fstat(fd, st); }
int closeFile(int fd) { return ::close(fd); }
int syncFile(int fd) { return ::fsync(fd); }
ssize_t sysRead(int fd, char* buf, std::size_t n, std::int64_t off) { return ::pread(fd, buf, n, off); }
ssize_t sysWrite(int fd, const char* buf, std::size_t n, std::int64_t off) { return ::pwrite(fd, buf, n, off); }
bool isRegular(const stat_t& st) { return S_ISREG(st.st_mode); }
bool isFolder(const stat_t& st) { return S_ISDIR(st.st_mode); }
#endif

// Buffered copy, used where the kernel cannot copy between the two files.
// The buffer has a fixed size whatever the length asked for.
CopyResult bufferedCopy(int in, std::int64_t inOffset, int out, std::int64_t outOffset,
                        std::int64_t length) {
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

} // namespace

std::string IoError::reason() const {
    if (code) return code.message();
    return detail;
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

File File::openRead(const std::string& path, std::error_code& ec) {
    ec.clear();
    File f(openFile(path, kReadFlags));
    if (!f.isOpen()) {
        ec = lastError();
        return f;
    }
    stat_t st{};
    if (fstatFile(f.fd_, &st) != 0) {
        ec = lastError();
    } else if (isFolder(st)) {
        ec = std::make_error_code(std::errc::is_a_directory);
    } else if (!isRegular(st)) {
        ec = std::make_error_code(std::errc::invalid_argument);
    }
    if (ec) f = File();
    return f;
}

File File::create(const std::string& path, std::error_code& ec) {
    File f(openFile(path, kWriteFlags | kTruncate));
    ec = f.isOpen() ? std::error_code() : lastError();
    return f;
}

File File::createNew(const std::string& path, std::error_code& ec) {
    File f(openFile(path, kWriteFlags | kExclusive));
    ec = f.isOpen() ? std::error_code() : lastError();
    return f;
}

std::int64_t File::size(std::error_code& ec) const {
    ec.clear();
    stat_t st{};
    if (fstatFile(fd_, &st) != 0) {
        ec = lastError();
        return 0;
    }
    return static_cast<std::int64_t>(st.st_size);
}

std::int64_t File::readAt(char* buffer, std::size_t n, std::int64_t offset, std::error_code& ec) {
    ec.clear();
    for (;;) {
        const ssize_t got = sysRead(fd_, buffer, n, offset);
        if (got >= 0) return got;
        if (errno != EINTR) {
            ec = lastError();
            return -1;
        }
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

CopyResult copyBytes(File& in, std::int64_t inOffset, File& out, std::int64_t outOffset,
                     std::int64_t length) {
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
    CopyResult rest = bufferedCopy(in.native(), inOffset + r.copied, out.native(), outOffset + r.copied,
                                   length - r.copied);
    rest.copied += r.copied;
    return rest;
}

} // namespace tessaly
