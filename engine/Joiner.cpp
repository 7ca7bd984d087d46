// The joiner: rebuilds a file from the pieces its index file lists.
#include <climits>

#include "NamingRules.h"
#include "Paths.h"
#include "RunSupport.h"

namespace SplitMergeFile {

namespace {

using namespace detail;
using tessaly::File;
using tessaly::FileIdentity;
using tessaly::Operation;
using tessaly::PendingFile;

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
            if (next == IndexReader::Next::End) return goOn();
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
                return k - 1 == count_ ? goOn() : failure(Problem::FileChanged, indexPath_);
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
        return goOn();
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

} // namespace

Result JoinFiles(Host& host, const std::string& indexPath, const std::string& outputFolder,
                 AfterMissingPiece afterMissingPiece) {
    return guarded(indexPath, [&] { return Joiner(host, indexPath, outputFolder, afterMissingPiece).run(); });
}

} // namespace SplitMergeFile
