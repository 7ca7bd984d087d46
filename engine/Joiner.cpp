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
        const bool replacing = tessaly::pathExists(rebuiltPath_);
        // Whoever may not read the first piece, or the file being replaced,
        // may not read the result either; a file whose permissions cannot
        // be read is not replaced, lest its contents become readable to more.
        unsigned permissions = permissions_;
        if (const auto former = tessaly::statusOfPath(rebuiltPath_)) {
            permissions &= former->permissions;
        } else if (!isAbsence(former.error())) {
            return fileFailure(Operation::Create, rebuiltPath_, former.error());
        }
        auto out = PendingFile::create(rebuiltPath_, dataPermissions(permissions));
        if (!out) return fileFailure(Operation::Create, rebuiltPath_, out.error());
        progress_ = {0, count_, 0, byteCount_};
        report();
        if (Result r = appendPieces(*out, replacing); ended(r)) return r;
        if (Result r = index_.checkUnchanged(); ended(r)) return r;
        // Pieces replaced after the first pass looked at them, as by a new
        // split into their folder, would join into a mix of two sets.
        if (appended_ != listed_) return failure(Problem::PiecesChanged, indexPath_);
        return commit(*out, replacing);
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

    // Where a listed piece was found: at the path the index lists, under
    // its file name beside the index file (a set that was moved, or written
    // on another system), or nowhere; `path` is where it was found, or
    // where it was looked for beside the index file.
    enum class Found { AsListed, Beside, Nowhere };
    struct Location {
        Found found = Found::Nowhere;
        std::string path;
    };

    // Finds the piece an entry names: first as listed; only when nothing is
    // there, under the entry's file name (the text after its last "\" or
    // "/", on every system) in the index file's own folder. A place that
    // cannot be examined fails the run with the system's reason.
    Result locate(const std::string& listed, Location& where) {
        where = {Found::Nowhere, listed};
        const auto asListed = tessaly::presenceOf(listed);
        if (!asListed) return fileFailure(Operation::Open, listed, asListed.error());
        if (*asListed == tessaly::Presence::Present) {
            where.found = Found::AsListed;
            return goOn();
        }
        const std::string name = entryFileName(listed);
        // Beside the index is where it was listed already, however spelled.
        if (name == tessaly::baseName(listed) && isInIndexFolder(listed)) return goOn();
        const std::string beside = tessaly::folderPart(indexPath_) + name;
        where.path = beside;
        const auto besideIndex = tessaly::presenceOf(beside);
        if (!besideIndex) return fileFailure(Operation::Open, beside, besideIndex.error());
        if (*besideIndex == tessaly::Presence::Present) where.found = Found::Beside;
        return goOn();
    }

    static std::string entryFileName(const std::string& listed) {
        const std::size_t cut = listed.find_last_of("\\/");
        return cut == std::string::npos ? listed : listed.substr(cut + 1);
    }

    // Refuses a set whose pieces were found partly as listed and partly
    // beside the index file, in another folder: the two may be parts of
    // different sets, and joined they would pass for one.
    Result checkOneFolder(const Location& where) {
        if (where.found == Found::Beside) {
            if (firstBeside_.empty()) firstBeside_ = where.path;
        } else if (where.found == Found::AsListed && firstElsewhere_.empty() && !isInIndexFolder(where.path)) {
            firstElsewhere_ = where.path;
        }
        if (firstBeside_.empty() || firstElsewhere_.empty()) return goOn();
        return failure(Problem::PiecesInTwoFolders, firstElsewhere_, firstBeside_);
    }

    // True when `path` lies in the index file's folder, however either is
    // spelled. Pieces of a set share a folder, so the last answer is kept.
    bool isInIndexFolder(const std::string& path) {
        const std::string folder = tessaly::folderPart(path);
        if (folder != lastFolder_ || !lastFolderKnown_) {
            const auto asFolder = [](const std::string& f) { return f.empty() ? std::string(".") : f; };
            lastFolder_ = folder;
            lastFolderKnown_ = true;
            lastFolderIsIndexFolder_ = tessaly::FileIdentity(asFolder(folder)) ==
                                       tessaly::FileIdentity(asFolder(tessaly::folderPart(indexPath_)));
        }
        return lastFolderIsIndexFolder_;
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
            Location where;
            if (Result r = locate(tessaly::indexEntryPath(entry.path), where); ended(r)) return r;
            if (Result r = checkOneFolder(where); ended(r)) return r;
            ++count_;
            // A missing piece is told when the join reaches it, after the
            // pieces before it.
            if (where.found != Found::Nowhere) {
                const auto piece = tessaly::statusOfPath(where.path);
                if (!piece) return fileFailure(Operation::Open, where.path, piece.error());
                if (rebuilt.exists() && sameFile(*piece, rebuilt.status())) {
                    return failure(Problem::RebuiltIsPiece, rebuiltPath_, where.path);
                }
                if (count_ == 1) permissions_ = piece->permissions;
                foldFile(listed_, *piece);
                // Only a count for the progress shown: sets beyond any file size
                // fail once written, and the count stops at the largest number.
                byteCount_ = byteCount_ > INT64_MAX - piece->size ? INT64_MAX : byteCount_ + piece->size;
            } else {
                foldFile(listed_, tessaly::FileStatus{0, 0, 0, 0, 0, 0, false});
            }
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
            const std::string listed = tessaly::indexEntryPath(entry.path);
            Location where;
            if (Result r = locate(listed, where); ended(r)) return r;
            if (where.found == Found::Nowhere) return missingPiece(listed, where.path, out, replacing);
            const std::string& path = where.path;
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
    // `listed` is the entry as the index lists it, `beside` where it was
    // looked for too ("" when that is the listed path itself).
    Result missingPiece(const std::string& listed, const std::string& beside, PendingFile& out, bool replacing) {
        progress_ = {count_, count_, byteCount_, byteCount_};
        report();
        if (!replacing && afterMissingPiece_ == AfterMissingPiece::KeepJoined) {
            // Kept only where the name is still free; when it cannot be
            // kept, the missing piece is still what the user must hear of.
            (void)out.commitIfFree();
        }
        return failure(Problem::MissingPiece, listed, beside == listed ? std::string() : beside);
    }

    // The result is on the disk before it takes its name, so that a crash
    // can leave neither an empty file where an older one was, nor an empty
    // rebuilt file after its pieces were deleted.
    Result commit(PendingFile& out, bool replacing) {
        if (const std::error_code ec = out.file().syncData()) return fileFailure(Operation::Write, rebuiltPath_, ec);
        // And its name is on the disk before the join says it is done. When
        // that fails, a result that took a free name goes again; one that
        // replaced a file is complete and on the disk, and stays rather than
        // leave neither.
        return commitDurably(out, rebuiltPath_, replacing);
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
    // The first piece found beside the index file, and the first found as
    // listed in another folder; both set means two folders.
    std::string firstBeside_, firstElsewhere_;
    std::string lastFolder_;
    bool lastFolderKnown_ = false, lastFolderIsIndexFolder_ = false;
};

} // namespace

Result JoinFiles(Host& host, const std::string& indexPath, const std::string& outputFolder,
                 AfterMissingPiece afterMissingPiece) {
    return guarded(indexPath, [&] { return Joiner(host, indexPath, outputFolder, afterMissingPiece).run(); });
}

} // namespace SplitMergeFile
