// Shared helpers for the engine tests: a host that records what the engine
// asks of the window, a private scratch folder per test, and file helpers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "SplitMergeFile.h"

namespace tessaly::test {

namespace fs = std::filesystem;
using SplitMergeFile::MessageIcon;
using SplitMergeFile::Outcome;

struct Message {
    std::string text;
    std::string title;
    MessageIcon icon;
    std::int64_t valueAtShow; // the progress value while the message is up
};

// One call on the progress bar: 'v' sets the value, 'm' the maximum.
using ProgressCall = std::pair<char, std::int64_t>;

// Stands in for the main window. It can make each progress step take some
// time, so that event passes come due, and ask for a stop after a number of
// passes.
class FakeHost : public SplitMergeFile::SplitMergeHost {
public:
    explicit FakeHost(std::string folder = {}) : folder(std::move(folder)) {}

    std::string folder;
    int stopAfterPasses = -1; // never when negative
    std::chrono::milliseconds stepDelay{0};

    int folderReads = 0;
    int passes = 0;
    std::vector<ProgressCall> progress;
    std::vector<Message> messages;

    std::string outputFolder() override {
        ++folderReads;
        return folder;
    }
    void setProgressValue(std::int64_t v) override {
        value_ = v;
        progress.emplace_back('v', v);
        if (v > 0 && stepDelay.count() > 0) std::this_thread::sleep_for(stepDelay);
    }
    void setProgressMaximum(std::int64_t m) override {
        maximum_ = m;
        progress.emplace_back('m', m);
    }
    std::int64_t progressMaximum() override { return maximum_; }
    void showMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
        messages.push_back({text, title, icon, value_});
    }
    void processEvents() override { ++passes; }
    bool stopRequested() override { return stopAfterPasses >= 0 && passes >= stopAfterPasses; }

    std::int64_t value() const { return value_; }

private:
    std::int64_t value_ = 0;
    std::int64_t maximum_ = 100;
};

// The progress calls of a run over n pieces that finishes.
inline std::vector<ProgressCall> fullProgress(std::int64_t n) {
    std::vector<ProgressCall> calls{{'v', 0}, {'m', n}};
    for (std::int64_t k = 1; k <= n; ++k) calls.emplace_back('v', k);
    return calls;
}

inline void expectOnlyMessage(const FakeHost& host, const std::string& text, const std::string& title,
                              MessageIcon icon) {
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, text);
    EXPECT_EQ(host.messages[0].title, title);
    EXPECT_EQ(host.messages[0].icon, icon);
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// `n` bytes running through every byte value, mixed so that equal-length
// slices differ from one another.
inline std::string byteRun(std::size_t n, unsigned seed = 1) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i + seed * (i / 256)) & 0xff);
    return s;
}

// A file of `size` bytes that takes almost no disk space, with a few bytes
// of data at the given offsets.
inline void makeSparse(const std::string& path, std::int64_t size,
                       const std::vector<std::pair<std::int64_t, std::string>>& marks = {}) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    for (const auto& [offset, bytes] : marks) {
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), offset), static_cast<ssize_t>(bytes.size()));
    }
    ::close(fd);
}

// True when `length` bytes of file `a` from `aOffset` equal those of file `b`
// from `bOffset`; reads both a block at a time.
inline bool sameBytes(const std::string& a, std::int64_t aOffset, const std::string& b, std::int64_t bOffset,
                      std::int64_t length) {
    const int fa = ::open(a.c_str(), O_RDONLY | O_CLOEXEC), fb = ::open(b.c_str(), O_RDONLY | O_CLOEXEC);
    constexpr std::int64_t kBlock = 1 << 20;
    std::unique_ptr<char[]> ba(new char[kBlock]), bb(new char[kBlock]);
    bool same = fa >= 0 && fb >= 0;
    for (std::int64_t done = 0; same && done < length;) {
        const auto want = static_cast<std::size_t>(std::min(kBlock, length - done));
        same = ::pread(fa, ba.get(), want, aOffset + done) == static_cast<ssize_t>(want) &&
               ::pread(fb, bb.get(), want, bOffset + done) == static_cast<ssize_t>(want) &&
               std::memcmp(ba.get(), bb.get(), want) == 0;
        done += static_cast<std::int64_t>(want);
    }
    if (fa >= 0) ::close(fa);
    if (fb >= 0) ::close(fb);
    return same;
}

// Gives back the storage of every all-zero block of a file; its content
// stays the same.
inline void hollowOut(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    constexpr std::size_t kBlock = 1 << 20;
    std::unique_ptr<char[]> block(new char[kBlock]);
    static const std::unique_ptr<char[]> zeros(new char[kBlock]());
    ssize_t got;
    for (off_t offset = 0; (got = ::pread(fd, block.get(), kBlock, offset)) > 0; offset += got) {
        if (std::memcmp(block.get(), zeros.get(), static_cast<std::size_t>(got)) == 0) {
            ASSERT_EQ(::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, offset, got), 0);
        }
    }
    ::close(fd);
}

// A private scratch folder for each test, removed afterwards.
class ScratchTest : public ::testing::Test {
protected:
    explicit ScratchTest(fs::path parent = fs::temp_directory_path()) : parent_(std::move(parent)) {}

    void SetUp() override {
        std::string pattern = parent_.string() + "/tessaly-core-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern + "/";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    std::string path(const std::string& name) const { return dir + name; }
    std::string mkdir(const std::string& name) const {
        fs::create_directories(dir + name);
        return dir + name + "/";
    }
    // Names in a folder, sorted.
    static std::set<std::string> listing(const std::string& folder) {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
        return names;
    }
    // True when a temporary file of a join is left in the folder.
    static bool hasTemporary(const std::string& folder) {
        for (const auto& name : listing(folder)) {
            if (name.rfind(".tessaly-", 0) == 0) return true;
        }
        return false;
    }

    std::string dir; // ends with '/'

private:
    fs::path parent_;
};

// Changes the working folder for one scope.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder) : saved_(fs::current_path()) { fs::current_path(folder); }
    ~WorkingFolder() { fs::current_path(saved_); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    fs::path saved_;
};

} // namespace tessaly::test
