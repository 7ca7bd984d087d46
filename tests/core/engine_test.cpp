// The engine's splits and joins, from an empty source to one over 4 GiB and
// to 40000 pieces, and the runs that do not finish: each of those says why
// (a stop says nothing) and leaves no half-written result that looks
// finished. Also the platform probes the engine relies on.
#include "FileSize.h"
#include "Paths.h"
#include "TestSupport.h"

namespace tessaly::test {
namespace {

// A device, which no run may read or write.
const std::string kDevice = kWindows ? "NUL" : "/dev/zero";

// Every row splits, checks each piece, the listing and the index bytes, then
// joins back. Rows cover both copy paths (pieces up to 64 KiB come from a
// 1 MiB read-ahead block, larger ones are copied) and their edges, and more
// pieces than a 16-bit count holds (on Windows fewer: each new name costs
// Wine a scan of the whole folder). `stale` puts longer files of an earlier
// run where this one writes.
TEST_F(Engine, PiecesIndexAndJoinBack) {
    constexpr std::size_t kManyPieces = kWindows ? 3000 : 40000;
    struct Row {
        std::size_t length;
        std::int64_t chunk, pieces;
        bool stale = false;
    };
    const Row rows[] = {
        {250, 100, 3, true},   {0, 5, 0},          {10, 1, 10},
        {1000, 1000, 1},       {1000, 999, 2},     {1000, INT64_MAX, 1},
        {200000, 65537, 4},    {(5u << 19) + 43, 65535, 41},
        {kManyPieces, 1, kManyPieces},
    };
    int n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE("length " + std::to_string(r.length) + ", chunk " + std::to_string(r.chunk));
        for (const std::string& folder : {out, back}) {
            fs::remove_all(folder);
            fs::create_directory(folder);
        }
        writeFile(src, bytes = byteRun(r.length, ++n));
        if (r.stale) {
            for (const auto& p : {out + "movie.avi_splt1", index, back + "movie.avi"}) {
                writeFile(p, std::string(5000, 'x'));
            }
        }
        FakeHost split, join;
        ASSERT_EQ(summary(SplitFile(split, src, r.chunk, out)), "succeeded");
        EXPECT_EQ(split.steps, allSteps(r.pieces));
        Names names{"movie.avi.splt"};
        std::string listed;
        for (std::int64_t k = 1; k <= r.pieces; ++k) {
            names.push_back("movie.avi_splt" + std::to_string(k));
            listed += out + names.back() + "\r\n";
            const auto expected = bytes.substr(std::size_t((k - 1) * r.chunk), std::size_t(r.chunk));
            EXPECT_EQ(readFile(out + names.back()), expected) << names.back();
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(listing(out), names);
        EXPECT_EQ(readFile(index), listed);
        EXPECT_EQ(summary(JoinFiles(join, index, back)), "succeeded");
        EXPECT_EQ(join.steps, allSteps(r.pieces));
        EXPECT_EQ(join.last.bytes, std::int64_t(r.length));
        EXPECT_EQ(listing(back), Names{"movie.avi"});
        EXPECT_TRUE(readFile(back + "movie.avi") == bytes);
    }
}

// Entries are joined in listed order under the index's base name with every
// ".splt" removed, in any letter case, in one pass. Text after the last
// CR LF is the last entry; a lone LF belongs to its entry.
struct ListedJoin {
    std::string indexName, index;
    std::int64_t entries;
    std::string rebuiltName, bytes;
};

class ListedJoins : public Engine {
protected:
    void SetUp() override {
        Engine::SetUp();
        p = mkdir("p");
        a = p + "a_splt1";
        b = p + "b_splt2";
        writeFile(a, "AAA");
        writeFile(b, "BB");
        writeFile(p + "empty", "");
    }
    void joinEach(const std::vector<ListedJoin>& rows) {
        int n = 0;
        for (const ListedJoin& r : rows) {
            SCOPED_TRACE(r.indexName);
            const std::string indexPath = mkdir(std::to_string(++n)) + r.indexName;
            const std::string folder = mkdir("b" + std::to_string(n));
            writeFile(indexPath, r.index);
            FakeHost host;
            EXPECT_EQ(summary(JoinFiles(host, indexPath, folder)), "succeeded");
            EXPECT_EQ(host.steps, allSteps(r.entries));
            EXPECT_EQ(listing(folder), Names{r.rebuiltName});
            EXPECT_EQ(readFile(folder + r.rebuiltName), r.bytes);
        }
    }
    std::string p, a, b;
};

TEST_F(ListedJoins, FollowTheListUnderTheRebuiltName) {
    joinEach({
        {"movie.avi.splt", b + "\r\n" + a + "\r\n", 2, "movie.avi", "BBAAA"},
        {"REPORT.DOC.SPLT", a + "\r\n" + b, 2, "REPORT.DOC", "AAABB"},
        {"a.splt.splt", a, 1, "a", "AAA"},
        {"notes.spltx", b + "\r\n" + a + "\r\n", 2, "notesx", "BBAAA"},
        {"list.txt", a + "\r\n" + p + "empty\r\n" + a + "\r\n", 3, "list.txt", "AAAAAA"},
        {"X.SPLT.splt", b + "\r\n", 1, "X", "BB"},
        {"a..spltsplt", a + "\r\n", 1, "a.splt", "AAA"},
        {"none.splt", "", 0, "none", ""},
    });
}

// Names that only POSIX systems allow: a piece whose name holds a line
// feed, and a dot-file, which is an ordinary file there.
TEST_F(ListedJoins, PiecesUnderNamesOnlyPosixAllows) {
    POSIX_ONLY("line feeds in names and dot-files as ordinary files");
    writeFile(p + ".hidden", "H");
    writeFile(p + "line\nbreak", "LF");
    joinEach({
        {"notes.spltx", p + ".hidden\r\n" + a + "\r\n", 2, "notesx", "HAAA"},
        {"lf.splt", p + "line\nbreak\r\n" + b + "\r\n", 2, "lf", "LFBB"},
    });
}

TEST_F(Engine, FileSize2AndPresenceTest) {
    writeFile(dir + "250", std::string(250, 'x'));
    makeSparse(dir + "big", (std::int64_t{4} << 30) + 100);
    const std::pair<std::string, std::int64_t> sizes[] = {
        {dir + "250", 250}, {dir + "missing", 0}, {"", 0},
        {dir, 0},           {kDevice, 0},         {dir + "big", (std::int64_t{4} << 30) + 100},
    };
    for (const auto& [path, size] : sizes) EXPECT_EQ(FileSize::FileSize2(path), size) << path;
    const std::pair<std::string, bool> present[] = {
        {dir + "250", true},  {dir, false}, {dir + "missing", false}, {kDevice, false},
        {"", false},          {dir + std::string("250\0x", 5), false},
    };
    for (const auto& [path, expected] : present) EXPECT_EQ(isPresentFile(path), expected) << path;
}

// A FIFO is no file to read; a dot-file is an ordinary file.
TEST_F(Engine, PresenceOfPosixFiles) {
    POSIX_ONLY("FIFOs and dot-files as ordinary files");
    writeFile(dir + ".empty", "");
    ASSERT_TRUE(makeFifo(dir + "fifo"));
    EXPECT_EQ(FileSize::FileSize2(dir + ".empty"), 0);
    EXPECT_EQ(FileSize::FileSize2(dir + "fifo"), 0);
    EXPECT_TRUE(isPresentFile(dir + ".empty"));
    EXPECT_FALSE(isPresentFile(dir + "fifo"));
}

// A link is followed: to a file it is present, dangling it is not.
TEST_F(Engine, PresenceThroughSymbolicLinks) {
    SKIP_WITHOUT_SYMLINKS();
    writeFile(dir + "250", std::string(250, 'x'));
    ASSERT_TRUE(makeSymlink(dir + "250", dir + "link"));
    ASSERT_TRUE(makeSymlink(dir + "gone", dir + "dangling"));
    EXPECT_TRUE(isPresentFile(dir + "link"));
    EXPECT_FALSE(isPresentFile(dir + "dangling"));
    EXPECT_EQ(FileSize::FileSize2(dir + "link"), 250);
}

// What stands at an output path before a split or a join.
enum class Planted { Nothing, LinkToSource, HardLinkToSource, Folder, Fifo, NoOutputFolder };

struct SplitFailure {
    std::string name, source;
    std::int64_t chunk;
    std::string expected;
    Planted planted = Planted::Nothing;
    std::string at = {};
    std::uint64_t limit = kNoSizeLimit;
    std::string folder = {};
};

// Each row splits into a folder of its own ("@" in the expected summary),
// with `planted` put at `at` first. A failure leaves what stood there
// before, but neither pieces nor an index, and the source as it was.
class SplitFailures : public Engine {
protected:
    void splitEach(const std::vector<SplitFailure>& rows) {
        int n = 0;
        for (SplitFailure r : rows) {
            SCOPED_TRACE(r.name);
            const std::string folder = !r.folder.empty()                    ? r.folder
                                       : r.planted == Planted::NoOutputFolder ? dir + "none/"
                                                                               : mkdir(std::to_string(++n));
            if (const auto i = r.expected.find('@'); i != std::string::npos) r.expected.replace(i, 1, folder);
            const std::string at = folder + r.at;
            if (r.planted == Planted::LinkToSource) {
                ASSERT_TRUE(makeSymlink(src, at));
            }
            if (r.planted == Planted::HardLinkToSource) fs::create_hard_link(fsPath(src), fsPath(at));
            if (r.planted == Planted::Folder) fs::create_directory(fsPath(at));
            if (r.planted == Planted::Fifo) {
                ASSERT_TRUE(makeFifo(at));
            }
            FakeHost host;
            auto split = [&] { return SplitFile(host, r.source, r.chunk, folder); };
            const Result result = withFileSizeLimit(r.limit, split);
            EXPECT_EQ(summary(result), r.expected);
            if (r.planted != Planted::NoOutputFolder && fs::exists(fsPath(folder))) {
                EXPECT_EQ(listing(folder), r.at.empty() ? Names{} : Names{r.at});
            }
        }
        EXPECT_EQ(readFile(src), bytes);
    }
};

TEST_F(SplitFailures, RefusedOrFailedWithTheReason) {
    const std::string none = dir + "none";
    // The check for line breaks comes before the folder is used; Windows
    // allows no line break in a name, so there the folder does not exist.
    const std::string crlf = dir + "cr\r\nlf/";
    if (!kWindows) fs::create_directory(crlf);
    splitEach({
        {"missing source", none, 100, "open " + none + ": " + reason(ENOENT)},
        {"folder as source", dir + "src", 100, "open " + dir + "src: " + reason(EISDIR)},
        {"device as source", kDevice, 100, "open " + kDevice + ": not a regular file"},
        {"chunk size 0", src, 0, "chunk size below one"},
        {"negative chunk size", src, -100, "chunk size below one"},
        {"no output folder", src, 100, "create @movie.avi_splt1: " + reason(ENOENT), Planted::NoOutputFolder},
        {"folder at the index path", src, 100, "create @movie.avi.splt: " + reason(EISDIR), Planted::Folder,
         "movie.avi.splt"},
        {"folder at a piece path", src, 100, "create @movie.avi_splt2: " + reason(EISDIR), Planted::Folder,
         "movie.avi_splt2"},
        {"hard link to the source in capitals", src, 100, "would overwrite the source: @MOVIE.AVI_SPLT2",
         Planted::HardLinkToSource, "MOVIE.AVI_SPLT2"},
        {"CR LF in the output folder", src, 100, "line break in @movie.avi_splt1", Planted::Nothing, "", kNoSizeLimit,
         crlf},
    });
}

TEST_F(SplitFailures, SymbolicLinksToTheSource) {
    SKIP_WITHOUT_SYMLINKS();
    splitEach({
        {"link to the source at piece 1", src, 100, "would overwrite the source: @movie.avi_splt1",
         Planted::LinkToSource, "movie.avi_splt1"},
        {"link to the source at piece 3", src, 100, "would overwrite the source: @movie.avi_splt3",
         Planted::LinkToSource, "movie.avi_splt3"},
        {"link to the source at the index", src, 100, "would overwrite the source: @movie.avi.splt",
         Planted::LinkToSource, "movie.avi.splt"},
    });
}

TEST_F(SplitFailures, PosixFilesAndAFullDisk) {
    POSIX_ONLY("FIFOs, /sys, file size limits and line breaks in names");
    ASSERT_TRUE(makeFifo(dir + "fifo"));
    // A file that gives fewer bytes than its size says.
    const std::string shortFile = "/sys/devices/system/cpu/online";
    const std::string endedEarly = "the file ended early (was it changed during the run?)";
    const std::string crlfName = dir + "src/a\r\nb";
    writeFile(crlfName, bytes);
    std::vector<SplitFailure> rows = {
        {"FIFO as source", dir + "fifo", 100, "open " + dir + "fifo: not a regular file"},
        {"disk full in a piece", src, 200, "write @movie.avi_splt1: " + reason(EFBIG), Planted::Nothing, "", 101},
        {"disk full in the index", src, 100, "write @movie.avi.splt: " + reason(EFBIG), Planted::Nothing, "", 101},
        {"CR LF in the source name", crlfName, 100, "line break in @a\r\nb_splt1"},
        {"FIFO at a piece path", src, 100, "create @movie.avi_splt1: not a regular file", Planted::Fifo,
         "movie.avi_splt1"},
    };
    if (FileSize::FileSize2(shortFile) > 100) {
        rows.push_back({"source shorter than its size", shortFile, 1000, "read " + shortFile + ": " + endedEarly});
    }
    splitEach(rows);
}

struct JoinFailure {
    std::string name, index, folder, expected;
    std::uint64_t limit = kNoSizeLimit;
};

// A failed or refused join says why, leaves no temporary file, and keeps a
// former rebuilt file and whatever it reads.
class JoinFailures : public Engine {
protected:
    void SetUp() override {
        Engine::SetUp();
        FakeHost split;
        ASSERT_EQ(summary(SplitFile(split, src, 100, out)), "succeeded");
        empty = mkdir("empty");
        piece1 = out + "movie.avi_splt1";
        writeFile(back + "movie.avi", "former");
    }
    void joinEach(const std::vector<JoinFailure>& rows) {
        for (const JoinFailure& r : rows) {
            SCOPED_TRACE(r.name);
            FakeHost host;
            const Result result = withFileSizeLimit(r.limit, [&] { return JoinFiles(host, r.index, r.folder); });
            EXPECT_EQ(summary(result), r.expected);
        }
        EXPECT_EQ(listing(empty), Names{});
        EXPECT_EQ(readFile(back + "movie.avi"), "former");
    }
    std::string empty, piece1;
};

TEST_F(JoinFailures, RefusedOrFailedWithTheReason) {
    const std::string own = mkdir("own");
    writeFile(back + "x", "piece x");
    writeFile(own + "list", piece1 + "\r\n");
    writeFile(dir + "x.splt", piece1 + "\r\n" + back + "x\r\n");
    const std::string damaged = dir + "damaged.splt", nul = dir + "holds-nul.splt", huge = dir + "huge.splt";
    writeFile(damaged, piece1 + "\r\n\r\n" + piece1 + "\r\n");
    writeFile(nul, piece1 + "\r\n" + piece1 + "\r\n" + piece1 + std::string("\0x", 2) + "\r\n");
    writeFile(huge, std::string(kLongestEntry + 1, 'a') + "\r\n");
    for (const char* name : {".splt", "..splt", "...splt", "sub.splt"}) writeFile(dir + name, piece1 + "\r\n");
    fs::create_directory(fsPath(back + "sub"));
    joinEach({
        {"missing index", dir + "none.splt", back, "open " + dir + "none.splt: " + reason(ENOENT)},
        {"device as index", kDevice, back, "open " + kDevice + ": not a regular file"},
        {"no output folder", index, dir + "none/", "create " + dir + "none/movie.avi: " + reason(ENOENT)},
        {"into the index itself", own + "list", own, "rebuilt is the index: " + own + "list"},
        {"into a listed piece", dir + "x.splt", back, "rebuilt is a piece: " + back + "x " + back + "x"},
        {"empty line", damaged, back, "damaged: " + damaged + " line 2 empty"},
        {"NUL in a line", nul, back, "damaged: " + nul + " line 3 holds NUL"},
        {"line longer than any path", huge, back, "damaged: " + huge + " line 1 too long"},
        {"index named .splt", dir + ".splt", back, "no rebuilt name: " + dir + ".splt"},
        {"rebuilt name .", dir + "..splt", back, "no rebuilt name: " + dir + "..splt"},
        {"rebuilt name ..", dir + "...splt", back, "no rebuilt name: " + dir + "...splt"},
        {"folder at the rebuilt path", dir + "sub.splt", back, "create " + back + "sub: " + reason(EISDIR)},
    });
    EXPECT_EQ(listing(back), (Names{"movie.avi", "sub", "x"}));
    EXPECT_EQ(listing(own), Names{"list"});
    EXPECT_EQ(readFile(back + "x"), "piece x");
}

TEST_F(JoinFailures, PosixFilesAndAFullDisk) {
    POSIX_ONLY("FIFOs, /proc and file size limits");
    // This process's memory, read from address 0, which is not mapped.
    writeFile(dir + "proc.splt", piece1 + "\r\n/proc/self/mem\r\n");
    ASSERT_TRUE(makeFifo(dir + "fifo.splt"));
    writeFile(dir + "pipe.splt", piece1 + "\r\n");
    ASSERT_TRUE(makeFifo(back + "pipe"));
    joinEach({
        {"FIFO as index", dir + "fifo.splt", back, "open " + dir + "fifo.splt: not a regular file"},
        {"FIFO at the rebuilt path", dir + "pipe.splt", back, "create " + back + "pipe: not a regular file"},
        {"unreadable piece", dir + "proc.splt", back, "read /proc/self/mem: " + reason(EIO)},
        {"disk full, former file", index, back, "write " + back + "movie.avi: " + reason(EFBIG), 150},
        {"disk full, no former file", index, empty, "write " + empty + "movie.avi: " + reason(EFBIG), 150},
    });
    EXPECT_EQ(listing(back), (Names{"movie.avi", "pipe"}));
}

// What stands at the path of a listed piece.
enum class AtEntry { Nothing, Folder, DanglingLink, Unreadable };

struct MissingEntry {
    std::string name;
    int missing;
    AtEntry at;
    bool former;
    std::string kept;
};

// A missing entry, or one that is no regular file, ends the join with the
// bar full. What was joined stays under the rebuilt name, unless a former
// file stood there: that one is kept and the partial result dropped. A
// piece that cannot be read is not missing: the join fails and keeps
// nothing. On POSIX systems it has no read permission (the join runs as
// nobody, whom permissions stop); on Windows another program holds it open
// and shares it with no one.
class MissingPieces : public Engine {
protected:
    void joinEach(const std::vector<MissingEntry>& rows) {
        int n = 0;
        for (const MissingEntry& r : rows) {
            SCOPED_TRACE(r.name);
            const std::string p = mkdir("p" + std::to_string(++n)), folder = mkdir("back" + std::to_string(n));
            fs::permissions(fsPath(dir), fs::perms::all);
            fs::permissions(fsPath(folder), fs::perms::all);
            const std::string entry = p + "m_splt" + std::to_string(r.missing);
            writeFile(p + "m.splt", p + "m_splt1\r\n" + p + "m_splt2\r\n" + p + "m_splt3\r\n");
            for (const auto& [k, content] : {std::pair{1, "111"}, {2, "22"}, {3, "3"}}) {
                if (k != r.missing || r.at == AtEntry::Unreadable) writeFile(p + "m_splt" + std::to_string(k), content);
            }
            if (r.at == AtEntry::Folder) fs::create_directory(fsPath(entry));
            if (r.at == AtEntry::DanglingLink) {
                ASSERT_TRUE(makeSymlink(p + "gone", entry));
            }
            if (r.at == AtEntry::Unreadable && !kWindows) fs::permissions(entry, fs::perms::none);
            if (r.former) writeFile(folder + "m", "former");
            const bool unreadable = r.at == AtEntry::Unreadable;
            const std::string denied = kWindows ? win32Reason(kSharingViolation) : reason(EACCES);
            const std::string expected = unreadable ? "open " + entry + ": " + denied : "missing piece: " + entry;
            auto join = [&] {
                FakeHost host;
                const std::string got = summary(JoinFiles(host, p + "m.splt", folder));
                if (got != expected) std::fprintf(stderr, "got: %s\n", got.c_str());
                const bool barFull = unreadable || host.steps.back() == "3/3";
                return got == expected && barFull ? 0 : 1;
            };
            if (unreadable && !kWindows) {
                EXPECT_EQ(inChild(join, true), 0) << "expected " << expected;
            } else {
                std::optional<HeldOpen> held;
                if (unreadable) held.emplace(entry);
                EXPECT_EQ(join(), 0) << "expected " << expected;
            }
            EXPECT_EQ(listing(folder), r.kept == "<none>" ? Names{} : Names{"m"});
            if (r.kept != "<none>") {
                EXPECT_EQ(readFile(folder + "m"), r.kept);
            }
        }
    }
};

TEST_F(MissingPieces, EndTheJoin) {
    joinEach({
        {"first missing", 1, AtEntry::Nothing, false, ""},
        {"second missing", 2, AtEntry::Nothing, false, "111"},
        {"first missing, former file", 1, AtEntry::Nothing, true, "former"},
        {"second missing, former file", 2, AtEntry::Nothing, true, "former"},
        {"folder", 2, AtEntry::Folder, false, "111"},
        {"unreadable", 2, AtEntry::Unreadable, false, "<none>"},
    });
}

TEST_F(MissingPieces, DanglingLink) {
    SKIP_WITHOUT_SYMLINKS();
    joinEach({{"dangling link, former file", 3, AtEntry::DanglingLink, true, "former"}});
}

// A stop request ends the run silently and removes what it wrote. Between
// pieces: each step sleeps past the event-pass interval, so a pass follows
// every piece. Within a piece: copying 1 GiB takes many passes, and the
// first one stops the run.
TEST_F(Engine, StopRequestRemovesWhatTheRunWrote) {
    const std::string big = dir + "big";
    makeSparse(big, std::int64_t{1} << 30, {{0, "start"}});
    writeFile(out + "movie.avi_splt12", "earlier set");
    writeFile(back + "movie.avi", "former");
    for (const auto& [join, withinPiece] : {std::pair{false, false}, {false, true}, {true, false}, {true, true}}) {
        SCOPED_TRACE(std::string(join ? "join" : "split") + (withinPiece ? " within a piece" : " between pieces"));
        const std::int64_t pieces = withinPiece ? 1 : 10;
        FakeHost host;
        host.stopAfterPasses = withinPiece ? 1 : 3;
        host.pieceDelay = std::chrono::milliseconds(withinPiece ? 0 : 25);
        std::string list;
        for (std::int64_t k = 1; k <= pieces; ++k) list += (withinPiece ? big : src) + "\r\n";
        writeFile(dir + "movie.avi.splt", list);
        const Result result = join ? JoinFiles(host, dir + "movie.avi.splt", back)
                                   : SplitFile(host, withinPiece ? big : src, withinPiece ? std::int64_t{1} << 30 : 25, out);
        EXPECT_EQ(summary(result), "stopped");
        EXPECT_EQ(host.passes, host.stopAfterPasses);
        EXPECT_LT(host.last.pieces, pieces);
        EXPECT_EQ(listing(out), Names{"movie.avi_splt12"});
        EXPECT_EQ(listing(back), Names{"movie.avi"});
        EXPECT_EQ(readFile(back + "movie.avi"), "former");
    }
}

// Marks at and around each piece boundary show that no slice moved. Each
// piece is hollowed out once checked, so one 4 GiB copy holds storage at a time.
TEST_F(Engine, SourceOver4GiBInPiecesOver2GiB) {
    const std::int64_t kGiB = std::int64_t{1} << 30, length = 4 * kGiB + 100, chunk = 2 * kGiB + 1;
    const std::string img = dir + "big.img";
    std::vector<std::pair<std::int64_t, std::string>> marks{{0, "first"}, {length - 5, "last!"}};
    for (const std::int64_t at : {chunk, 2 * chunk, 2 * kGiB, 4 * kGiB}) marks.emplace_back(at - 3, "<|>" + std::to_string(at));
    makeSparse(img, length, marks);
    FakeHost split, join;
    ASSERT_EQ(summary(SplitFile(split, img, chunk, out)), "succeeded");
    EXPECT_EQ(split.steps, allSteps(3));
    for (int k = 1; k <= 3; ++k) {
        SCOPED_TRACE("piece " + std::to_string(k));
        const std::string piece = out + "big.img_splt" + std::to_string(k);
        const std::int64_t size = std::min(chunk, length - (k - 1) * chunk);
        EXPECT_EQ(FileSize::FileSize2(piece), size);
        EXPECT_TRUE(sameBytes(img, (k - 1) * chunk, piece, size, true));
    }
    ASSERT_EQ(summary(JoinFiles(join, out + "big.img.splt", back)), "succeeded");
    EXPECT_EQ(join.steps, allSteps(3));
    EXPECT_EQ(FileSize::FileSize2(back + "big.img"), length);
    EXPECT_TRUE(sameBytes(img, 0, back + "big.img", length, false));
}

} // namespace
} // namespace tessaly::test
