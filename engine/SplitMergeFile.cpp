#include "SplitMergeFile.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <new>
#include <vector>

#include "Paths.h"

namespace SplitMergeFile {

namespace {

using tessaly::CopySide;
using tessaly::File;
using tessaly::FileErrc;
using tessaly::FileIdentity;
using tessaly::Operation;
using tessaly::PendingFile;
using Clock = std::chrono::steady_clock;

// Copies go in slices sized to take 5 to 15 ms each, so that event passes
// come on time on slow disks and system calls stay few on fast ones.
constexpr std::int64_t kFirstSliceBytes = std::int64_t{4} << 20;
constexpr std::int64_t kSmallestSliceBytes = std::int64_t{1} << 20;
constexpr std::int64_t kLargestSliceBytes = std::int64_t{256} << 20;
constexpr auto kShortSlice = std::chrono::milliseconds(5);
constexpr auto kLongSlice = std::chrono::milliseconds(15);
// Work time after which pending events run again. Well under the 50 ms
// after which a window feels stuck.
constexpr auto kEventPassInterval = std::chrono::milliseconds(20);

constexpr std::string_view kIndexSuffix = ".splt";
constexpr std::string_view kPieceInfix = "_splt";
constexpr std::string_view kLineEnd = "\r\n";

Result failure(Problem problem, std::string path, std::string other = {}) {
    Result r;
    r.status = Status::Failed;
    r.problem = problem;
    r.path = std::move(path);
    r.other = std::move(other);
    return r;
}

Result fileFailure(Operation operation, const std::string& path, std::error_code code) {
    Result r = failure(Problem::FileOperation, path);
    r.io = {operation, path, code};
    return r;
}

Result stopped() {
    Result r;
    r.status = Status::Stopped;
    return r;
}

// True when a step ended the run (failed or stopped); a Succeeded result
// from a step means "go on".
bool ended(const Result& r) { return r.status != Status::Succeeded; }

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// True when `word` stands in `text` at `at`, letter case ignored.
bool startsWithIgnoringCase(std::string_view text, std::size_t at, std::string_view word) {
    if (at > text.size() || text.size() - at < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (asciiLower(text[at + i]) != asciiLower(word[i])) return false;
    }
    return true;
}

// Lets the host's pending events run often enough to keep a window
// responsive, measured in time rather than in pieces, and asks whether to go on.
class Pacer {
public:
    explicit Pacer(Host& host) : host_(host), last_(Clock::now()) {}

    // Runs an event pass when the next slice of work would end past its
    // time. False once the host wants the run to stop.
    bool tick() {
        if (Clock::now() - last_ + lastSlice_ < kEventPassInterval) return true;
        host_.processEvents();
        last_ = Clock::now();
        return host_.keepGoing();
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
    Host& host_;
    Clock::time_point last_;
    std::int64_t slice_ = kFirstSliceBytes;
    Clock::duration lastSlice_{};
};

// A file a run reads, with what the system said of it when it was opened,
// so that a change while it is read can be told.
class WatchedFile {
public:
    Result open(const std::string& path) {
        path_ = path;
        auto file = File::openRead(path);
        if (!file) return fileFailure(Operation::Open, path, file.error());
        file_ = std::move(*file);
        const auto status = file_.status();
        if (!status) return fileFailure(Operation::Read, path, status.error());
        before_ = *status;
        return {};
    }

    File& file() { return file_; }
    const tessaly::FileStatus& before() const { return before_; }
    void close() { file_.close(); }

    // Fails when the file has changed since it was opened: another size or
    // time, or bytes past the size it had (files whose size tells nothing,
    // as in /proc, are caught that way too).
    Result checkUnchanged() {
        char past = 0;
        const auto more = file_.readAt(&past, 1, before_.size);
        if (!more) return fileFailure(Operation::Read, path_, more.error());
        const auto now = file_.status();
        if (!now) return fileFailure(Operation::Read, path_, now.error());
        if (*more > 0 || now->size != before_.size || now->modified != before_.modified ||
            now->changed != before_.changed) {
            return failure(Problem::FileChanged, path_);
        }
        return {};
    }

private:
    std::string path_;
    File file_;
    tessaly::FileStatus before_;
};

// Folds what the system says of a file into a running digest, so that what
// two passes over a set of any size saw can be compared in fixed memory.
void fold(std::uint64_t& digest, std::initializer_list<std::uint64_t> values) {
    for (const std::uint64_t v : values) {
        digest = (digest ^ v) * 0x100000001b3ULL;
        digest ^= digest >> 29;
    }
}

void foldFile(std::uint64_t& digest, const tessaly::FileStatus& s) {
    fold(digest, {s.device, s.inode, static_cast<std::uint64_t>(s.size), static_cast<std::uint64_t>(s.modified),
                  static_cast<std::uint64_t>(s.changed)});
}

// The permissions of files made from others: read and write as the
// originals allow, never execute.
unsigned dataPermissions(unsigned original) { return original & tessaly::kDefaultPermissions; }

// What a split and a join share: the host, its pacing and the progress.
class Run {
protected:
    explicit Run(Host& host) : host_(host), pacer_(host) {}

    void report() { host_.progress(progress_); }

    // Copies exactly `length` bytes from `in` to `out`, a slice at a time,
    // reporting progress and letting events run between slices.
    Result copy(File& in, const std::string& inPath, std::int64_t inOffset, File& out, const std::string& outPath,
                std::int64_t outOffset, std::int64_t length) {
        for (std::int64_t copied = 0; copied < length;) {
            const std::int64_t slice = pacer_.sliceBytes();
            const std::int64_t want = std::min(slice, length - copied);
            const auto started = Clock::now();
            const tessaly::CopyResult r = tessaly::copyBytes(in, inOffset + copied, out, outOffset + copied, want);
            if (r.copied == slice) pacer_.sliceTook(Clock::now() - started);
            copied += r.copied;
            progress_.bytes += r.copied;
            if (r.failed == CopySide::Read) return fileFailure(Operation::Read, inPath, r.code);
            if (r.failed == CopySide::Write) return fileFailure(Operation::Write, outPath, r.code);
            if (r.copied < want) return fileFailure(Operation::Read, inPath, FileErrc::EndedEarly);
            report();
            if (!pacer_.tick()) return stopped();
        }
        return {};
    }

    Host& host_;
    Pacer pacer_;
    Progress progress_;
};

// Serves the bytes of small pieces from a block of the source read ahead,
// so a split into thousands of tiny pieces reads the source once per block
// rather than once per piece. Larger pieces are copied by Run::copy.
class ReadAhead {
public:
    static constexpr std::int64_t kBlockBytes = std::int64_t{1} << 20;
    static constexpr std::int64_t kLargestPiece = std::int64_t{64} << 10;

    explicit ReadAhead(File& source) : source_(source) {}

    // The `size` bytes of the source from `offset` on; pieces are asked for
    // in file order.
    tessaly::Expected<const char*> bytes(std::int64_t offset, std::int64_t size) {
        if (offset + size > start_ + filled_) {
            if (block_.empty()) block_.resize(kBlockBytes);
            start_ = offset;
            filled_ = 0;
            while (filled_ < size) {
                const auto got = source_.readAt(block_.data() + filled_, static_cast<std::size_t>(kBlockBytes - filled_),
                                                start_ + filled_);
                if (!got) return got.error();
                if (*got == 0) return make_error_code(FileErrc::EndedEarly);
                filled_ += *got;
            }
        }
        return block_.data() + (offset - start_);
    }

private:
    File& source_;
    std::vector<char> block_;
    std::int64_t start_ = 0;
    std::int64_t filled_ = 0;
};

// Cuts a source into pieces, then writes the index file. Pieces it created
// are removed again when the run does not finish, however it ends.
class Splitter : Run {
public:
    Splitter(Host& host, const std::string& source, std::int64_t chunk, const std::string& folder)
        : Run(host), sourcePath_(source), chunk_(chunk), folder_(folder), indexPath_(indexPath(folder, source)) {}

    ~Splitter() {
        if (finished_) return;
        source_.close();
        try {
            for (std::int64_t k = 1; k <= created_; ++k) tessaly::removeFile(piecePath(folder_, sourcePath_, k));
        } catch (...) {
            // Out of memory while cleaning up: what is left cannot be helped.
        }
    }

    Result run() {
        if (chunk_ < 1) return failure(Problem::ChunkSizeBelowOne, sourcePath_);
        if (Result r = openSource(); ended(r)) return r;
        if (Result r = checkOutputPaths(); ended(r)) return r;
        if (Result r = removeFormerIndex(); ended(r)) return r;
        progress_ = {0, count_, 0, length_};
        report();
        ReadAhead readAhead(source_.file());
        for (std::int64_t k = 1; k <= count_; ++k) {
            if (Result r = writePiece(k, readAhead); ended(r)) return r;
        }
        // A source that grew, shrank or was rewritten while it was read gives
        // pieces of no one version of it.
        if (Result r = source_.checkUnchanged(); ended(r)) return r;
        source_.close();
        if (Result r = checkPiecesStillOurs(); ended(r)) return r;
        if (Result r = writeIndex(); ended(r)) return r;
        finished_ = true;
        return {};
    }

private:
    Result openSource() {
        if (Result r = source_.open(sourcePath_); ended(r)) return r;
        length_ = source_.before().size;
        count_ = length_ / chunk_ + (length_ % chunk_ != 0 ? 1 : 0);
        return {};
    }

    // Refuses outputs that an index file could not list, or that would
    // replace the source itself.
    Result checkOutputPaths() {
        // Digits follow "_splt", so a CR LF can only stand before them.
        const std::string prefix = folder_ + tessaly::baseName(sourcePath_) + std::string(kPieceInfix);
        if (prefix.find(kLineEnd) != std::string::npos) {
            return failure(Problem::PathHoldsLineBreak, sourcePath_, piecePath(folder_, sourcePath_, 1));
        }
        const FileIdentity source(sourcePath_);
        std::string found;
        auto isSource = [&](const std::string& path) {
            if (FileIdentity(path) == source) found = path;
            return !found.empty();
        };
        // Only outputs that already exist can be the source, so one listing
        // of the output folder narrows the search to them. The match ignores
        // letter case, to be safe on file systems that do.
        const std::string directory = tessaly::folderPart(prefix);
        const std::string namePrefix = prefix.substr(directory.size(), prefix.size() - directory.size() - kPieceInfix.size());
        auto isOutputName = [&](const std::string& name) { return outputNumber(name, namePrefix) >= 0; };
        const auto existing = tessaly::listFolder(directory, isOutputName);
        if (existing) {
            for (const std::string& path : *existing) {
                if (isSource(path)) break;
                if (!pacer_.tick()) return stopped();
            }
        } else if (existing.error() != std::errc::no_such_file_or_directory &&
                   existing.error() != std::errc::not_a_directory) {
            // A folder that can be entered but not listed: each output path
            // is asked about in turn, in fixed memory.
            for (std::int64_t k = 0; k <= count_ && !isSource(k == 0 ? indexPath_ : piecePath(folder_, sourcePath_, k));
                 ++k) {
                if (!pacer_.tick()) return stopped();
            }
        }
        if (!found.empty()) return failure(Problem::WouldOverwriteSource, sourcePath_, found);
        return {};
    }

    // 0 for the index file's name, k for piece k of this run, -1 for any
    // other name; letter case ignored.
    std::int64_t outputNumber(const std::string& name, const std::string& namePrefix) const {
        if (!startsWithIgnoringCase(name, 0, namePrefix)) return -1;
        const std::string_view rest = std::string_view(name).substr(namePrefix.size());
        if (rest.size() == kIndexSuffix.size() && startsWithIgnoringCase(rest, 0, kIndexSuffix)) return 0;
        if (!startsWithIgnoringCase(rest, 0, kPieceInfix)) return -1;
        const std::string_view digits = rest.substr(kPieceInfix.size());
        if (digits.empty() || digits.size() > 18 || digits[0] == '0') return -1;
        std::int64_t k = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') return -1;
            k = k * 10 + (c - '0');
        }
        return k <= count_ ? k : -1;
    }

    // An index file of an earlier split goes first, so that a run that
    // fails or is killed part-way never leaves it listing a mix of old and
    // new pieces. Whatever else stands there (a folder) fails the run now.
    Result removeFormerIndex() {
        if (const std::error_code ec = tessaly::removeFile(indexPath_)) {
            return fileFailure(Operation::Create, indexPath_, ec);
        }
        return {};
    }

    Result writePiece(std::int64_t k, ReadAhead& readAhead) {
        const std::string path = piecePath(folder_, sourcePath_, k);
        auto piece = File::createFresh(path, dataPermissions(source_.before().permissions));
        if (!piece) return fileFailure(Operation::Create, path, piece.error());
        created_ = k;
        const std::int64_t offset = (k - 1) * chunk_;
        const std::int64_t size = std::min(chunk_, length_ - offset);
        if (chunk_ <= ReadAhead::kLargestPiece) {
            const auto bytes = readAhead.bytes(offset, size);
            if (!bytes) return fileFailure(Operation::Read, sourcePath_, bytes.error());
            if (const std::error_code ec = piece->writeAt(*bytes, static_cast<std::size_t>(size), 0)) {
                return fileFailure(Operation::Write, path, ec);
            }
            progress_.bytes += size;
        } else if (Result r = copy(source_.file(), sourcePath_, offset, *piece, path, 0, size); ended(r)) {
            return r;
        }
        const auto written = piece->status();
        if (!written) return fileFailure(Operation::Write, path, written.error());
        foldPiece(written_, *written);
        // Small pieces are left to the one flush before the index.
        if (size >= ReadAhead::kBlockBytes) piece->startFlush();
        if (const std::error_code ec = piece->close()) return fileFailure(Operation::Write, path, ec);
        progress_.pieces = k;
        report();
        host_.pieceDone(path);
        return pacer_.tick() ? Result{} : stopped();
    }

    // Another run into the same folder, or anyone else, may have replaced or
    // rewritten pieces since they were written: an index must not list a
    // set that is not this one.
    Result checkPiecesStillOurs() {
        std::uint64_t now = 0;
        for (std::int64_t k = 1; k <= count_; ++k) {
            foldPiece(now, FileIdentity(piecePath(folder_, sourcePath_, k)).status());
            if (!pacer_.tick()) return stopped();
        }
        return now == written_ ? Result{} : failure(Problem::PiecesChanged, sourcePath_);
    }

    static void foldPiece(std::uint64_t& digest, const tessaly::FileStatus& s) {
        fold(digest, {s.device, s.inode, static_cast<std::uint64_t>(s.size), static_cast<std::uint64_t>(s.modified)});
    }

    // One line per piece, each its path and CR LF, formed again from the
    // piece numbers and written through a fixed buffer, so memory does not
    // grow with the number of pieces. The file takes its name only once
    // it is complete.
    Result writeIndex() {
        auto index = PendingFile::create(indexPath_, dataPermissions(source_.before().permissions));
        if (!index) return fileFailure(Operation::Create, indexPath_, index.error());
        constexpr std::size_t kFlushAt = 1 << 16;
        std::string buffer;
        std::int64_t written = 0;
        auto flush = [&] {
            const std::error_code ec = index->file().writeAt(buffer.data(), buffer.size(), written);
            written += static_cast<std::int64_t>(buffer.size());
            buffer.clear();
            return ec;
        };
        for (std::int64_t k = 1; k <= count_; ++k) {
            buffer += piecePath(folder_, sourcePath_, k);
            buffer += kLineEnd;
            if (buffer.size() < kFlushAt) continue;
            if (const std::error_code ec = flush()) return fileFailure(Operation::Write, indexPath_, ec);
            if (!pacer_.tick()) return stopped();
        }
        if (const std::error_code ec = flush()) return fileFailure(Operation::Write, indexPath_, ec);
        // The pieces and the index are on the disk before the index takes
        // its name: after a crash, an index never lists pieces that were lost.
        if (const std::error_code ec = tessaly::flushFileSystem(index->file())) {
            return fileFailure(Operation::Write, indexPath_, ec);
        }
        if (const std::error_code ec = index->commitReplacing()) return fileFailure(Operation::Write, indexPath_, ec);
        return {};
    }

    const std::string& sourcePath_;
    const std::int64_t chunk_;
    const std::string& folder_;
    const std::string indexPath_;
    WatchedFile source_;
    std::int64_t length_ = 0, count_ = 0, created_ = 0;
    std::uint64_t written_ = 0; // the pieces this run wrote, folded
    bool finished_ = false;
};

// Rebuilds a file from the pieces an index file lists. The index is read
// twice through a fixed buffer: first to check every entry before anything
// is created, then to join. The result is built in a pending file that
// takes the rebuilt name only at the end.
class Joiner : Run {
public:
    Joiner(Host& host, const std::string& index, const std::string& folder, AfterMissingPiece afterMissingPiece)
        : Run(host), indexPath_(index), folder_(folder), afterMissingPiece_(afterMissingPiece) {}

    Result run() {
        const std::string name = rebuiltName(indexPath_);
        if (name.empty() || name == "." || name == "..") return failure(Problem::NoRebuiltName, indexPath_);
        rebuiltPath_ = folder_ + name;
        if (Result r = index_.open(indexPath_); ended(r)) return r;
        // A folder, device or FIFO at the rebuilt path is refused before
        // any work, rather than found in the way at the end.
        if (const std::error_code ec = tessaly::replaceProblem(rebuiltPath_)) {
            return fileFailure(Operation::Create, rebuiltPath_, ec);
        }
        if (Result r = checkEntries(); ended(r)) return r;
        const FileIdentity former(rebuiltPath_);
        const bool replacing = tessaly::pathExists(rebuiltPath_);
        // Readable by no one the pieces, or a file it replaces, kept out.
        const unsigned permissions = former.exists() ? permissions_ & former.status().permissions : permissions_;
        auto out = PendingFile::create(rebuiltPath_, dataPermissions(permissions));
        if (!out) return fileFailure(Operation::Create, rebuiltPath_, out.error());
        progress_ = {0, count_, 0, byteCount_};
        report();
        if (Result r = appendPieces(*out, replacing); ended(r)) return r;
        if (Result r = index_.checkUnchanged(); ended(r)) return r;
        // Pieces replaced after the first pass looked at them, as by a new
        // split into their folder, would join into a mix of two sets.
        if (appended_ != listed_) return failure(Problem::PiecesChanged, indexPath_);
        return commit(*out);
    }

private:
    IndexReader reader() {
        return IndexReader([this, offset = std::int64_t{0}](char* buffer, std::size_t size) mutable -> std::int64_t {
            const auto got = index_.file().readAt(buffer, size, offset);
            if (!got) {
                readError_ = got.error();
                return -1;
            }
            offset += *got;
            return *got;
        });
    }

    // Counts the entries and their bytes, refuses a damaged index, and
    // refuses a rebuilt path that names the index or a listed piece: the
    // result would replace a file that this join reads.
    Result checkEntries() {
        const FileIdentity rebuilt(rebuiltPath_);
        if (FileIdentity(indexPath_) == rebuilt) {
            return failure(Problem::RebuiltIsIndex, rebuiltPath_);
        }
        IndexReader entries = reader();
        IndexReader::Entry entry;
        for (;;) {
            const IndexReader::Next next = entries.next(entry);
            if (next == IndexReader::Next::ReadFailed) return fileFailure(Operation::Read, indexPath_, readError_);
            if (next == IndexReader::Next::End) return {};
            if (entry.damage) {
                Result r = failure(Problem::IndexDamaged, indexPath_);
                r.line = entry.line;
                r.damage = *entry.damage;
                return r;
            }
            const std::string path = tessaly::indexEntryPath(entry.path);
            const FileIdentity piece(path);
            if (piece == rebuilt) return failure(Problem::RebuiltIsPiece, rebuiltPath_, path);
            if (++count_ == 1 && piece.exists()) permissions_ = piece.status().permissions;
            foldFile(listed_, piece.status());
            // Only a count for the progress shown: sets beyond any file size
            // fail once written, and the count stops at the largest number.
            byteCount_ = byteCount_ > INT64_MAX - piece.size() ? INT64_MAX : byteCount_ + piece.size();
            if (!pacer_.tick()) return stopped();
        }
    }

    Result appendPieces(PendingFile& out, bool replacing) {
        IndexReader entries = reader();
        IndexReader::Entry entry;
        for (std::int64_t k = 1;; ++k) {
            const IndexReader::Next next = entries.next(entry);
            if (next == IndexReader::Next::ReadFailed) return fileFailure(Operation::Read, indexPath_, readError_);
            if (next == IndexReader::Next::End) {
                return k - 1 == count_ ? Result{} : failure(Problem::FileChanged, indexPath_);
            }
            if (k > count_ || entry.damage) return failure(Problem::FileChanged, indexPath_);
            if (!pacer_.tick()) return stopped();
            const std::string path = tessaly::indexEntryPath(entry.path);
            if (!tessaly::isPresentFile(path)) return missingPiece(path, out, replacing);
            if (Result r = appendPiece(path, out.file()); ended(r)) return r;
            out.file().startFlush();
            progress_.pieces = k;
            report();
            host_.pieceDone(path);
        }
    }

    // Appends exactly the bytes the piece held when it was opened, and
    // makes sure it held still meanwhile.
    Result appendPiece(const std::string& path, File& out) {
        WatchedFile piece;
        if (Result r = piece.open(path); ended(r)) return r;
        foldFile(appended_, piece.before());
        // What was appended so far is where this piece goes.
        const std::int64_t at = progress_.bytes;
        if (Result r = copy(piece.file(), path, 0, out, rebuiltPath_, at, piece.before().size); ended(r)) return r;
        return piece.checkUnchanged();
    }

    // The bar shows full while the user reads about the missing piece. What
    // was joined so far stays under the rebuilt name, unless a file stood
    // there before: that one is kept and the partial result dropped.
    Result missingPiece(const std::string& path, PendingFile& out, bool replacing) {
        progress_ = {count_, count_, byteCount_, byteCount_};
        report();
        if (!replacing && afterMissingPiece_ == AfterMissingPiece::KeepJoined) {
            // Kept only where the name is still free; when it cannot be
            // kept, the missing piece is still what the user must hear of.
            (void)out.commitIfFree();
        }
        return failure(Problem::MissingPiece, path);
    }

    // The result is on the disk before it takes its name, so that a crash
    // can leave neither an empty file where an older one was, nor an empty
    // rebuilt file after its pieces were deleted.
    Result commit(PendingFile& out) {
        if (const std::error_code ec = out.file().sync()) return fileFailure(Operation::Write, rebuiltPath_, ec);
        if (const std::error_code ec = out.commitReplacing()) return fileFailure(Operation::Write, rebuiltPath_, ec);
        return {};
    }

    const std::string& indexPath_;
    const std::string& folder_;
    const AfterMissingPiece afterMissingPiece_;
    std::string rebuiltPath_;
    WatchedFile index_;
    std::error_code readError_;
    std::int64_t count_ = 0, byteCount_ = 0;
    // What the first pass saw of the listed pieces, and what the join
    // opened, folded; and the first piece's permissions.
    std::uint64_t listed_ = 0, appended_ = 0;
    unsigned permissions_ = tessaly::kDefaultPermissions;
};

// Exceptions stop at the engine's edge: the run's own objects have cleaned
// up on the way out, and the caller gets a failure like any other.
template <class Body>
Result guarded(const std::string& subject, Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return failure(Problem::Unexpected, subject, "not enough memory");
    } catch (const std::exception& e) {
        return failure(Problem::Unexpected, subject, e.what());
    } catch (...) {
        return failure(Problem::Unexpected, subject, "an unexpected error");
    }
}

} // namespace

bool isPartOfPieceSet(std::string_view path) {
    return path.find(kIndexSuffix) != std::string_view::npos || path.find(kPieceInfix) != std::string_view::npos;
}

bool isLargerThanOnePiece(std::int64_t fileSize, std::int64_t chunkSize) { return fileSize > chunkSize; }

std::string piecePath(const std::string& outputFolder, const std::string& sourcePath, std::int64_t pieceNumber) {
    return outputFolder + tessaly::baseName(sourcePath) + std::string(kPieceInfix) + std::to_string(pieceNumber);
}

std::string indexPath(const std::string& outputFolder, const std::string& sourcePath) {
    return outputFolder + tessaly::baseName(sourcePath) + std::string(kIndexSuffix);
}

std::string rebuiltName(const std::string& indexPath) {
    const std::string base = tessaly::baseName(indexPath);
    std::string name;
    name.reserve(base.size());
    for (std::size_t i = 0; i < base.size();) {
        if (startsWithIgnoringCase(base, i, kIndexSuffix)) {
            i += kIndexSuffix.size();
        } else {
            name += base[i++];
        }
    }
    return name;
}

std::string rebuiltPath(const std::string& outputFolder, const std::string& indexPath) {
    return outputFolder + rebuiltName(indexPath);
}

IndexReader::IndexReader(Read read) : read_(std::move(read)) {}

bool IndexReader::refill() {
    constexpr std::size_t kBlockBytes = 1 << 16;
    if (buffer_.empty()) buffer_.resize(kBlockBytes);
    const std::int64_t got = read_(buffer_.data(), buffer_.size());
    if (got < 0) failed_ = true;
    start_ = 0;
    end_ = got > 0 ? static_cast<std::size_t>(got) : 0;
    return got > 0;
}

IndexReader::Next IndexReader::next(Entry& entry) {
    // The entry's bytes are kept up to one past the longest entry, so that a
    // CR before the LF can still be dropped; longer ones are only counted.
    if (stopped_) return Next::End;
    entry_.clear();
    std::size_t length = 0;
    bool nul = false, lastWasCr = false;
    auto take = [&](const char* bytes, std::size_t n) {
        nul = nul || std::memchr(bytes, '\0', n) != nullptr;
        const std::size_t room = kLongestEntry + 1 - std::min(entry_.size(), kLongestEntry + 1);
        entry_.append(bytes, std::min(n, room));
        length += n;
        lastWasCr = bytes[n - 1] == '\r';
    };
    auto finish = [&](std::size_t size) {
        entry = Entry{};
        entry.line = ++line_;
        if (size == 0) {
            entry.damage = Damage::Empty;
        } else if (nul) {
            entry.damage = Damage::HoldsNul;
            stopped_ = true;
        } else if (size > kLongestEntry) {
            entry.damage = Damage::TooLong;
            stopped_ = true;
        } else {
            entry.path = std::string_view(entry_).substr(0, size);
        }
        return Next::Entry;
    };
    for (;;) {
        // A damaged entry is told at once, without reading on to its end: a
        // huge file of zeros must not be read through before it is refused.
        // The reader stops there.
        if (nul || length > kLongestEntry + 1) return finish(length);
        if (start_ == end_ && !refill()) {
            if (failed_) return Next::ReadFailed;
            // Text after the last CR LF is an entry when there is any.
            return length == 0 ? Next::End : finish(length);
        }
        const char* bytes = buffer_.data() + start_;
        const std::size_t available = end_ - start_;
        const auto* lf = static_cast<const char*>(std::memchr(bytes, '\n', available));
        const std::size_t before = lf != nullptr ? static_cast<std::size_t>(lf - bytes) : available;
        if (before > 0) take(bytes, before);
        start_ += before;
        if (lf == nullptr) continue;
        ++start_;
        if (lastWasCr) return finish(length - 1);
        take("\n", 1); // a lone LF belongs to the entry
    }
}

Result SplitFile(Host& host, const std::string& sourcePath, std::int64_t chunkSize, const std::string& outputFolder) {
    return guarded(sourcePath, [&] { return Splitter(host, sourcePath, chunkSize, outputFolder).run(); });
}

Result JoinFiles(Host& host, const std::string& indexPath, const std::string& outputFolder,
                 AfterMissingPiece afterMissingPiece) {
    return guarded(indexPath, [&] { return Joiner(host, indexPath, outputFolder, afterMissingPiece).run(); });
}

} // namespace SplitMergeFile
