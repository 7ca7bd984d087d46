// Shared helpers for the engine tests: a host that records what the engine
// asks of the window, a private scratch folder per test, and file helpers.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "SplitMergeFile.h"

namespace tessaly::test {

namespace fs = std::filesystem;
using namespace SplitMergeFile;
using Names = std::vector<std::string>;

struct Message {
    std::string title, text;
    MessageIcon icon;
    std::int64_t bar; // the progress value while the message is up
    bool operator==(const Message&) const = default;
    friend std::ostream& operator<<(std::ostream& o, const Message& m) {
        return o << m.title << " [" << int(m.icon) << ", bar " << m.bar << "] " << m.text;
    }
};

// Stands in for the main window. `calls` logs, in order, each read of the
// output folder ("folder"), value ("v") and maximum ("m"). A progress step
// can take `delay`, so that event passes come due, and a stop is asked for
// once `stopAfterPasses` passes have run.
struct FakeHost : SplitMergeHost {
    explicit FakeHost(std::string f) : folder(std::move(f)) {}
    std::string folder;
    int stopAfterPasses = -1, passes = 0;
    std::chrono::milliseconds delay{0};
    std::int64_t value = 0, maximum = 100;
    Names calls;
    std::vector<Message> messages;

    std::string outputFolder() override { return calls.push_back("folder"), folder; }
    void setProgressValue(std::int64_t v) override {
        calls.push_back("v" + std::to_string(value = v));
        std::this_thread::sleep_for(delay);
    }
    void setProgressMaximum(std::int64_t m) override { calls.push_back("m" + std::to_string(maximum = m)); }
    std::int64_t progressMaximum() override { return maximum; }
    void showMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
        messages.push_back({title, text, icon, value});
    }
    void processEvents() override { ++passes; }
    bool stopRequested() override { return stopAfterPasses >= 0 && passes >= stopAfterPasses; }

    // A run over n entries that finished and said so.
    void expectDone(std::int64_t n, const char* text) const {
        Names expected{"folder", "v0", "m" + std::to_string(n)};
        for (std::int64_t k = 1; k <= n; ++k) expected.push_back("v" + std::to_string(k));
        EXPECT_EQ(calls, expected);
        EXPECT_EQ(messages, (std::vector<Message>{{kDoneTitle, text, MessageIcon::Information, n}}));
    }
    // One warning under `title` whose text starts with `text`.
    void expectWarning(const char* title, const std::string& text) const {
        ASSERT_EQ(messages.size(), 1u);
        const Message& m = messages[0];
        EXPECT_TRUE(m.title == title && m.icon == MessageIcon::Warning && m.text.starts_with(text)) << m;
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
    for (const auto& [at, bytes] : marks) ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), at), ssize_t(bytes.size()));
    ::close(fd);
}

// A private scratch folder for each test under `parent`, removed afterwards.
class Scratch : public ::testing::Test {
protected:
    explicit Scratch(fs::path parent = fs::temp_directory_path()) : parent_(std::move(parent)) {}
    void SetUp() override {
        std::string pattern = parent_.string() + "/tessaly-core-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern + "/";
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

    std::string dir; // ends with '/'

private:
    fs::path parent_;
};

} // namespace tessaly::test
