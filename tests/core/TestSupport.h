// Shared helpers for the engine tests: a host that records what the engine
// asks of the window, a private scratch folder per test, and file helpers.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "SplitMergeFile.h"

namespace tessaly::test {

namespace fs = std::filesystem;
using namespace SplitMergeFile;
using Names = std::vector<std::string>;

// Stands in for the main window. `log` records, in order, each read of the
// output folder ("folder"), progress value ("v3") and maximum ("m3"), and
// each message shown ("warning <title>: <text>"). Each value set can take
// `delay`, so that event passes come due; a stop is asked for once
// `stopAfterPasses` passes have run.
struct FakeHost : SplitMergeHost {
    explicit FakeHost(std::string f) : folder(std::move(f)) {}
    std::string folder;
    int stopAfterPasses = -1, passes = 0, shown = 0;
    std::chrono::milliseconds delay{0};
    std::int64_t value = 0, maximum = 100;
    Names log;

    std::string outputFolder() override { return log.push_back("folder"), folder; }
    void setProgressValue(std::int64_t v) override {
        log.push_back("v" + std::to_string(value = v));
        std::this_thread::sleep_for(delay);
    }
    void setProgressMaximum(std::int64_t m) override { log.push_back("m" + std::to_string(maximum = m)); }
    std::int64_t progressMaximum() override { return maximum; }
    void showMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
        const char* kinds[] = {"plain ", "info ", "warning "};
        log.push_back(kinds[int(icon)] + title + ": " + text);
        ++shown;
    }
    void processEvents() override { ++passes; }
    bool stopRequested() override { return stopAfterPasses >= 0 && passes >= stopAfterPasses; }

    // A run over n entries that finished and said so.
    void expectDone(std::int64_t n, const char* text) const {
        Names expected{"folder", "v0", "m" + std::to_string(n)};
        for (std::int64_t k = 1; k <= n; ++k) expected.push_back("v" + std::to_string(k));
        expected.push_back("info " + std::string(kDoneTitle) + ": " + text);
        EXPECT_EQ(log, expected);
    }
    // A failed run that ended showing one warning, its text starting with `text`.
    void expectFailed(Outcome outcome, const char* title, const std::string& text) const {
        EXPECT_TRUE(outcome == Outcome::Failed && shown == 1) << int(outcome) << " " << shown;
        EXPECT_TRUE(log.back().starts_with("warning " + (title + (": " + text)))) << log.back();
    }
};

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
    ASSERT_TRUE(fd >= 0 && ::ftruncate(fd, size) == 0);
    for (const auto& [at, bytes] : marks) ASSERT_GT(::pwrite(fd, bytes.data(), bytes.size(), at), 0);
    ::close(fd);
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
        src = mkdir("src") + "movie.avi", out = mkdir("out"), back = mkdir("back"), index = out + "movie.avi.splt";
        writeFile(src, bytes);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string mkdir(const std::string& name) const {
        fs::create_directories(dir + name);
        return dir + name + "/";
    }
    // Names in a folder, sorted; temporary files of a join included.
    static Names listing(const std::string& folder) {
        Names names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string dir, src, out, back, index, bytes = byteRun(250);
};

} // namespace tessaly::test
