// Runs one split or join through the engine with a host that shows no
// window, and reports how fast it went and how long the window would have
// waited between two event passes.
//
//   tessaly-bench split SOURCE CHUNK OUTPUT_FOLDER
//   tessaly-bench join INDEX OUTPUT_FOLDER
//
// OUTPUT_FOLDER is used as the output-folder field's text: a plain prefix.
// Each message is printed to stderr as "TITLE: TEXT". Exits 0 when the run
// ended with its success message.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "FileSize.h"
#include "SplitMergeFile.h"

namespace {

using Clock = std::chrono::steady_clock;

class BenchHost : public SplitMergeFile::SplitMergeHost {
public:
    explicit BenchHost(std::string folder) : folder_(std::move(folder)) {}

    std::string outputFolder() override { return folder_; }
    void setProgressValue(std::int64_t) override {}
    void setProgressMaximum(std::int64_t maximum) override { maximum_ = maximum; }
    std::int64_t progressMaximum() override { return maximum_; }
    void showMessage(const std::string& text, const std::string& title, SplitMergeFile::MessageIcon) override {
        markPass();
        std::cerr << title << ": " << text << '\n';
        lastText_ = text;
        lastTitle_ = title;
    }
    void processEvents() override { markPass(); }
    bool stopRequested() override { return false; }

    void start() { lastPass_ = Clock::now(); }
    double longestGapMs() const { return std::chrono::duration<double, std::milli>(longestGap_).count(); }
    bool endedWith(const char* text) const { return lastTitle_ == SplitMergeFile::kDoneTitle && lastText_ == text; }

private:
    void markPass() {
        const auto now = Clock::now();
        longestGap_ = std::max(longestGap_, now - lastPass_);
        lastPass_ = now;
    }

    std::string folder_;
    std::int64_t maximum_ = 0;
    std::string lastText_, lastTitle_;
    Clock::time_point lastPass_;
    Clock::duration longestGap_{};
};

int usage() {
    std::cerr << "usage: tessaly-bench split SOURCE CHUNK OUTPUT_FOLDER\n"
                 "       tessaly-bench join INDEX OUTPUT_FOLDER\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    const bool split = command == "split" && argc == 5;
    const bool join = command == "join" && argc == 4;
    if (!split && !join) return usage();

    BenchHost host(split ? argv[4] : argv[3]);
    std::int64_t chunk = 0;
    if (split) {
        char* end = nullptr;
        chunk = std::strtoll(argv[3], &end, 10);
        if (end == argv[3] || *end != '\0') return usage();
    }

    const auto started = Clock::now();
    host.start();
    bool ok;
    std::int64_t bytes;
    if (split) {
        SplitMergeFile::SplitFile(host, argv[2], chunk);
        ok = host.endedWith(SplitMergeFile::kSplitDoneText);
        bytes = FileSize::FileSize2(argv[2]);
    } else {
        SplitMergeFile::JoinFiles(host, argv[2]);
        ok = host.endedWith(SplitMergeFile::kJoinDoneText);
        bytes = FileSize::FileSize2(SplitMergeFile::RebuiltPath(argv[3], argv[2]));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

    std::printf("bytes=%lld seconds=%.6f throughput_MiB_s=%.1f longest_event_gap_ms=%.2f\n",
                static_cast<long long>(bytes), seconds,
                seconds > 0 ? static_cast<double>(bytes) / (1 << 20) / seconds : 0.0, host.longestGapMs());
    return ok ? 0 : 1;
}
