// The engine's splits and joins, from an empty source to one over 4 GiB and
// to 40000 pieces, and the runs that do not finish: each of those says why
// (a stop says nothing) and leaves no half-written result that looks
// finished. Also the platform probes the engine relies on.
#include <csignal>
#include <cstring>

#include <sys/resource.h>
#include <sys/stat.h>

#include "FileSize.h"
#include "Paths.h"
#include "TestSupport.h"

namespace tessaly::test {
namespace {

std::string reason(int error) { return std::generic_category().message(error); }

// Every row splits, checks each piece, the listing and the index bytes, then
// joins back. Rows cover both copy paths (pieces up to 64 KiB come from a
// 1 MiB read-ahead block, larger ones are copied) and their edges, and more
// pieces than a 16-bit count holds. `stale` puts longer files of an earlier
// run where this one writes.
TEST_F(Engine, PiecesIndexAndJoinBack) {
    struct Row {
        std::size_t length;
        std::int64_t chunk, pieces;
        bool stale = false;
    };
    const Row rows[] = {
        {250, 100, 3, true},   {0, 5, 0},          {10, 1, 10},
        {1000, 1000, 1},       {1000, 999, 2},     {1000, INT64_MAX, 1},
        {200000, 65537, 4},    {(5u << 19) + 43, 65535, 41},
        {40000, 1, 40000},
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
            for (const auto& p : {out + "movie.avi_splt1", index, back + "movie.avi"}) writeFile(p, std::string(5000, 'x'));
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
TEST_F(Engine, JoinFollowsTheListUnderTheRebuiltName) {
    const std::string p = mkdir("p"), a = p + "a_splt1", b = p + "b_splt2";
    for (const auto& [name, data] : {std::pair{"a_splt1", "AAA"}, {"b_splt2", "BB"}, {".hidden", "H"}, {"empty", ""},
                                     {"line\nbreak", "LF"}}) {
        writeFile(p + name, data);
    }
    struct Row {
        std::string indexName, index;
        std::int64_t entries;
        std::string rebuiltName, bytes;
    };
    const Row rows[] = {
        {"movie.avi.splt", b + "\r\n" + a + "\r\n", 2, "movie.avi", "BBAAA"},
        {"REPORT.DOC.SPLT", a + "\r\n" + b, 2, "REPORT.DOC", "AAABB"},
        {"a.splt.splt", a, 1, "a", "AAA"},
        {"notes.spltx", p + ".hidden\r\n" + a + "\r\n", 2, "notesx", "HAAA"},
        {"list.txt", a + "\r\n" + p + "empty\r\n" + a + "\r\n", 3, "list.txt", "AAAAAA"},
        {"X.SPLT.splt", b + "\r\n", 1, "X", "BB"},
        {"a..spltsplt", a + "\r\n", 1, "a.splt", "AAA"},
        {"lf.splt", p + "line\nbreak\r\n" + b + "\r\n", 2, "lf", "LFBB"},
        {"none.splt", "", 0, "none", ""},
    };
    int n = 0;
    for (const Row& r : rows) {
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

TEST_F(Engine, FileSize2AndPresenceTest) {
    writeFile(dir + "250", std::string(250, 'x'));
    writeFile(dir + ".empty", "");
    makeSparse(dir + "big", (std::int64_t{4} << 30) + 100);
    fs::create_symlink(dir + "250", dir + "link");
    fs::create_symlink(dir + "gone", dir + "dangling");
    ASSERT_EQ(::mkfifo((dir + "fifo").c_str(), 0600), 0);
    const std::pair<std::string, std::int64_t> sizes[] = {
        {"250", 250}, {".empty", 0}, {"missing", 0}, {"", 0}, {"fifo", 0}, {"big", (std::int64_t{4} << 30) + 100},
    };
    for (const auto& [name, size] : sizes) EXPECT_EQ(FileSize::FileSize2(dir + name), size) << name;
    const std::pair<std::string, bool> present[] = {
        {dir + "250", true},   {dir + ".empty", true},  {dir + "link", true},     {dir, false},
        {dir + "fifo", false}, {"/dev/null", false},    {dir + "dangling", false}, {"", false},
        {dir + std::string("250\0x", 5), false},
    };
    for (const auto& [path, expected] : present) EXPECT_EQ(isPresentFile(path), expected) << path;
}

// Runs `run` with writes beyond `bytes` failing (EFBIG), as on a full disk.
template <class Run>
Result withFileSizeLimit(rlim_t bytes, Run run) {
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limit{bytes, saved.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const Result result = run();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    return result;
}

// What stands at an output path before a split or a join.
enum class Planted { Nothing, LinkToSource, HardLinkToSource, Folder, NoOutputFolder };

// Each row splits into a folder of its own ("@" in the expected summary),
// with `planted` put at `name` first. A failure leaves what stood there
// before, but neither pieces nor an index.
TEST_F(Engine, SplitFailures) {
    ASSERT_EQ(::mkfifo((dir + "fifo").c_str(), 0600), 0);
    // A file that gives fewer bytes than its size says.
    const std::string none = dir + "none", shortFile = "/sys/devices/system/cpu/online";
    const std::string endedEarly = "the file ended early (was it changed during the run?)";
    const std::string crlf = mkdir("cr\r\nlf"), crlfName = dir + "src/a\r\nb";
    writeFile(crlfName, bytes);
    struct Row {
        std::string name, source;
        std::int64_t chunk;
        std::string expected;
        Planted planted = Planted::Nothing;
        std::string at = {};
        rlim_t limit = RLIM_INFINITY;
        std::string folder = {};
    };
    const Row rows[] = {
        {"missing source", none, 100, "open " + none + ": " + reason(ENOENT)},
        {"folder as source", dir + "src", 100, "open " + dir + "src: " + reason(EISDIR)},
        {"FIFO as source", dir + "fifo", 100, "open " + dir + "fifo: not a regular file"},
        {"device as source", "/dev/zero", 100, "open /dev/zero: not a regular file"},
        {"source shorter than its size", shortFile, 1000, "read " + shortFile + ": " + endedEarly},
        {"chunk size 0", src, 0, "chunk size below one"},
        {"negative chunk size", src, -100, "chunk size below one"},
        {"no output folder", src, 100, "create @movie.avi_splt1: " + reason(ENOENT), Planted::NoOutputFolder},
        {"folder at the index path", src, 100, "create @movie.avi.splt: " + reason(EISDIR), Planted::Folder,
         "movie.avi.splt"},
        {"folder at a piece path", src, 100, "create @movie.avi_splt2: " + reason(EISDIR), Planted::Folder,
         "movie.avi_splt2"},
        {"link to the source at piece 1", src, 100, "would overwrite the source: @movie.avi_splt1",
         Planted::LinkToSource, "movie.avi_splt1"},
        {"link to the source at piece 3", src, 100, "would overwrite the source: @movie.avi_splt3",
         Planted::LinkToSource, "movie.avi_splt3"},
        {"link to the source at the index", src, 100, "would overwrite the source: @movie.avi.splt",
         Planted::LinkToSource, "movie.avi.splt"},
        {"hard link to the source in capitals", src, 100, "would overwrite the source: @MOVIE.AVI_SPLT2",
         Planted::HardLinkToSource, "MOVIE.AVI_SPLT2"},
        {"disk full in a piece", src, 200, "write @movie.avi_splt1: " + reason(EFBIG), Planted::Nothing, "", 101},
        {"disk full in the index", src, 100, "write @movie.avi.splt: " + reason(EFBIG), Planted::Nothing, "", 101},
        {"CR LF in the output folder", src, 100, "line break in @movie.avi_splt1", Planted::Nothing, "", RLIM_INFINITY,
         crlf},
        {"CR LF in the source name", crlfName, 100, "line break in @a\r\nb_splt1"},
    };
    int n = 0;
    for (Row r : rows) {
        SCOPED_TRACE(r.name);
        const std::string folder = !r.folder.empty()                    ? r.folder
                                   : r.planted == Planted::NoOutputFolder ? none + "/"
                                                                           : mkdir(std::to_string(++n));
        if (const auto i = r.expected.find('@'); i != std::string::npos) r.expected.replace(i, 1, folder);
        if (r.source == shortFile && FileSize::FileSize2(shortFile) <= 100) continue;
        const std::string at = folder + r.at;
        if (r.planted == Planted::LinkToSource) fs::create_symlink(src, at);
        if (r.planted == Planted::HardLinkToSource) fs::create_hard_link(src, at);
        if (r.planted == Planted::Folder) fs::create_directory(at);
        FakeHost host;
        const Result result = withFileSizeLimit(r.limit, [&] { return SplitFile(host, r.source, r.chunk, folder); });
        EXPECT_EQ(summary(result), r.expected);
        if (r.planted != Planted::NoOutputFolder) {
            EXPECT_EQ(listing(folder), r.at.empty() ? Names{} : Names{r.at});
        }
    }
    EXPECT_EQ(readFile(src), bytes);
}

// A failed or refused join says why, leaves no temporary file, and keeps a
// former rebuilt file and whatever it reads.
TEST_F(Engine, JoinFailures) {
    FakeHost split;
    ASSERT_EQ(summary(SplitFile(split, src, 100, out)), "succeeded");
    const std::string empty = mkdir("empty"), own = mkdir("own"), piece1 = out + "movie.avi_splt1";
    writeFile(back + "movie.avi", "former");
    writeFile(back + "x", "piece x");
    writeFile(own + "list", piece1 + "\r\n");
    writeFile(dir + "x.splt", piece1 + "\r\n" + back + "x\r\n");
    // This process's memory, read from address 0, which is not mapped.
    writeFile(dir + "proc.splt", piece1 + "\r\n/proc/self/mem\r\n");
    ASSERT_EQ(::mkfifo((dir + "fifo.splt").c_str(), 0600), 0);
    const std::string damaged = dir + "damaged.splt", nul = dir + "nul.splt", huge = dir + "huge.splt";
    writeFile(damaged, piece1 + "\r\n\r\n" + piece1 + "\r\n");
    writeFile(nul, piece1 + "\r\n" + piece1 + "\r\n" + piece1 + std::string("\0x", 2) + "\r\n");
    writeFile(huge, std::string(kLongestEntry + 1, 'a') + "\r\n");
    for (const char* name : {".splt", "..splt", "...splt"}) writeFile(dir + name, piece1 + "\r\n");
    struct Row {
        std::string name, index, folder, expected;
        rlim_t limit = RLIM_INFINITY;
    };
    const Row rows[] = {
        {"missing index", dir + "none.splt", back, "open " + dir + "none.splt: " + reason(ENOENT)},
        {"FIFO as index", dir + "fifo.splt", back, "open " + dir + "fifo.splt: not a regular file"},
        {"no output folder", index, dir + "none/", "create " + dir + "none/movie.avi: " + reason(ENOENT)},
        {"unreadable piece", dir + "proc.splt", back, "read /proc/self/mem: " + reason(EIO)},
        {"disk full, former file", index, back, "write " + back + "movie.avi: " + reason(EFBIG), 150},
        {"disk full, no former file", index, empty, "write " + empty + "movie.avi: " + reason(EFBIG), 150},
        {"into the index itself", own + "list", own, "rebuilt is the index: " + own + "list"},
        {"into a listed piece", dir + "x.splt", back, "rebuilt is a piece: " + back + "x " + back + "x"},
        {"empty line", damaged, back, "damaged: " + damaged + " line 2 empty"},
        {"NUL in a line", nul, back, "damaged: " + nul + " line 3 holds NUL"},
        {"line longer than any path", huge, back, "damaged: " + huge + " line 1 too long"},
        {"index named .splt", dir + ".splt", back, "no rebuilt name: " + dir + ".splt"},
        {"rebuilt name .", dir + "..splt", back, "no rebuilt name: " + dir + "..splt"},
        {"rebuilt name ..", dir + "...splt", back, "no rebuilt name: " + dir + "...splt"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        FakeHost host;
        const Result result = withFileSizeLimit(r.limit, [&] { return JoinFiles(host, r.index, r.folder); });
        EXPECT_EQ(summary(result), r.expected);
    }
    EXPECT_EQ(listing(back), (Names{"movie.avi", "x"}));
    EXPECT_EQ(listing(empty), Names{});
    EXPECT_EQ(listing(own), Names{"list"});
    EXPECT_EQ(readFile(back + "movie.avi"), "former");
    EXPECT_EQ(readFile(back + "x"), "piece x");
}

// What stands at the path of a listed piece.
enum class AtEntry { Nothing, Folder, DanglingLink, Unreadable };

// A missing entry, or one that is no regular file, ends the join with the
// bar full. What was joined stays under the rebuilt name, unless a former
// file stood there: that one is kept and the partial result dropped. A
// piece that cannot be read is not missing: the join fails and keeps nothing.
TEST_F(Engine, MissingPiece) {
    struct Row {
        std::string name;
        int missing;
        AtEntry at;
        bool former;
        std::string kept;
    };
    const Row rows[] = {
        {"first missing", 1, AtEntry::Nothing, false, ""},
        {"second missing", 2, AtEntry::Nothing, false, "111"},
        {"first missing, former file", 1, AtEntry::Nothing, true, "former"},
        {"second missing, former file", 2, AtEntry::Nothing, true, "former"},
        {"folder", 2, AtEntry::Folder, false, "111"},
        {"dangling link, former file", 3, AtEntry::DanglingLink, true, "former"},
        {"unreadable", 2, AtEntry::Unreadable, false, "<none>"},
    };
    int n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string p = mkdir("p" + std::to_string(++n)), folder = mkdir("back" + std::to_string(n));
        fs::permissions(dir, fs::perms::all);
        fs::permissions(folder, fs::perms::all);
        const std::string entry = p + "m_splt" + std::to_string(r.missing);
        writeFile(p + "m.splt", p + "m_splt1\r\n" + p + "m_splt2\r\n" + p + "m_splt3\r\n");
        for (const auto& [k, content] : {std::pair{1, "111"}, {2, "22"}, {3, "3"}}) {
            if (k != r.missing || r.at == AtEntry::Unreadable) writeFile(p + "m_splt" + std::to_string(k), content);
        }
        if (r.at == AtEntry::Folder) fs::create_directory(entry);
        if (r.at == AtEntry::DanglingLink) fs::create_symlink(p + "gone", entry);
        if (r.at == AtEntry::Unreadable) fs::permissions(entry, fs::perms::none);
        if (r.former) writeFile(folder + "m", "former");
        const std::string expected =
            r.at == AtEntry::Unreadable ? "open " + entry + ": " + reason(EACCES) : "missing piece: " + entry;
        // The unreadable row runs without root, whom permissions do not stop.
        const int status = inChild(
            [&] {
                FakeHost host;
                const std::string got = summary(JoinFiles(host, p + "m.splt", folder));
                const bool barFull = r.at == AtEntry::Unreadable || host.steps.back() == "3/3";
                return got == expected && barFull ? 0 : 1;
            },
            r.at == AtEntry::Unreadable);
        EXPECT_EQ(status, 0) << "expected " << expected;
        EXPECT_EQ(listing(folder), r.kept == "<none>" ? Names{} : Names{"m"});
        if (r.kept != "<none>") {
            EXPECT_EQ(readFile(folder + "m"), r.kept);
        }
    }
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

// True when `length` bytes of file `a` from `aAt` equal the start of `b`,
// read a block at a time. With `hollow`, every all-zero block of `b` gives
// its storage back afterwards; its content stays the same.
bool sameBytes(const std::string& a, std::int64_t aAt, const std::string& b, std::int64_t length, bool hollow) {
    const int fa = ::open(a.c_str(), O_RDONLY | O_CLOEXEC), fb = ::open(b.c_str(), O_RDWR | O_CLOEXEC);
    constexpr std::int64_t kBlock = 1 << 20;
    std::vector<char> ba(kBlock), bb(kBlock), zeros(kBlock);
    bool same = fa >= 0 && fb >= 0;
    for (std::int64_t done = 0; same && done < length; done += kBlock) {
        const auto want = std::size_t(std::min(kBlock, length - done));
        same = ::pread(fa, ba.data(), want, aAt + done) == ssize_t(want) &&
               ::pread(fb, bb.data(), want, done) == ssize_t(want) && std::memcmp(ba.data(), bb.data(), want) == 0;
        if (hollow && std::memcmp(bb.data(), zeros.data(), want) == 0) {
            ::fallocate(fb, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, done, std::int64_t(want));
        }
    }
    ::close(fa);
    ::close(fb);
    return same;
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
