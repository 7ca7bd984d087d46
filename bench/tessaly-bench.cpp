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
//
// The engine takes UTF-8: on Windows the arguments are read as UTF-16
// (wmain) and converted, so that any name reaches it whatever the code page.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "SplitMergeFile.h"
#include "WindowMessages.h"

#ifdef _WIN32
#include <windows.h>

#include "Paths.h"
#endif

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

// Writes one line of UTF-8 text to stderr. A Windows console is given the
// text in UTF-16, as it would show the bytes in its own code page.
void printError(const std::string& line) {
#ifdef _WIN32
    HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(console, &mode)) {
        const std::wstring wide = tessaly::widen(line + "\n");
        DWORD written = 0;
        WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
#endif
    std::cerr << line << '\n';
}

int run(const std::vector<std::string>& args) {
#ifdef SIGXFSZ
    // A write past the file-size limit fails with EFBIG, which the run
    // reports and cleans up after, instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const std::string command = args.size() > 1 ? args[1] : "";
    const bool split = command == "split" && args.size() == 5;
    const bool join = command == "join" && args.size() == 4;
    if (!split && !join) return usage();
    const std::int64_t chunk = split ? chunkFromText(args[3].c_str()) : 0;
    if (split && chunk == 0) return usage();
    const std::string& folder = split ? args[4] : args[3];

    BenchHost host;
    const auto started = Clock::now();
    host.start();
    // A join as the window runs it.
    const SplitMergeFile::Result result =
        split ? SplitMergeFile::SplitFile(host, args[2], chunk, folder)
              : SplitMergeFile::JoinFiles(host, args[2], folder, SplitMergeFile::AfterMissingPiece::KeepJoined);
    host.markPass(); // the window's next events run once the run returns
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    if (const auto box = tessaly::messageFor(split ? tessaly::Command::Split : tessaly::Command::Join, result)) {
        printError(box->title + ": " + box->text);
    }

    std::printf("bytes=%lld seconds=%.6f throughput_MiB_s=%.1f longest_event_gap_ms=%.2f\n",
                static_cast<long long>(host.bytes()), seconds,
                seconds > 0 ? static_cast<double>(host.bytes()) / (1 << 20) / seconds : 0.0, host.longestGapMs());
    return result.succeeded() ? 0 : 1;
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.push_back(tessaly::narrow(argv[i]));
    return run(args);
}
#else
int main(int argc, char** argv) { return run(std::vector<std::string>(argv, argv + argc)); }
#endif
