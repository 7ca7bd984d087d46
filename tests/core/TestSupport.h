// Shared helpers for the engine tests: a host that records a run, its result
// in one line, a scratch folder per test, and file helpers. Paths are UTF-8.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "Paths.h"
#include "SplitMergeFile.h"

namespace tessaly::test {

namespace fs = std::filesystem;
using namespace SplitMergeFile;
using Names = std::vector<std::string>;

// Windows, where the program forms paths with backslashes.
inline constexpr bool kWindows = kPathSeparator == '\\';

// Stands in for a front end: records the progress in pieces as "done/count"
// steps, each taking `pieceDelay`; stops the run after `stopAfterPasses`
// event passes; lets a test act in the middle of a run through `onProgress`.
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

// A join as the window runs it: what was joined before a missing piece is
// kept under the rebuilt name.
inline Result JoinFiles(Host& host, const std::string& index, const std::string& folder) {
    return SplitMergeFile::JoinFiles(host, index, folder, AfterMissingPiece::KeepJoined);
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
    case Problem::PiecesInTwoFolders: return "pieces in two folders: " + r.path + " " + r.other;
    case Problem::Unexpected: return "unexpected: " + r.other;
    case Problem::None: break;
    }
    return "failed without a problem";
}

// The system's words for an errno value.
inline std::string reason(int error) { return std::generic_category().message(error); }

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(fsPath(path), std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string readFile(const std::string& path) {
    // Read in one go: byte by byte is slow for the larger files under the sanitizers.
    std::ifstream in(fsPath(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return std::move(bytes).str();
}

// `n` bytes through every byte value, mixed so that equal-length slices differ.
inline std::string byteRun(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = char((i + i / 256) & 0xff);
    return s;
}

// A file of `size` bytes that takes almost no storage, with a few marks.
inline void makeSparse(const std::string& path, std::int64_t size,
                       const std::vector<std::pair<std::int64_t, std::string>>& marks = {}) {
    writeFile(path, "");
#ifdef _WIN32
    // NTFS stores the zeros of a file unless it is marked sparse.
    HANDLE h = CreateFileW(fsPath(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD returned = 0;
    DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    CloseHandle(h);
#endif
    fs::resize_file(fsPath(path), std::uintmax_t(size));
    std::fstream file(fsPath(path), std::ios::in | std::ios::out | std::ios::binary);
    for (const auto& [at, bytes] : marks) file.seekp(at).write(bytes.data(), std::streamsize(bytes.size()));
    EXPECT_TRUE(file.good()) << path;
}

// A symbolic link at `at` to `target`; false on Windows, where the C++
// library makes none.
inline bool makeSymlink(const std::string& target, const std::string& at) {
    std::error_code ec;
    fs::create_symlink(fsPath(target), fsPath(at), ec);
    EXPECT_TRUE(kWindows || !ec) << at << ": " << ec.message();
    return !ec;
}

// The helpers below need POSIX; what uses them does not run on Windows.
inline void makeFifo([[maybe_unused]] const std::string& path) {
#ifndef _WIN32
    EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
#endif
}

// What `body` returns when run in a child process, or "killed by signal N".
// With `asNobody` the child first gives up root, whom permissions do not stop.
inline std::string inChild([[maybe_unused]] std::function<std::string()> body, [[maybe_unused]] bool asNobody = false) {
    std::string said;
#ifndef _WIN32
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (asNobody && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(1);
        said = body();
        ::_exit(::write(fds[1], said.data(), said.size()) == ssize_t(said.size()) ? 0 : 1);
    }
    ::close(fds[1]);
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) said.append(buffer, std::size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
#endif
    return said;
}

inline constexpr std::uint64_t kNoSizeLimit = ~std::uint64_t{0};

// Runs `run` with writes beyond `bytes` failing (EFBIG), as on a full disk.
inline Result withFileSizeLimit([[maybe_unused]] std::uint64_t bytes, const std::function<Result()>& run) {
#ifndef _WIN32
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limit{std::min(bytes, saved.rlim_max), saved.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const Result result = run();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    return result;
#else
    return run();
#endif
}

// A scratch folder `dir` (ending in a separator) per test, holding a 250-byte
// source `src` and the folders `out` and `back`; in memory where it has room
// for the 4 GiB a large copy writes: seconds there, a minute on a disk.
class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        std::error_code ec;
        const bool roomy = !kWindows && fs::space("/dev/shm", ec).available > (std::uintmax_t{6} << 30) && !ec;
        const fs::path base = roomy ? fs::path("/dev/shm") : fs::temp_directory_path();
        const fs::path folder = base / ("tessaly-core-" + std::to_string(std::mt19937_64(std::random_device{}())()));
        ASSERT_TRUE(fs::create_directory(folder)) << folder;
        dir = fromFsPath(folder) + kPathSeparator;
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
        for (const auto& e : fs::directory_iterator(fsPath(folder))) names.push_back(fromFsPath(e.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string dir, src, out, back, index, bytes = byteRun(250);
};

} // namespace tessaly::test
