// The split and join engine: piece-set naming, the index file format, the
// splitter and the joiner. Standard C++ only. A run reaches whoever started
// it only through Host (progress, event passes, "keep going?") and returns a
// Result saying how it ended; turning that into words is the front end's job.
//
// Strings are bytes: UTF-8 on every system, handed to the file system as they
// are (on Windows, converted to UTF-16 at the file-system calls).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "File.h"

namespace SplitMergeFile {

// How far a run has got. A split counts the pieces it has written, a join the
// listed pieces it has appended; bytes count what was copied so far.
struct Progress {
    std::int64_t pieces = 0;
    std::int64_t pieceCount = 0;
    std::int64_t bytes = 0;
    std::int64_t byteCount = 0;
};

// What a run needs from its caller while it works.
class Host {
public:
    virtual ~Host() = default;
    // Reported once the run knows how much there is to do (before anything
    // is written), after every piece, and between the slices of a large one.
    virtual void progress(const Progress& progress) = 0;
    // Lets the caller's pending events run (a window repaints, takes input).
    // Called at least every 20 ms or so of work.
    virtual void processEvents() = 0;
    // Asked after every event pass; false stops the run, which then removes
    // what it wrote and returns Status::Stopped.
    virtual bool keepGoing() = 0;
    // Told the path of each piece once a split has written it or a join has
    // appended it (the path it was read from), for a front end that names
    // the pieces as it goes.
    virtual void pieceDone(const std::string& path) { (void)path; }
};

enum class Status { Succeeded, Stopped, Failed };

// Why a run failed. The Result fields each one uses are named beside it.
enum class Problem {
    None,
    FileOperation,        // io: what was done to which path, and why it failed
    ChunkSizeBelowOne,    // (nothing more)
    PathHoldsLineBreak,   // path: the source; other: a piece path holding CR LF
    WouldOverwriteSource, // path: the source; other: the output path that is the source
    FileChanged,          // path: a file the run reads (the source, the index file or a
                          //   piece), whose size or time changed while it was read
    PiecesChanged,        // path: the file split, or the index file; something else
                          //   replaced or rewrote the set's pieces while the run went on
    IndexDamaged,         // path: the index file; line; damage
    NoRebuiltName,        // path: the index file, whose name leaves no file name
    RebuiltIsIndex,       // path: the rebuilt path, which names the index file
    RebuiltIsPiece,       // path: the rebuilt path; other: the listed piece it names
    MissingPiece,         // path: the entry, exactly as listed; other: the path beside
                          //   the index file where it was looked for too ("" when that
                          //   is the listed path itself)
    PiecesInTwoFolders,   // path: a piece found where the index lists it; other: a piece
                          //   found only beside the index file, in another folder
    Unexpected,           // path: the file split, or the index file; other: what went
                          //   wrong (memory ran out, say)
};

// What is wrong with a line of a damaged index file.
enum class Damage { Empty, HoldsNul, TooLong };

struct [[nodiscard]] Result {
    Status status = Status::Succeeded;
    Problem problem = Problem::None;
    tessaly::IoError io;
    std::string path;
    std::string other;
    std::int64_t line = 0;
    Damage damage = Damage::Empty;

    bool succeeded() const { return status == Status::Succeeded; }
};

// The piece-set rules shared by every front end.
// A path holding ".splt" or "_splt" (letter case as written) belongs to a
// piece set and is not split again.
bool isPartOfPieceSet(std::string_view path);
// A file is split only when it is larger than one piece.
bool isLargerThanOnePiece(std::int64_t fileSize, std::int64_t chunkSize);

// Naming rules: plain concatenation, no file-system access.
std::string piecePath(const std::string& outputFolder, const std::string& sourcePath, std::int64_t pieceNumber);
std::string indexPath(const std::string& outputFolder, const std::string& sourcePath);
// Base name of the index path with every ".splt" removed, in any letter case,
// in one left-to-right pass.
std::string rebuiltName(const std::string& indexPath);
std::string rebuiltPath(const std::string& outputFolder, const std::string& indexPath);

// The longest index entry read; no file system takes a longer path.
inline constexpr std::size_t kLongestEntry = 128 * 1024;

// Reads index text a block at a time. Each entry is the text before a CR LF;
// non-empty text after the last CR LF is the last entry; a lone CR or LF is
// part of its entry. Memory stays fixed whatever the length of the text.
// An entry that holds a NUL byte or is too long is told as soon as that is
// known, and the reader ends there.
class IndexReader {
public:
    // Puts up to `size` bytes of the text into `buffer`; returns how many,
    // 0 at the end of the text, or -1 when reading failed.
    using Read = std::function<std::int64_t(char* buffer, std::size_t size)>;

    struct Entry {
        std::string_view path; // valid until the next call
        std::int64_t line = 0; // counted from 1
        std::optional<Damage> damage;
    };
    enum class Next { Entry, End, ReadFailed };

    explicit IndexReader(Read read);
    [[nodiscard]] Next next(Entry& entry);

private:
    bool refill();
    Read read_;
    std::string buffer_;
    std::size_t start_ = 0, end_ = 0;
    bool failed_ = false, stopped_ = false;
    std::string entry_;
    std::int64_t line_ = 0;
};

// Cuts the file at `sourcePath` into pieces of `chunkSize` bytes named after
// it in `outputFolder` (a plain prefix), then writes the index file.
[[nodiscard]] Result SplitFile(Host& host, const std::string& sourcePath, std::int64_t chunkSize,
                 const std::string& outputFolder);

// What a join that meets a missing piece does with what it joined before it,
// when no file stood at the rebuilt path: keep it under the rebuilt name, or
// discard it so that no part of a set passes for the whole. A file that stood
// there is kept unchanged either way.
enum class AfterMissingPiece { KeepJoined, DiscardJoined };

// Rebuilds the file listed by the index file at `indexPath` into
// `outputFolder` (a plain prefix), under the index file's name without ".splt".
[[nodiscard]] Result JoinFiles(Host& host, const std::string& indexPath, const std::string& outputFolder,
                 AfterMissingPiece afterMissingPiece);

} // namespace SplitMergeFile
