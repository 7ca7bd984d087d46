// The splitter: cuts a source into pieces, then writes their index file.
#include <algorithm>
#include <climits>

#include "NamingRules.h"
#include "Paths.h"
#include "RunSupport.h"

namespace SplitMergeFile {

namespace {

using namespace detail;
using tessaly::File;
using tessaly::FileErrc;
using tessaly::FileIdentity;
using tessaly::Operation;
using tessaly::PendingFile;

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
                if (*got == 0) return tessaly::make_error_code(FileErrc::EndedEarly);
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
            // A piece that cannot be removed stays; without an index it is
            // no set, and the run's own outcome is what the user hears of.
            for (std::int64_t k = 1; k <= created_; ++k) {
                (void)tessaly::removeFile(piecePath(folder_, sourcePath_, k));
            }
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
        if (Result r = syncPiecesStillOurs(); ended(r)) return r;
        if (Result r = writeIndex(); ended(r)) return r;
        finished_ = true;
        return goOn();
    }

private:
    Result openSource() {
        if (Result r = source_.open(sourcePath_); ended(r)) return r;
        length_ = source_.before().size;
        count_ = length_ / chunk_ + (length_ % chunk_ != 0 ? 1 : 0);
        return goOn();
    }

    // Refuses outputs that an index file could not list, or that would
    // replace the source itself.
    Result checkOutputPaths() {
        // Digits follow "_splt", so a CR LF can only stand before them.
        const std::string prefix = folder_ + tessaly::baseName(sourcePath_) + std::string(kPieceInfix);
        if (prefix.find(kLineEnd) != std::string::npos) {
            return failure(Problem::PathHoldsLineBreak, sourcePath_, piecePath(folder_, sourcePath_, 1));
        }
        // What stands at an output path is looked at: the source, or
        // something that cannot be examined, ends the search.
        std::string found;
        Result examined = goOn();
        auto isSource = [&](const std::string& path) {
            const auto status = tessaly::statusOfPath(path);
            if (status && sameFile(*status, source_.before())) found = path;
            if (!status && !isAbsence(status.error())) examined = fileFailure(Operation::Create, path, status.error());
            return !found.empty() || ended(examined);
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
        } else if (!isAbsence(existing.error())) {
            // A folder that can be entered but not listed: each output path
            // is asked about in turn, in fixed memory.
            for (std::int64_t k = 0; k <= count_ && !isSource(k == 0 ? indexPath_ : piecePath(folder_, sourcePath_, k));
                 ++k) {
                if (!pacer_.tick()) return stopped();
            }
        }
        if (ended(examined)) return examined;
        if (!found.empty()) return failure(Problem::WouldOverwriteSource, sourcePath_, found);
        return goOn();
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
        return goOn();
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
        // Its writeback starts now; it is waited for once every piece is
        // written, by when it has mostly happened, and all of it at once.
        piece->startFlush();
        if (const std::error_code ec = piece->close()) return fileFailure(Operation::Write, path, ec);
        progress_.pieces = k;
        report();
        host_.pieceDone(path);
        return pacer_.tick() ? goOn() : stopped();
    }

    // Another run into the same folder, or anyone else, may have replaced or
    // rewritten pieces since they were written: an index must not list a
    // set that is not this one. Each piece is opened again to be told, and
    // put on the disk while it is open; waiting for all of them in one pass
    // lets the file system commit their names together.
    Result syncPiecesStillOurs() {
        std::uint64_t now = 0;
        for (std::int64_t k = 1; k <= count_; ++k) {
            const std::string path = piecePath(folder_, sourcePath_, k);
            auto piece = File::openToSync(path);
            // A piece gone is a piece changed; one that cannot be opened
            // is told with the system's reason.
            if (!piece && isAbsence(piece.error())) return failure(Problem::PiecesChanged, sourcePath_);
            if (!piece) return fileFailure(Operation::Open, path, piece.error());
            const auto status = piece->status();
            if (!status) return fileFailure(Operation::Open, path, status.error());
            foldPiece(now, *status);
            std::error_code ec = piece->syncData();
            if (!ec) ec = piece->close();
            if (ec) return fileFailure(Operation::Write, path, ec);
            if (!pacer_.tick()) return stopped();
        }
        return now == written_ ? goOn() : failure(Problem::PiecesChanged, sourcePath_);
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
        // The pieces, their names and the index are on the disk before the
        // index takes its name, and that name after: after a crash, an index
        // never lists pieces that were lost. Only this run's own files are
        // waited for, however busy the disk is with others'.
        if (const std::error_code ec = index->file().syncData()) return fileFailure(Operation::Write, indexPath_, ec);
        const std::string folder = tessaly::folderPart(indexPath_);
        if (const std::error_code ec = tessaly::syncFolder(folder)) return fileFailure(Operation::Write, folder, ec);
        // An index whose name may not last a crash is no promise of a set:
        // it goes, with the pieces, and the run fails.
        return commitDurably(*index, indexPath_, false);
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

} // namespace

Result SplitFile(Host& host, const std::string& sourcePath, std::int64_t chunkSize, const std::string& outputFolder) {
    return guarded(sourcePath, [&] { return Splitter(host, sourcePath, chunkSize, outputFolder).run(); });
}

} // namespace SplitMergeFile
