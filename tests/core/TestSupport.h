// Shared helpers for the engine tests: a host that records a run's
// progress, a one-line summary of a run's result, a private scratch folder
// per test, and file helpers. Paths are UTF-8 on every system, as the
// engine's are; the helpers that only POSIX systems have are marked so.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "Paths.h"
#include "SplitMergeFile.h"

namespace tessaly::test {

namespace fs = std::filesystem;
using namespace SplitMergeFile;
using Names = std::vector<std::string>;

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

// Stands in for a front end. `steps` records the progress in pieces as
// "done/count" each time it moves. Each step forward can take `pieceDelay`,
// so that event passes come due; a stop is asked for once `stopAfterPasses`
// passes have run; `onProgress` lets a test act in the middle of a run.
struct FakeHost : Host {
    int stopAfterPasses = -1, passes = 0;
    std::chrono::milliseconds pieceDelay{0};
    std::function<void(const Progress&)> onProgress;
    Progress last;
    Names steps;

    void progress(const Progress& p) override {
        const bool moved = steps.empty() || p.pieces != last.pieces || p.pieceCount != last.pieceCount;
        last = p;
        if (moved) steps.push_back(std::to_string(p.pieces) + "/" + std::to_string(p.pieceCount));
        if (onProgress) onProgress(p);
        if (moved && p.pieces > 0) std::this_thread::sleep_for(pieceDelay);
    }
    void processEvents() override { ++passes; }
    bool keepGoing() override { return stopAfterPasses < 0 || passes < stopAfterPasses; }
};

// The steps of a run over `count` pieces that went all the way.
inline Names allSteps(std::int64_t count) {
    Names steps;
    for (std::int64_t k = 0; k <= count; ++k) steps.push_back(std::to_string(k) + "/" + std::to_string(count));
    return steps;
}

// A run's result in one line: "succeeded", "stopped", "<verb> <path>:
// <reason>" for a failed file operation, or the problem and its subjects.
inline std::string summary(const Result& r) {
    if (r.status == Status::Succeeded) return "succeeded";
    if (r.status == Status::Stopped) return "stopped";
    const char* damages[] = {"empty", "holds NUL", "too long"};
    switch (r.problem) {
    case Problem::FileOperation: return verb(r.io.operation) + (" " + r.io.path) + ": " + r.io.reason();
    case Problem::ChunkSizeBelowOne: return "chunk size below one";
    case Problem::PathHoldsLineBreak: return "line break in " + r.other;
    case Problem::WouldOverwriteSource: return "would overwrite the source: " + r.other;
    case Problem::FileChanged: return "changed: " + r.path;
    case Problem::PiecesChanged: return "pieces changed: " + r.path;
    case Problem::IndexDamaged:
        return "damaged: " + r.path + " line " + std::to_string(r.line) + " " + damages[int(r.damage)];
    case Problem::NoRebuiltName: return "no rebuilt name: " + r.path;
    case Problem::RebuiltIsIndex: return "rebuilt is the index: " + r.path;
    case Problem::RebuiltIsPiece: return "rebuilt is a piece: " + r.path + " " + r.other;
    case Problem::MissingPiece: return "missing piece: " + r.path;
    case Problem::Unexpected: return "unexpected: " + r.other;
    case Problem::None: break;
    }
    return "failed without a problem";
}

// The system's words for an errno value, and for a Win32 error code.
inline std::string reason(int error) { return std::generic_category().message(error); }
inline std::string win32Reason(int error) { return std::system_category().message(error); }
// Win32 error codes that the tests expect.
inline constexpr int kAccessDenied = 5, kSharingViolation = 32, kInvalidName = 123;

// The file-system path for a UTF-8 path, and the UTF-8 text of a path.
inline fs::path fsPath(const std::string& path) { return fs::path(std::u8string(path.begin(), path.end())); }
inline std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(fsPath(path), std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(fsPath(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// `n` bytes through every byte value, mixed so that equal-length slices differ.
inline std::string byteRun(std::size_t n, unsigned seed = 1) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = char((i + seed * (i / 256)) & 0xff);
    return s;
}

// A file of `size` bytes that takes almost no disk space, with a few marks.
inline void makeSparse(const std::string& path, std::int64_t size,
                       const std::vector<std::pair<std::int64_t, std::string>>& marks = {}) {
#ifdef _WIN32
    HANDLE h = CreateFileW(fsPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD returned = 0;
    DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end{};
    end.QuadPart = size;
    EXPECT_TRUE(SetFilePointerEx(h, end, nullptr, FILE_BEGIN)) << path;
    EXPECT_TRUE(SetEndOfFile(h)) << path;
    for (const auto& [at, bytes] : marks) {
        OVERLAPPED o{};
        o.Offset = DWORD(std::uint64_t(at) & 0xffffffff);
        o.OffsetHigh = DWORD(std::uint64_t(at) >> 32);
        DWORD put = 0;
        EXPECT_TRUE(WriteFile(h, bytes.data(), DWORD(bytes.size()), &put, &o)) << path;
    }
    CloseHandle(h);
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::ftruncate(fd, size), 0) << path;
    for (const auto& [at, bytes] : marks) ASSERT_GT(::pwrite(fd, bytes.data(), bytes.size(), at), 0);
    ::close(fd);
#endif
}

// Sets the last-write time of `path` to `seconds` and `nanoseconds` after
// the epoch (Windows keeps 100 ns steps).
inline void setModified(const std::string& path, std::int64_t seconds, long nanoseconds = 0) {
#ifdef _WIN32
    HANDLE h = CreateFileW(fsPath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    const std::uint64_t ticks = std::uint64_t(seconds) * 10'000'000 + std::uint64_t(nanoseconds) / 100 +
                                116444736000000000ULL;
    const FILETIME time{DWORD(ticks & 0xffffffff), DWORD(ticks >> 32)};
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &time)) << path;
    CloseHandle(h);
#else
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(seconds), nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
#endif
}

// How many names the file at `path` has.
inline std::uintmax_t linkCount(const std::string& path) {
#ifdef _WIN32
    // The C runtime counts one name whatever there are.
    HANDLE h = CreateFileW(fsPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool read = h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &info);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return read ? info.nNumberOfLinks : 0;
#else
    return fs::hard_link_count(path);
#endif
}

// A symbolic link at `at` to `target`; false where none could be made
// (Windows without the right to make them, Wine).
inline bool makeSymlink(const std::string& target, const std::string& at) {
#ifdef _WIN32
    CreateSymbolicLinkW(fsPath(at).c_str(), fsPath(target).c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    return GetFileAttributesW(fsPath(at).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    std::error_code ec;
    fs::create_symlink(target, at, ec);
    return !ec;
#endif
}

// True when `path` is a regular file under its own name, not a link to one.
inline bool isPlainFile(const std::string& path) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(fsPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
#else
    return fs::is_regular_file(fs::symlink_status(path));
#endif
}

// Keeps a file open as another program would, for as long as it lives: on
// Windows without letting others read, write or delete it meanwhile.
class HeldOpen {
public:
    explicit HeldOpen(const std::string& path) {
#ifdef _WIN32
        handle_ = CreateFileW(fsPath(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << path;
#else
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(fd_, 0) << path;
#endif
    }
    ~HeldOpen() {
#ifdef _WIN32
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
#else
        if (fd_ >= 0) ::close(fd_);
#endif
    }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;

private:
#ifdef _WIN32
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
    int fd_ = -1;
#endif
};

// The helpers below need POSIX; on Windows they fail the test that calls
// them, which such a test avoids by skipping first.

// A FIFO at `path`.
inline bool makeFifo(const std::string& path) {
#ifdef _WIN32
    ADD_FAILURE() << "no FIFOs on Windows: " << path;
    return false;
#else
    return ::mkfifo(path.c_str(), 0600) == 0;
#endif
}

// Runs `body` in a child process and returns its exit status, or 128 plus
// the signal that ended it. With `asNobody`, the child first gives up root,
// so that file permissions apply to it (root reads and lists everything).
// `meanwhile` runs in this process while the child runs, given the child.
inline int inChild(const std::function<int()>& body, bool asNobody = false,
                   const std::function<void(int child)>& meanwhile = {}) {
#ifdef _WIN32
    (void)body, (void)asNobody, (void)meanwhile;
    ADD_FAILURE() << "no fork on Windows";
    return -1;
#else
    const pid_t child = ::fork();
    if (child == 0) {
        if (asNobody && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(99);
        ::_exit(body());
    }
    if (meanwhile) meanwhile(child);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
}

inline constexpr std::uint64_t kNoSizeLimit = ~std::uint64_t{0};

// Runs `run` with writes beyond `bytes` failing (EFBIG), as on a full disk.
inline Result withFileSizeLimit(std::uint64_t bytes, const std::function<Result()>& run) {
    if (bytes == kNoSizeLimit) return run();
#ifdef _WIN32
    ADD_FAILURE() << "no file size limit on Windows";
    return run();
#else
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limit{bytes, saved.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const Result result = run();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    return result;
#endif
}

// True when `length` bytes of file `a` from `aAt` equal the start of `b`,
// read a block at a time. With `hollow`, every all-zero block of `b` gives
// its storage back afterwards where the system can; its content stays the same.
inline bool sameBytes(const std::string& a, std::int64_t aAt, const std::string& b, std::int64_t length, bool hollow) {
    constexpr std::int64_t kBlock = 1 << 20;
    std::vector<char> ba(kBlock), bb(kBlock), zeros(kBlock);
#ifdef _WIN32
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE fa = CreateFileW(fsPath(a).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE fb = CreateFileW(fsPath(b).c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr);
    auto readAt = [](HANDLE h, char* buffer, std::size_t n, std::int64_t at) {
        OVERLAPPED o{};
        o.Offset = DWORD(std::uint64_t(at) & 0xffffffff);
        o.OffsetHigh = DWORD(std::uint64_t(at) >> 32);
        DWORD got = 0;
        return ReadFile(h, buffer, DWORD(n), &got, &o) && got == n;
    };
    bool same = fa != INVALID_HANDLE_VALUE && fb != INVALID_HANDLE_VALUE;
    if (same && hollow) {
        DWORD returned = 0;
        hollow = DeviceIoControl(fb, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    }
#else
    const int fa = ::open(a.c_str(), O_RDONLY | O_CLOEXEC), fb = ::open(b.c_str(), O_RDWR | O_CLOEXEC);
    auto readAt = [](int fd, char* buffer, std::size_t n, std::int64_t at) {
        return ::pread(fd, buffer, n, at) == ssize_t(n);
    };
    bool same = fa >= 0 && fb >= 0;
#endif
    for (std::int64_t done = 0; same && done < length; done += kBlock) {
        const auto want = std::size_t(std::min(kBlock, length - done));
        same = readAt(fa, ba.data(), want, aAt + done) && readAt(fb, bb.data(), want, done) &&
               std::memcmp(ba.data(), bb.data(), want) == 0;
        if (!hollow || std::memcmp(bb.data(), zeros.data(), want) != 0) continue;
#ifdef _WIN32
        FILE_ZERO_DATA_INFORMATION zero{};
        zero.FileOffset.QuadPart = done;
        zero.BeyondFinalZero.QuadPart = done + std::int64_t(want);
        DWORD returned = 0;
        DeviceIoControl(fb, FSCTL_SET_ZERO_DATA, &zero, sizeof zero, nullptr, 0, &returned, nullptr);
#else
        ::fallocate(fb, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, done, std::int64_t(want));
#endif
    }
#ifdef _WIN32
    if (fa != INVALID_HANDLE_VALUE) CloseHandle(fa);
    if (fb != INVALID_HANDLE_VALUE) CloseHandle(fb);
#else
    ::close(fa);
    ::close(fb);
#endif
    return same;
}

// A private scratch folder `dir` (ending in a separator) for each test,
// removed afterwards, holding a 250-byte source `src` and the folders `out`
// and `back`. On Linux it is in memory-backed storage when that has room
// for the 4 GiB a large copy writes: seconds there, a minute on a disk.
class Engine : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        const fs::path base = fs::temp_directory_path();
        std::mt19937_64 random(std::random_device{}());
        fs::path folder;
        do {
            folder = base / ("tessaly-core-" + std::to_string(random() % 1'000'000'000));
        } while (!fs::create_directory(folder));
        dir = utf8(folder) + kPathSeparator;
#else
        struct statvfs shm {};
        const bool roomy = ::statvfs("/dev/shm", &shm) == 0 && shm.f_bavail * shm.f_frsize > (std::uint64_t{6} << 30);
        std::string pattern = (roomy ? "/dev/shm" : fs::temp_directory_path().string()) + "/tessaly-core-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern + "/";
#endif
        src = mkdir("src") + "movie.avi";
        out = mkdir("out");
        back = mkdir("back");
        index = out + "movie.avi.splt";
        writeFile(src, bytes);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(fsPath(dir), ec);
    }
    std::string mkdir(const std::string& name) const {
        fs::create_directories(fsPath(dir + name));
        return dir + name + kPathSeparator;
    }
    // Names in a folder, sorted; hidden and temporary files included.
    static Names listing(const std::string& folder) {
        Names names;
        for (const auto& e : fs::directory_iterator(fsPath(folder))) names.push_back(utf8(e.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    }
    // True when symbolic links can be made in the scratch folder.
    bool symlinksWork() const {
        const bool made = makeSymlink(dir + "target", dir + "symlink-probe");
        std::error_code ec;
        fs::remove(fsPath(dir + "symlink-probe"), ec);
        return made;
    }
    std::string dir, src, out, back, index, bytes = byteRun(250);
};

// Skips the current test where the system cannot make symbolic links.
#define SKIP_WITHOUT_SYMLINKS()                                                                                        \
    if (!symlinksWork()) GTEST_SKIP() << "symbolic links cannot be made here"

// Skips the current test on Windows, which lacks what it needs.
#define POSIX_ONLY(what)                                                                                               \
    if (kWindows) GTEST_SKIP() << "needs " what ", which Windows does not have"

} // namespace tessaly::test
