#include "SplitMergeFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <system_error>

#include "File.h"
#include "Paths.h"

namespace SplitMergeFile {

namespace {

using tessaly::CopySide;
using tessaly::File;
using tessaly::IoError;

// Copies go in slices sized to take 5 to 15 ms each, so that event passes
// come on time on slow disks and system calls stay few on fast ones.
constexpr std::int64_t kFirstSliceBytes = std::int64_t{4} << 20;
constexpr std::int64_t kSmallestSliceBytes = std::int64_t{1} << 20;
constexpr std::int64_t kLargestSliceBytes = std::int64_t{256} << 20;
constexpr auto kShortSlice = std::chrono::milliseconds(5);
constexpr auto kLongSlice = std::chrono::milliseconds(15);
// Work time after which pending window events run again. Well under the
// 50 ms after which a window feels stuck.
constexpr auto kEventPassInterval = std::chrono::milliseconds(20);

constexpr const char* kIndexSuffix = ".splt";
constexpr const char* kPieceInfix = "_splt";
// Why a read came up short of a size taken when the run started.
constexpr const char* kEndedEarly = "the file ended early (was it changed during the run?)";

// Lets the window's pending events run often enough to keep it responsive,
// measured in time rather than in pieces, and notices a stop request.
class Pacer {
public:
    using Clock = std::chrono::steady_clock;

    explicit Pacer(SplitMergeHost& host) : host_(host), last_(Clock::now()) {}

    // Runs an event pass when the next slice of work would end past its
    // time. False once the window has asked the run to stop.
    bool tick() {
        if (Clock::now() - last_ + lastSlice_ < kEventPassInterval) return true;
        host_.processEvents();
        last_ = Clock::now();
        return !host_.stopRequested();
    }

    // How many bytes the next copy slice should hold.
    std::int64_t sliceBytes() const { return slice_; }
    // Learns from a full slice how long one takes, doubling or halving the
    // next one to stay between kShortSlice and kLongSlice.
    void sliceTook(Clock::duration took) {
        lastSlice_ = took;
        if (took < kShortSlice) slice_ = std::min(slice_ * 2, kLargestSliceBytes);
        if (took > kLongSlice) slice_ = std::max(slice_ / 2, kSmallestSliceBytes);
    }

private:
    SplitMergeHost& host_;
    Clock::time_point last_;
    std::int64_t slice_ = kFirstSliceBytes;
    Clock::duration lastSlice_{};
};

// The end of one step of a run: all well, a failure to report, or stopped.
struct Step {
    bool stopped = false;
    std::optional<IoError> error;
    bool ok() const { return !stopped && !error; }
};

Step failed(IoError e) { return Step{false, std::move(e)}; }

// Copies from `in` to `out` a slice at a time with event passes between
// slices: exactly `length` bytes, or everything up to the end of `in` when
// `length` is negative. `copied` tells how far it got.
Step copyPaced(Pacer& pacer, File& in, const std::string& inPath, std::int64_t inOffset, File& out,
               const std::string& outPath, std::int64_t outOffset, std::int64_t length,
               std::int64_t& copied) {
    copied = 0;
    for (;;) {
        const std::int64_t slice = pacer.sliceBytes();
        const std::int64_t want = length < 0 ? slice : std::min(slice, length - copied);
        if (want == 0) return {};
        const auto started = Pacer::Clock::now();
        const tessaly::CopyResult r = tessaly::copyBytes(in, inOffset + copied, out, outOffset + copied, want);
        if (r.copied == slice) pacer.sliceTook(Pacer::Clock::now() - started);
        copied += r.copied;
        if (r.failed == CopySide::Read) return failed({"read", inPath, r.code});
        if (r.failed == CopySide::Write) return failed({"write", outPath, r.code});
        if (r.copied < want) {
            if (length < 0) return {};
            return failed({"read", inPath, {}, kEndedEarly});
        }
        if (!pacer.tick()) return Step{true, std::nullopt};
    }
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// True when `word` stands in `text` at `at`, letter case ignored.
bool startsWithIgnoringCase(const std::string& text, std::size_t at, const char* word) {
    for (std::size_t i = 0; word[i] != '\0'; ++i) {
        if (at + i >= text.size() || asciiLower(text[at + i]) != asciiLower(word[i])) return false;
    }
    return true;
}

// Serves the bytes of small pieces from a block of the source read ahead,
// so a split into thousands of tiny pieces reads the source once per block
// rather than once per piece. Larger pieces are copied with copyPaced.
class ReadAhead {
public:
    static constexpr std::int64_t kBlockBytes = std::int64_t{1} << 20;
    static constexpr std::int64_t kLargestPiece = std::int64_t{64} << 10;

    ReadAhead(File& source, const std::string& path) : source_(source), path_(path) {}

    // The `size` bytes of the source from `offset` on; pieces are asked for
    // in file order.
    const char* bytes(std::int64_t offset, std::int64_t size, std::optional<IoError>& error) {
        if (offset + size > start_ + filled_) {
            if (block_.empty()) block_.resize(kBlockBytes);
            start_ = offset;
            filled_ = 0;
            std::error_code ec;
            while (filled_ < size) {
                const std::int64_t got = source_.readAt(block_.data() + filled_,
                                                        static_cast<std::size_t>(kBlockBytes - filled_),
                                                        start_ + filled_, ec);
                if (got < 0) {
                    error = IoError{"read", path_, ec};
                    return nullptr;
                }
                if (got == 0) {
                    error = IoError{"read", path_, {}, kEndedEarly};
                    return nullptr;
                }
                filled_ += got;
            }
        }
        return block_.data() + (offset - start_);
    }

private:
    File& source_;
    const std::string& path_;
    std::vector<char> block_;
    std::int64_t start_ = 0;
    std::int64_t filled_ = 0;
};

// The output path of a split (a piece or the index) that names the source
// file itself, through a link say, so that replacing it would destroy the
// source; "" when stopped meanwhile. Only outputs that already exist can be
// the source, so one listing of the output folder narrows the search to
// them; the match ignores letter case, to be safe on file systems that do.
std::optional<std::string> outputThatIsSource(Pacer& pacer, const std::string& folder,
                                              const std::string& sourcePath, std::int64_t count) {
    const tessaly::FileIdentity source(sourcePath);
    const std::string prefix = folder + tessaly::baseName(sourcePath);
    const std::string directory = tessaly::folderPart(prefix);
    const std::string namePrefix = prefix.substr(directory.size());
    auto isOutputName = [&](const std::string& name) {
        if (!startsWithIgnoringCase(name, 0, namePrefix.c_str())) return false;
        const std::string rest = name.substr(namePrefix.size());
        if (rest.size() == std::strlen(kIndexSuffix) && startsWithIgnoringCase(rest, 0, kIndexSuffix)) return true;
        if (!startsWithIgnoringCase(rest, 0, kPieceInfix)) return false;
        const std::string digits = rest.substr(std::strlen(kPieceInfix));
        if (digits.empty() || digits.size() > 19 || digits[0] == '0') return false;
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
        return std::stoull(digits) <= static_cast<unsigned long long>(count);
    };
    auto existing = tessaly::listFolder(directory, isOutputName);
    if (!existing) {
        // The folder cannot be listed: ask for every output path instead.
        existing.emplace();
        for (std::int64_t k = 0; k <= count; ++k) {
            existing->push_back(k == 0 ? IndexPath(folder, sourcePath) : PiecePath(folder, sourcePath, k));
        }
    }
    for (const std::string& path : *existing) {
        if (source.sameAs(path)) return path;
        if (!pacer.tick()) return std::string();
    }
    return std::nullopt;
}

// Writes the index file: one line per piece, each its path and CR LF. The
// lines are formed again from the piece numbers and written through a fixed
// buffer, so memory does not grow with the number of pieces.
std::optional<IoError> writeIndex(const std::string& folder, const std::string& source,
                                  std::int64_t count, const std::string& indexPath) {
    std::error_code ec;
    File index = File::create(indexPath, ec);
    if (ec) return IoError{"create", indexPath, ec};
    // A partly written index is removed again. Nothing is removed when the
    // create failed: whatever stands at that path (a folder, say) is not ours.
    auto writeFailed = [&](std::error_code e) {
        index.close();
        tessaly::removeQuietly(indexPath);
        return IoError{"write", indexPath, e};
    };
    constexpr std::size_t kFlushAt = 1 << 16;
    std::string buffer;
    std::int64_t written = 0;
    auto flush = [&]() -> std::error_code {
        const std::error_code e = index.writeAt(buffer.data(), buffer.size(), written);
        written += static_cast<std::int64_t>(buffer.size());
        buffer.clear();
        return e;
    };
    for (std::int64_t k = 1; k <= count; ++k) {
        buffer += PiecePath(folder, source, k);
        buffer += "\r\n";
        if (buffer.size() >= kFlushAt && (ec = flush())) return writeFailed(ec);
    }
    if ((ec = flush()) || (ec = index.close())) return writeFailed(ec);
    return std::nullopt;
}

// Reads a whole file into `text`.
std::optional<IoError> readWhole(const std::string& path, std::string& text) {
    std::error_code ec;
    File file = File::openRead(path, ec);
    if (ec) return IoError{"open", path, ec};
    const std::int64_t size = file.size(ec);
    if (ec) return IoError{"read", path, ec};
    text.clear();
    text.reserve(static_cast<std::size_t>(size));
    char buffer[1 << 16];
    for (;;) {
        const std::int64_t got = file.readAt(buffer, sizeof buffer, static_cast<std::int64_t>(text.size()), ec);
        if (got < 0) return IoError{"read", path, ec};
        if (got == 0) return std::nullopt;
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

// Creates an empty temporary file in `folder` (a prefix ending in a path
// separator, or "" for the current folder). The name starts with "." and
// ends in ".part" so that a leftover never looks like a finished file.
File createTemporary(const std::string& folder, std::string& path, std::error_code& ec) {
    std::random_device seed;
    std::mt19937_64 random(seed() ^ static_cast<std::uint64_t>(
                                         std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, ".tessaly-%012llx.part",
                      static_cast<unsigned long long>(random() & 0xffffffffffffULL));
        path = folder + name;
        File file = File::createNew(path, ec);
        if (ec != std::errc::file_exists) return file;
    }
    return File();
}

std::error_code moveOnto(const std::string& from, const std::string& to) {
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(from), std::filesystem::path(to), ec);
    return ec;
}

} // namespace

std::string PiecePath(const std::string& outputFolder, const std::string& sourcePath, std::int64_t pieceNumber) {
    return outputFolder + tessaly::baseName(sourcePath) + kPieceInfix + std::to_string(pieceNumber);
}

std::string IndexPath(const std::string& outputFolder, const std::string& sourcePath) {
    return outputFolder + tessaly::baseName(sourcePath) + kIndexSuffix;
}

std::string RebuiltName(const std::string& indexPath) {
    const std::string base = tessaly::baseName(indexPath);
    const std::size_t suffixLength = std::char_traits<char>::length(kIndexSuffix);
    std::string name;
    name.reserve(base.size());
    for (std::size_t i = 0; i < base.size();) {
        if (startsWithIgnoringCase(base, i, kIndexSuffix)) {
            i += suffixLength;
        } else {
            name += base[i++];
        }
    }
    return name;
}

std::string RebuiltPath(const std::string& outputFolder, const std::string& indexPath) {
    return outputFolder + RebuiltName(indexPath);
}

std::vector<std::string> ParseIndex(const std::string& indexText) {
    std::vector<std::string> entries;
    std::size_t start = 0;
    for (std::size_t end; (end = indexText.find("\r\n", start)) != std::string::npos; start = end + 2) {
        entries.emplace_back(indexText, start, end - start);
    }
    return entries;
}

Outcome SplitFile(SplitMergeHost& host, const std::string& sourcePath, std::int64_t chunkSize) {
    auto report = [&](const std::string& text) {
        host.showMessage(text, kSplitErrorTitle, MessageIcon::Warning);
        return Outcome::Failed;
    };
    if (chunkSize < 1) return report("The chunk size must be a whole number of bytes, at least 1.");

    // One output folder for every piece and the index, read as the split starts.
    const std::string folder = host.outputFolder();
    std::error_code ec;
    File source = File::openRead(sourcePath, ec);
    if (ec) return report(IoError{"open", sourcePath, ec}.message());
    const std::int64_t length = source.size(ec);
    if (ec) return report(IoError{"read", sourcePath, ec}.message());
    const std::int64_t count = length / chunkSize + (length % chunkSize != 0 ? 1 : 0);

    Pacer pacer(host);
    const std::string indexPath = IndexPath(folder, sourcePath);
    if (auto target = outputThatIsSource(pacer, folder, sourcePath, count)) {
        if (target->empty()) return Outcome::Stopped;
        return report("Cannot split " + sourcePath + ": " + *target +
                      " would overwrite the file being split. Choose another output folder.");
    }

    host.setProgressValue(0);
    host.setProgressMaximum(count);

    // Pieces created in this run, removed again when the run does not finish.
    std::int64_t created = 0;
    auto abandon = [&](const Step& step) {
        source.close();
        for (std::int64_t k = 1; k <= created; ++k) tessaly::removeQuietly(PiecePath(folder, sourcePath, k));
        return step.stopped ? Outcome::Stopped : report(step.error->message());
    };

    ReadAhead readAhead(source, sourcePath);
    for (std::int64_t k = 1; k <= count; ++k) {
        const std::string piecePath = PiecePath(folder, sourcePath, k);
        File piece = File::create(piecePath, ec);
        if (ec) return abandon(failed({"create", piecePath, ec}));
        ++created;
        const std::int64_t offset = (k - 1) * chunkSize;
        const std::int64_t size = std::min(chunkSize, length - offset);
        Step step;
        if (chunkSize <= ReadAhead::kLargestPiece) {
            const char* bytes = readAhead.bytes(offset, size, step.error);
            if (bytes && (ec = piece.writeAt(bytes, static_cast<std::size_t>(size), 0))) {
                step = failed({"write", piecePath, ec});
            }
        } else {
            std::int64_t copied = 0;
            step = copyPaced(pacer, source, sourcePath, offset, piece, piecePath, 0, size, copied);
        }
        if (step.ok() && (ec = piece.close())) step = failed({"write", piecePath, ec});
        if (!step.ok()) return abandon(step);
        host.setProgressValue(k);
        if (!pacer.tick()) return abandon(Step{true, std::nullopt});
    }
    source.close();

    if (auto error = writeIndex(folder, sourcePath, count, indexPath)) return abandon(failed(*error));
    host.showMessage(kSplitDoneText, kDoneTitle, MessageIcon::Information);
    return Outcome::Succeeded;
}

Outcome JoinFiles(SplitMergeHost& host, const std::string& indexPath) {
    auto report = [&](const std::string& text) {
        host.showMessage(text, kJoinErrorTitle, MessageIcon::Warning);
        return Outcome::Failed;
    };

    std::string indexText;
    if (auto error = readWhole(indexPath, indexText)) return report(error->message());
    const std::vector<std::string> entries = ParseIndex(indexText);
    indexText = std::string();

    const std::string rebuiltPath = RebuiltPath(host.outputFolder(), indexPath);
    Pacer pacer(host);
    // The rebuilt file must not replace a file this join reads from.
    const tessaly::FileIdentity rebuiltFile(rebuiltPath);
    if (rebuiltFile.sameAs(indexPath)) {
        return report("Cannot join into " + rebuiltPath + ": it is the index file itself. Choose another output folder.");
    }
    for (const std::string& entry : entries) {
        if (rebuiltFile.sameAs(entry)) {
            return report("Cannot join into " + rebuiltPath + ": it is the listed piece " + entry +
                          ". Choose another output folder.");
        }
        if (!pacer.tick()) return Outcome::Stopped;
    }

    // The result is built in a temporary file beside the rebuilt path and
    // moved onto it at the end, so an existing file there is replaced only
    // by a finished result.
    const bool replacing = tessaly::pathExists(rebuiltPath);
    std::string tempPath;
    std::error_code ec;
    File out = createTemporary(tessaly::folderPart(rebuiltPath), tempPath, ec);
    if (ec) return report(IoError{"create", rebuiltPath, ec}.message());
    auto abandon = [&](const Step& step) {
        out.close();
        tessaly::removeQuietly(tempPath);
        return step.stopped ? Outcome::Stopped : report(step.error->message());
    };

    const auto count = static_cast<std::int64_t>(entries.size());
    host.setProgressValue(0);
    host.setProgressMaximum(count);
    std::int64_t written = 0;
    for (std::int64_t k = 1; k <= count; ++k) {
        if (!pacer.tick()) return abandon(Step{true, std::nullopt});
        const std::string& entry = entries[static_cast<std::size_t>(k - 1)];
        if (!tessaly::isPresentFile(entry)) {
            host.setProgressValue(host.progressMaximum());
            // What was joined so far stays under the rebuilt name, unless
            // that would destroy a file that stood there before.
            ec = out.close();
            if (replacing || ec || moveOnto(tempPath, rebuiltPath)) tessaly::removeQuietly(tempPath);
            return report(entry + kMissingPieceSuffix);
        }
        File piece = File::openRead(entry, ec);
        if (ec) return abandon(failed({"open", entry, ec}));
        std::int64_t copied = 0;
        const Step step = copyPaced(pacer, piece, entry, 0, out, rebuiltPath, written, -1, copied);
        written += copied;
        if (!step.ok()) return abandon(step);
        host.setProgressValue(k);
    }
    // Where an older file is replaced, the new content must be on the disk
    // before the name points at it.
    if (replacing && (ec = out.sync())) return abandon(failed({"write", rebuiltPath, ec}));
    if ((ec = out.close()) || (ec = moveOnto(tempPath, rebuiltPath))) {
        return abandon(failed({"write", rebuiltPath, ec}));
    }
    host.showMessage(kJoinDoneText, kDoneTitle, MessageIcon::Information);
    return Outcome::Succeeded;
}

} // namespace SplitMergeFile
