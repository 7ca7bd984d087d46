// Shared helpers for the engine tests: a host that records a run's
// progress, a one-line summary of a run's result, a private scratch folder
// per test, and file helpers.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include "SplitMergeFile.h"

namespace tessaly::test {

namespace fs = std::filesystem;
using namespace SplitMergeFile;
using Names = std::vector<std::string>;

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

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
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
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::ftruncate(fd, size), 0) << path;
    for (const auto& [at, bytes] : marks) ASSERT_GT(::pwrite(fd, bytes.data(), bytes.size(), at), 0);
    ::close(fd);
}

// Runs `body` in a child process and returns its exit status, or 128 plus
// the signal that ended it. With `asNobody`, the child first gives up root,
// so that file permissions apply to it (root reads and lists everything).
// `meanwhile` runs in this process while the child runs.
inline int inChild(const std::function<int()>& body, bool asNobody = false,
                   const std::function<void(pid_t child)>& meanwhile = {}) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (asNobody && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(99);
        ::_exit(body());
    }
    if (meanwhile) meanwhile(child);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A private scratch folder `dir` (ending in '/') for each test, removed
// afterwards, holding a 250-byte source `src` and the folders `out` and
// `back`. It is in memory-backed storage when that has room for the 4 GiB a
// large copy writes: seconds there, a minute on a disk.
class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        struct statvfs shm {};
        const bool roomy = ::statvfs("/dev/shm", &shm) == 0 && shm.f_bavail * shm.f_frsize > (std::uint64_t{6} << 30);
        std::string pattern = (roomy ? "/dev/shm" : fs::temp_directory_path().string()) + "/tessaly-core-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern + "/";
        src = mkdir("src") + "movie.avi";
        out = mkdir("out");
        back = mkdir("back");
        index = out + "movie.avi.splt";
        writeFile(src, bytes);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string mkdir(const std::string& name) const {
        fs::create_directories(dir + name);
        return dir + name + "/";
    }
    // Names in a folder, sorted; hidden and temporary files included.
    static Names listing(const std::string& folder) {
        Names names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string dir, src, out, back, index, bytes = byteRun(250);
};

} // namespace tessaly::test
