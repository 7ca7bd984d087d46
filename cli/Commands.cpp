#include "Commands.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

#include "CommandLine.h"
#include "FileSize.h"
#include "Messages.h"
#include "Paths.h"
#include "PieceSize.h"
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
    if (ec) return failed(examineFailureText(path, ec));
    if (status.type() == fs::file_type::directory) return failed(notAFileText(command, path, NotAFile::Folder));
    return failed(notAFileText(command, path, NotAFile::Other));
}

// Refuses `path` unless it is an ordinary file; a path that cannot be
// examined is a failure of its own, never taken for a missing file.
std::optional<int> refusedUnlessPresent(Command command, const std::string& path) {
    const tessaly::Expected<tessaly::Presence> presence = tessaly::presenceOf(path);
    if (!presence) return failed(examineFailureText(path, presence.error()));
    if (*presence != tessaly::Presence::Present) return refuseAbsent(command, path);
    return std::nullopt;
}

// What stands at `path` itself, links not followed (not_found for nothing),
// or why that cannot be told.
tessaly::Expected<fs::file_type> whatStandsAt(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(tessaly::fsPath(path), ec);
    if (status.type() == fs::file_type::not_found) return fs::file_type::not_found;
    if (ec) return ec;
    return status.type();
}

// A folder given to -o that does not exist, or cannot be examined.
std::optional<int> refusedOutputFolder(const std::optional<std::string>& given) {
    if (!given) return std::nullopt;
    const std::string folder = withNativeSeparators(*given);
    std::error_code ec;
    const fs::file_status status = fs::status(tessaly::fsPath(folder), ec);
    if (status.type() == fs::file_type::not_found) return failed(outputFolderMissingText(*given, false));
    if (ec) return failed(examineFailureText(*given, ec));
    if (status.type() != fs::file_type::directory) return failed(outputFolderMissingText(*given, true));
    return std::nullopt;
}

// The index of the set whose piece `path` is ("dir/name_splt3" ->
// "dir/name.splt"), or nothing when its name is not a piece's.
std::optional<std::string> indexOfPiece(const std::string& path) {
    std::size_t digits = path.size();
    while (digits > 0 && path[digits - 1] >= '0' && path[digits - 1] <= '9') --digits;
    constexpr std::string_view kMark = "_splt";
    if (digits == path.size() || digits < kMark.size() + 1) return std::nullopt;
    if (std::string_view(path).substr(digits - kMark.size(), kMark.size()) != kMark) return std::nullopt;
    const std::string stem = path.substr(0, digits - kMark.size());
    if (tessaly::baseName(stem).empty()) return std::nullopt;
    return stem + ".splt";
}

// The engine's host for a run in a terminal or a script: progress drawn on
// standard error when asked for, each piece named on standard output with
// --verbose, no events to pass, and a stop once a signal has asked for one
// or standard output can no longer be written.
class RunHost : public SplitMergeFile::Host {
public:
    RunHost(bool drawProgress, std::optional<Command> namePieces) : namePieces_(namePieces) {
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
    bool keepGoing() override { return stopSignal() == 0 && !outputError_; }
    void pieceDone(const std::string& path) override {
        if (!namePieces_ || outputError_) return;
        // The progress line is blanked first, in case both go to one terminal;
        // the next progress report draws it again.
        if (drawer_) drawer_->finish();
        const std::string line = pieceDoneText(*namePieces_, path);
        std::fwrite(line.data(), 1, line.size(), stdout);
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            outputError_ = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
        }
    }

    // Clears the progress line before the closing message.
    void finish() {
        if (drawer_) drawer_->finish();
    }
    std::int64_t pieceCount() const { return last_.pieceCount; }
    // Why standard output could not be written; nothing while it could.
    std::error_code outputError() const { return outputError_; }

private:
    std::optional<ProgressDrawer> drawer_;
    std::optional<Command> namePieces_;
    Progress last_;
    std::error_code outputError_;
};

int stopped(Command command) {
    const int signal = stopSignal();
    say(stoppedText(command, signal));
    return signal != 0 ? kExitSignalBase + signal : kExitFailed;
}

// What a finished run says and returns; the success line only when not quiet.
// A run that could not name its pieces on standard output fails, and one
// stopped for that reason says so rather than blame a signal.
int ended(const Invocation& invocation, const Result& result, const RunHost& host, const std::string& doneText) {
    const std::error_code output = host.outputError();
    const std::string outputText = output ? "cannot write to standard output: " + output.message() : "";
    switch (result.status) {
    case Status::Succeeded:
        if (output) return failed(doneText + ", but " + outputText);
        if (!invocation.quiet) say(doneText);
        return kExitDone;
    case Status::Stopped:
        if (stopSignal() == 0 && output) {
            return failed(outputText + (invocation.command == Command::Join
                                            ? "; join stopped, nothing was written"
                                            : "; split stopped, the pieces written so far were removed"));
        }
        return stopped(invocation.command);
    case Status::Failed:
        break;
    }
    return failed(failureText(invocation.command, result));
}

bool drawProgress(const Invocation& invocation) { return !invocation.quiet && standardErrorIsTerminal(); }

std::optional<Command> namePieces(const Invocation& invocation) {
    if (!invocation.verbose) return std::nullopt;
    return invocation.command;
}

int split(const Invocation& invocation, const std::string& folder) {
    const std::string source = withNativeSeparators(invocation.path);
    // Refused before any file is touched, by the engine's and the
    // platform's own rules.
    if (SplitMergeFile::isPartOfPieceSet(source)) return failed(partOfPieceSetText(source));
    if (const auto refused = refusedUnlessPresent(Command::Split, source)) return *refused;
    const tessaly::Expected<std::int64_t> size = FileSize::sizeOf(source);
    if (!size) return failed(ioFailureText({tessaly::Operation::Open, source, size.error()}));
    std::int64_t pieceSize = invocation.pieceSize;
    if (invocation.pieceCount != 0) {
        const std::optional<std::int64_t> equal = equalPieceSize(*size, invocation.pieceCount);
        if (!equal) return failed(noEqualPiecesText(source, *size, invocation.pieceCount));
        pieceSize = *equal;
    }
    if (!SplitMergeFile::isLargerThanOnePiece(*size, pieceSize)) {
        return failed(notLargerThanOnePieceText(source, *size, pieceSize));
    }
    if (stopSignal() != 0) return stopped(Command::Split);

    RunHost host(drawProgress(invocation), namePieces(invocation));
    const Result result = SplitMergeFile::SplitFile(host, source, pieceSize, folder);
    host.finish();
    return ended(invocation, result, host,
                 splitDoneText(source, host.pieceCount(), SplitMergeFile::indexPath(folder, source)));
}

int join(const Invocation& invocation, const std::string& folder) {
    const std::string index = withNativeSeparators(invocation.path);
    if (const auto refused = refusedUnlessPresent(Command::Join, index)) return *refused;
    if (const std::optional<std::string> itsIndex = indexOfPiece(index)) {
        return failed(pieceGivenToJoinText(index, *itsIndex));
    }
    if (stopSignal() != 0) return stopped(Command::Join);

    // Something at the rebuilt path is replaced only when asked; when it
    // cannot be told whether anything is there, nothing is risked.
    const std::string rebuilt = SplitMergeFile::rebuiltPath(folder, index);
    // A folder, device and the like is never replaced; the engine says so.
    const tessaly::Expected<fs::file_type> standing = whatStandsAt(rebuilt);
    if (!standing) return failed(examineFailureText(rebuilt, standing.error()));
    const bool taken = *standing != fs::file_type::not_found;
    const bool replaceable = *standing == fs::file_type::regular || *standing == fs::file_type::symlink;
    if (replaceable && !invocation.force) return failed(rebuiltExistsText(index, rebuilt));

    RunHost host(drawProgress(invocation), namePieces(invocation));
    // A file holding only part of the set must not pass for the whole: the
    // engine discards what it joined before a missing piece.
    const Result result =
        SplitMergeFile::JoinFiles(host, index, folder, SplitMergeFile::AfterMissingPiece::DiscardJoined);
    host.finish();
    if (result.problem == SplitMergeFile::Problem::MissingPiece && !taken) {
        return failed(incompleteRemovedText(failureText(Command::Join, result), rebuilt, {}));
    }
    return ended(invocation, result, host, joinDoneText(index, host.pieceCount(), rebuilt));
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

    if (const auto refused = refusedOutputFolder(invocation.outputFolder)) return *refused;
    std::string error;
    const std::optional<std::string> folder = outputPrefix(invocation.outputFolder, error);
    if (!folder) return failed(error);
    if (invocation.command == Command::Split) return split(invocation, *folder);
    return join(invocation, *folder);
}

} // namespace tessaly::cli
