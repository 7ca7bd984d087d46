#include "Commands.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "CommandLine.h"
#include "FileSize.h"
#include "Messages.h"
#include "Paths.h"
#include "ProgressLine.h"
#include "SplitMergeFile.h"
#include "Terminal.h"

namespace tessaly::cli {

namespace {

namespace fs = std::filesystem;
using SplitMergeFile::Progress;
using SplitMergeFile::Result;
using SplitMergeFile::Status;

// On Windows, paths typed with "/" are given "\\" too, so that messages
// and the index show every path in the system's own notation.
std::string withNativeSeparators(std::string path) {
#ifdef _WIN32
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
#endif
    return path;
}

void say(const std::string& text) {
    const std::string line = "tessaly-cli: " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

// Help and version go to standard output; a write there that fails (a full
// disk, a closed pipe) is a failure like any other.
int print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        say("cannot write to standard output: " + std::generic_category().message(errno));
        return kExitFailed;
    }
    return kExitDone;
}

int failed(const std::string& text) {
    say(text);
    return kExitFailed;
}

// The output folder as the engine wants it: an absolute prefix that ends
// in a path separator, so that the index lists full paths. "." parts are
// dropped; ".." parts stay, since through a link they need not undo the
// part before them.
std::optional<std::string> outputPrefix(const std::optional<std::string>& given, std::string& error) {
    std::error_code ec;
    const fs::path folder =
        given ? fs::absolute(tessaly::fsPath(withNativeSeparators(*given)), ec) : fs::current_path(ec);
    if (ec) {
        error = (given ? "cannot find the output folder " + shown(*given) : std::string("cannot find the current folder")) +
                ": " + ec.message();
        return std::nullopt;
    }
    fs::path clean;
    for (const fs::path& part : folder) {
        if (part.empty() || part == ".") continue;
        clean /= part;
    }
    std::string prefix = tessaly::fromFsPath(clean);
    if (!prefix.ends_with(tessaly::kPathSeparator) && !prefix.ends_with('/')) prefix += tessaly::kPathSeparator;
    return prefix;
}

// Says why `path`, which is not a present file, cannot be used.
int refuseAbsent(Command command, const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(tessaly::fsPath(path), ec);
    if (status.type() == fs::file_type::not_found || path.empty()) {
        return failed(notAFileText(command, path, NotAFile::Missing));
    }
    if (ec) return failed(unreachableText(command, path, ec));
    if (status.type() == fs::file_type::directory) return failed(notAFileText(command, path, NotAFile::Folder));
    return failed(notAFileText(command, path, NotAFile::Other));
}

// The engine's host for a run in a terminal or a script: progress drawn on
// standard error when asked for, no events to pass, and a stop once a
// signal has asked for one.
class RunHost : public SplitMergeFile::Host {
public:
    explicit RunHost(bool drawProgress) {
        if (!drawProgress) return;
        drawer_.emplace(
            [](std::string_view text) {
                std::fwrite(text.data(), 1, text.size(), stderr);
                std::fflush(stderr);
            },
            terminalWidth, ProgressDrawer::Clock::now());
    }

    void progress(const Progress& progress) override {
        last_ = progress;
        if (drawer_) drawer_->update(progress.bytes, progress.byteCount, ProgressDrawer::Clock::now());
    }
    void processEvents() override {}
    bool keepGoing() override { return stopSignal() == 0; }

    // Clears the progress line before the closing message.
    void finish() {
        if (drawer_) drawer_->finish();
    }
    std::int64_t pieceCount() const { return last_.pieceCount; }

private:
    std::optional<ProgressDrawer> drawer_;
    Progress last_;
};

int stopped(Command command) {
    const int signal = stopSignal();
    say(stoppedText(command, signal));
    return signal != 0 ? kExitSignalBase + signal : kExitFailed;
}

// What a finished run says and returns; the success line only when not quiet.
int ended(const Invocation& invocation, const Result& result, const std::string& doneText) {
    switch (result.status) {
    case Status::Succeeded:
        if (!invocation.quiet) say(doneText);
        return kExitDone;
    case Status::Stopped:
        return stopped(invocation.command);
    case Status::Failed:
        break;
    }
    return failed(failureText(invocation.command, result));
}

bool drawProgress(const Invocation& invocation) { return !invocation.quiet && standardErrorIsTerminal(); }

int split(const Invocation& invocation, const std::string& folder) {
    const std::string source = withNativeSeparators(invocation.path);
    // Refused before any file is touched, by the engine's and the
    // platform's own rules.
    if (SplitMergeFile::isPartOfPieceSet(source)) return failed(partOfPieceSetText(source));
    if (!tessaly::isPresentFile(source)) return refuseAbsent(Command::Split, source);
    const std::int64_t size = FileSize::FileSize2(source);
    if (size == 0) {
        // 0 is also what a file that cannot be opened measures.
        const auto file = tessaly::File::openRead(source);
        if (!file) return failed(ioFailureText({tessaly::Operation::Open, source, file.error()}));
    }
    if (!SplitMergeFile::isLargerThanOnePiece(size, invocation.pieceSize)) {
        return failed(notLargerThanOnePieceText(source, size, invocation.pieceSize));
    }
    if (stopSignal() != 0) return stopped(Command::Split);

    RunHost host(drawProgress(invocation));
    const Result result = SplitMergeFile::SplitFile(host, source, invocation.pieceSize, folder);
    host.finish();
    return ended(invocation, result,
                 splitDoneText(source, host.pieceCount(), SplitMergeFile::indexPath(folder, source)));
}

int join(const Invocation& invocation, const std::string& folder) {
    const std::string index = withNativeSeparators(invocation.path);
    if (!tessaly::isPresentFile(index)) return refuseAbsent(Command::Join, index);
    if (stopSignal() != 0) return stopped(Command::Join);

    const std::string rebuilt = SplitMergeFile::rebuiltPath(folder, index);
    const bool rebuiltWasFree = !tessaly::pathExists(rebuilt);
    RunHost host(drawProgress(invocation));
    // A file holding only part of the set must not pass for the whole: the
    // engine discards what it joined before a missing piece.
    const Result result =
        SplitMergeFile::JoinFiles(host, index, folder, SplitMergeFile::AfterMissingPiece::DiscardJoined);
    host.finish();
    if (result.problem == SplitMergeFile::Problem::MissingPiece && rebuiltWasFree) {
        return failed(incompleteRemovedText(failureText(Command::Join, result), rebuilt, {}));
    }
    return ended(invocation, result, joinDoneText(index, host.pieceCount(), rebuilt));
}

} // namespace

int run(const std::vector<std::string>& arguments, const std::string& version) {
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    if (!parsed.error.empty()) {
        say(parsed.error);
        std::fprintf(stderr, "%s\n", kUsageLine);
        return kExitUsage;
    }
    const Invocation& invocation = parsed.invocation;
    if (invocation.command == Command::Help) return print(kHelpText);
    if (invocation.command == Command::Version) return print("tessaly-cli " + version + "\n");

    std::string error;
    const std::optional<std::string> folder = outputPrefix(invocation.outputFolder, error);
    if (!folder) return failed(error);
    if (invocation.command == Command::Split) return split(invocation, *folder);
    return join(invocation, *folder);
}

} // namespace tessaly::cli
