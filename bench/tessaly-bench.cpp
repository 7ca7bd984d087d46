// Runs one split or join through the engine with a host that shows no
// window, and reports how fast it went and how long the window would have
// waited between two event passes.
//
//   tessaly-bench split SOURCE CHUNK OUTPUT_FOLDER
//   tessaly-bench join INDEX OUTPUT_FOLDER
//
// OUTPUT_FOLDER is used as the output-folder field's text: a plain prefix.
// The message the window would show is printed to stderr as "TITLE: TEXT".
// Exits 0 when the run succeeded, 1 when it failed, 2 on a usage error.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "SplitMergeFile.h"
#include "WindowMessages.h"

namespace {

using Clock = std::chrono::steady_clock;

// Records the longest time between two event passes, which is how long a
// window would have waited for its events.
class BenchHost : public SplitMergeFile::Host {
public:
    void progress(const SplitMergeFile::Progress& p) override { bytes_ = p.bytes; }
    void processEvents() override { markPass(); }
    bool keepGoing() override { return true; }

    void start() { lastPass_ = Clock::now(); }
    void markPass() {
        const auto now = Clock::now();
        longestGap_ = std::max(longestGap_, now - lastPass_);
        lastPass_ = now;
    }
    double longestGapMs() const { return std::chrono::duration<double, std::milli>(longestGap_).count(); }
    std::int64_t bytes() const { return bytes_; }

private:
    std::int64_t bytes_ = 0;
    Clock::time_point lastPass_;
    Clock::duration longestGap_{};
};

int usage() {
    std::cerr << "usage: tessaly-bench split SOURCE CHUNK OUTPUT_FOLDER\n"
                 "       tessaly-bench join INDEX OUTPUT_FOLDER\n"
                 "CHUNK is a whole number of bytes from 1 to 9223372036854775807.\n";
    return 2;
}

// The chunk size in bytes, or 0 when the text is not a whole number from 1
// to the largest signed 64-bit value.
std::int64_t chunkFromText(const char* text) {
    if (*text < '0' || *text > '9') return 0;
    char* end = nullptr;
    errno = 0;
    const long long chunk = std::strtoll(text, &end, 10);
    if (*end != '\0' || errno == ERANGE || chunk < 1) return 0;
    return chunk;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    const bool split = command == "split" && argc == 5;
    const bool join = command == "join" && argc == 4;
    if (!split && !join) return usage();
    const std::int64_t chunk = split ? chunkFromText(argv[3]) : 0;
    if (split && chunk == 0) return usage();
    const std::string folder = split ? argv[4] : argv[3];

    BenchHost host;
    const auto started = Clock::now();
    host.start();
    const SplitMergeFile::Result result = split ? SplitMergeFile::SplitFile(host, argv[2], chunk, folder)
                                                : SplitMergeFile::JoinFiles(host, argv[2], folder);
    host.markPass(); // the window's next events run once the run returns
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    if (const auto box = tessaly::messageFor(split ? tessaly::Command::Split : tessaly::Command::Join, result)) {
        std::cerr << box->title << ": " << box->text << '\n';
    }

    std::printf("bytes=%lld seconds=%.6f throughput_MiB_s=%.1f longest_event_gap_ms=%.2f\n",
                static_cast<long long>(host.bytes()), seconds,
                seconds > 0 ? static_cast<double>(host.bytes()) / (1 << 20) / seconds : 0.0, host.longestGapMs());
    return result.succeeded() ? 0 : 1;
}
