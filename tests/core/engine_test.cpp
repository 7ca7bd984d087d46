// The engine's splits and joins, from an empty source to one over 4 GiB and
// to 40000 pieces, and the runs that do not finish: each of those tells the
// user once (a stop says nothing) and leaves no half-written result that
// looks finished. Also the platform probes the engine relies on.
#include <csignal>
#include <cstring>

#include <sys/resource.h>
#include <sys/stat.h>

#include "FileSize.h"
#include "Paths.h"
#include "TestSupport.h"

namespace tessaly::test {
namespace {

std::string reason(int error) { return std::system_category().message(error); }

// Every row splits, checks each piece, the listing and the index bytes, then
// joins back. Rows cover both copy paths (pieces up to 64 KiB come from a
// 1 MiB read-ahead block, larger ones are copied) and their edges, and more
// pieces than a 16-bit count holds. `stale` puts longer files of an earlier
// run where this one writes.
TEST_F(Engine, PiecesIndexAndJoinBack) {
    struct Row { std::size_t length; std::int64_t chunk, pieces; bool stale = false; };
    const Row rows[] = {
        {250, 100, 3, true}, {0, 5, 0},           {10, 1, 10},        {1000, 1000, 1},
        {1000, 999, 2},      {1000, INT64_MAX, 1}, {200000, 65537, 4}, {(5u << 19) + 43, 65535, 41}, {40000, 1, 40000},
    };
    int n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE("length " + std::to_string(r.length) + ", chunk " + std::to_string(r.chunk));
        for (const std::string& folder : {out, back}) fs::remove_all(folder), fs::create_directory(folder);
        writeFile(src, bytes = byteRun(r.length, ++n));
        for (const auto& p : {out + "movie.avi_splt1", index, back + "movie.avi"}) {
            if (r.stale) writeFile(p, std::string(5000, 'x'));
        }
        FakeHost split(out), join(back);
        ASSERT_EQ(SplitFile(split, src, r.chunk), Outcome::Succeeded);
        split.expectDone(r.pieces, kSplitDoneText);
        Names names{"movie.avi.splt"};
        std::string listed;
        for (std::int64_t k = 1; k <= r.pieces; ++k) {
            names.push_back("movie.avi_splt" + std::to_string(k));
            listed += out + names.back() + "\r\n";
            EXPECT_EQ(readFile(out + names.back()), bytes.substr(std::size_t((k - 1) * r.chunk), std::size_t(r.chunk)));
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(listing(out), names);
        EXPECT_EQ(readFile(index), listed);
        EXPECT_EQ(JoinFiles(join, index), Outcome::Succeeded);
        join.expectDone(r.pieces, kJoinDoneText);
        EXPECT_EQ(listing(back), Names{"movie.avi"});
        EXPECT_TRUE(readFile(back + "movie.avi") == bytes);
    }
}

// Entries are joined in listed order under the index's base name with every
// ".splt" removed, in any letter case, in one pass.
TEST_F(Engine, JoinFollowsTheListUnderTheRebuiltName) {
    const std::string p = mkdir("p"), a = p + "a_splt1\r\n", b = p + "b_splt2\r\n";
    for (const auto& [name, data] : {std::pair{"a_splt1", "AAA"}, {"b_splt2", "BB"}, {".hidden", "H"}, {"empty", ""}}) {
        writeFile(p + name, data);
    }
    struct Row { std::string indexName, index; std::int64_t entries; std::string rebuiltName, bytes; };
    const Row rows[] = {
        {"movie.avi.splt", b + a, 2, "movie.avi", "BBAAA"},
        {"REPORT.DOC.SPLT", a + p + "b_splt2", 1, "REPORT.DOC", "AAA"}, // last line without CR LF
        {"a.splt.splt", p + "a_splt1", 0, "a", ""},
        {"notes.spltx", p + ".hidden\r\n" + a, 2, "notesx", "HAAA"},
        {"list.txt", a + p + "empty\r\n" + a, 3, "list.txt", "AAAAAA"},
        {"X.SPLT.splt", b, 1, "X", "BB"},
        {"a..spltsplt", a, 1, "a.splt", "AAA"},
    };
    int n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.indexName);
        const std::string indexPath = mkdir(std::to_string(++n)) + r.indexName, folder = mkdir("b" + std::to_string(n));
        writeFile(indexPath, r.index);
        FakeHost host(folder);
        EXPECT_EQ(JoinFiles(host, indexPath), Outcome::Succeeded);
        host.expectDone(r.entries, kJoinDoneText);
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
    for (const auto& [name, size] : {std::pair<std::string, std::int64_t>{"250", 250}, {".empty", 0}, {"missing", 0},
                                     {"", 0}, {"fifo", 0}, {"big", (std::int64_t{4} << 30) + 100}}) {
        EXPECT_EQ(FileSize::FileSize2(dir + name), size) << name;
    }
    for (const auto& [path, present] : {std::pair{dir + "250", true}, {dir + ".empty", true}, {dir + "link", true},
                                        {dir, false}, {dir + "fifo", false}, {"/dev/null", false},
                                        {dir + "dangling", false}, {"", false}}) {
        EXPECT_EQ(isPresentFile(path), present) << path;
    }
}

// Runs `run` with writes beyond `bytes` failing (EFBIG), as on a full disk.
template <class Run> Outcome withFileSizeLimit(rlim_t bytes, Run run) {
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limit{bytes, saved.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const Outcome outcome = run();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    return outcome;
}

// Each row splits into a folder of its own, where `stands` is put first:
// 'l' a link to the source, 'h' a hard link to it, 'd' a folder, 'z' a link
// to /dev/full, 'n' no folder at all. A failure names the path and the
// reason ('@' stands for the folder) and leaves what stood there before,
// but neither pieces nor an index (the /dev/full link served as a piece).
TEST_F(Engine, SplitFailures) {
    ASSERT_EQ(::mkfifo((dir + "fifo").c_str(), 0600), 0);
    // A file that gives fewer bytes than its size says.
    const std::string none = dir + "none", shortFile = "/sys/devices/system/cpu/online";
    const std::string overwrite = "Cannot split " + src + ": @movie.avi";
    struct Row { std::string source; std::int64_t chunk; std::string message; char stands = ' ';
                 std::string name = {}; rlim_t limit = RLIM_INFINITY; };
    const Row rows[] = {
        {none, 100, "Cannot open " + none + ": " + reason(ENOENT)},
        {dir + "src", 100, "Cannot open " + dir + "src: " + reason(EISDIR)},
        {dir + "fifo", 100, "Cannot open " + dir + "fifo: " + reason(EINVAL)},
        {shortFile, 1000, "Cannot read " + shortFile + ": "},
        {src, 0, "The chunk size must be"},
        {src, -100, "The chunk size must be"},
        {src, 100, "Cannot create @movie.avi_splt1: " + reason(ENOENT), 'n'},
        {src, 100, "Cannot create @movie.avi.splt: " + reason(EISDIR), 'd', "movie.avi.splt"},
        {src, 100, overwrite + "_splt1 would overwrite", 'l', "movie.avi_splt1"},
        {src, 100, overwrite + "_splt3 would overwrite", 'l', "movie.avi_splt3"},
        {src, 100, overwrite + ".splt would overwrite", 'l', "movie.avi.splt"},
        {src, 100, overwrite + "_splt2 would overwrite", 'h', "movie.avi_splt2"},
        {src, 100, "Cannot write @movie.avi_splt2: " + reason(ENOSPC), 'z', "movie.avi_splt2"},
        {src, 200, "Cannot write @movie.avi_splt1: " + reason(EFBIG), ' ', "", 101},
        {src, 100, "Cannot write @movie.avi.splt: " + reason(EFBIG), ' ', "", 101}, // the pieces fit, the index not
    };
    int n = 0;
    for (Row r : rows) {
        const std::string folder = r.stands == 'n' ? none + "/" : mkdir(std::to_string(++n)), at = folder + r.name;
        if (const auto i = r.message.find('@'); i != std::string::npos) r.message.replace(i, 1, folder);
        SCOPED_TRACE(r.message);
        if (r.source == shortFile && FileSize::FileSize2(shortFile) <= 100) continue;
        if (r.stands == 'l') fs::create_symlink(src, at);
        if (r.stands == 'h') fs::create_hard_link(src, at);
        if (r.stands == 'd') fs::create_directory(at);
        if (r.stands == 'z') fs::create_symlink("/dev/full", at);
        FakeHost host(folder);
        host.expectFailed(withFileSizeLimit(r.limit, [&] { return SplitFile(host, r.source, r.chunk); }),
                          kSplitErrorTitle, r.message);
        const bool stays = r.stands == 'l' || r.stands == 'h' || r.stands == 'd';
        if (r.stands != 'n') {
            EXPECT_EQ(listing(folder), stays ? Names{r.name} : Names{});
        }
    }
    EXPECT_EQ(readFile(src), bytes);
}

// A failed or refused join names the path and the reason, leaves no
// temporary file, and keeps a former rebuilt file and whatever it reads.
TEST_F(Engine, JoinFailures) {
    FakeHost split(out);
    ASSERT_EQ(SplitFile(split, src, 100), Outcome::Succeeded);
    const std::string empty = mkdir("empty"), own = mkdir("own"), piece1 = out + "movie.avi_splt1";
    writeFile(back + "movie.avi", "former");
    writeFile(back + "x", "piece x");
    writeFile(own + "list", piece1 + "\r\n");
    writeFile(dir + "x.splt", piece1 + "\r\n" + back + "x\r\n");
    // This process's memory, read from address 0, which is not mapped.
    writeFile(dir + "proc.splt", piece1 + "\r\n/proc/self/mem\r\n");
    const std::string into = "Cannot join into ";
    struct Row { std::string index, folder, message; rlim_t limit = RLIM_INFINITY; };
    const Row rows[] = {
        {dir + "none.splt", back, "Cannot open " + dir + "none.splt: " + reason(ENOENT)},
        {index, dir + "none/", "Cannot create " + dir + "none/movie.avi: " + reason(ENOENT)},
        {dir + "proc.splt", back, "Cannot read /proc/self/mem: " + reason(EIO)},
        {index, back, "Cannot write " + back + "movie.avi: " + reason(EFBIG), 150},
        {index, empty, "Cannot write " + empty + "movie.avi: " + reason(EFBIG), 150},
        {own + "list", own, into + own + "list: it is the index file itself"},
        {dir + "x.splt", back, into + back + "x: it is the listed piece " + back + "x"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.message);
        FakeHost host(r.folder);
        host.expectFailed(withFileSizeLimit(r.limit, [&] { return JoinFiles(host, r.index); }), kJoinErrorTitle,
                          r.message);
    }
    EXPECT_EQ(listing(back), (Names{"movie.avi", "x"}));
    EXPECT_EQ(listing(empty).size() + listing(own).size(), 1u);
    EXPECT_EQ(readFile(back + "movie.avi") + readFile(back + "x") + readFile(own + "list"),
              "formerpiece x" + piece1 + "\r\n");
}

// A missing entry, or one that is no regular file ('d' a folder, 'l' a
// dangling link), ends the join with the bar full. What was joined stays
// under the rebuilt name, unless a former file stood there: that one is kept
// and the partial result removed.
TEST_F(Engine, MissingPiece) {
    struct Row { int missing; char stands; bool former; std::string kept; };
    const Row rows[] = {
        {1, ' ', false, ""},    {2, ' ', false, "111"}, {1, ' ', true, "former"},
        {2, ' ', true, "former"}, {2, 'd', false, "111"}, {3, 'l', true, "former"},
    };
    int n = 0;
    for (const Row& r : rows) {
        const std::string p = mkdir("p" + std::to_string(++n)), folder = mkdir("back" + std::to_string(n));
        const std::string entry = p + "m_splt" + std::to_string(r.missing);
        SCOPED_TRACE(entry + " '" + r.stands + "'");
        writeFile(p + "m.splt", p + "m_splt1\r\n" + p + "m_splt2\r\n" + p + "m_splt3\r\n");
        for (const auto& [k, content] : {std::pair{1, "111"}, {2, "22"}, {3, "3"}}) {
            if (k != r.missing) writeFile(p + "m_splt" + std::to_string(k), content);
        }
        if (r.stands == 'd') fs::create_directory(entry);
        if (r.stands == 'l') fs::create_symlink(p + "gone", entry);
        if (r.former) writeFile(folder + "m", "former");
        FakeHost host(folder);
        host.expectFailed(JoinFiles(host, p + "m.splt"), kJoinErrorTitle, entry + kMissingPieceSuffix);
        EXPECT_EQ(host.log.end()[-2], "v3");
        EXPECT_EQ(listing(folder), Names{"m"});
        EXPECT_EQ(readFile(folder + "m"), r.kept);
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
        FakeHost host(join ? back : out);
        host.stopAfterPasses = withinPiece ? 1 : 3;
        host.delay = std::chrono::milliseconds(withinPiece ? 0 : 25);
        std::string list;
        for (std::int64_t k = 1; k <= pieces; ++k) list += (withinPiece ? big : src) + "\r\n";
        writeFile(dir + "movie.avi.splt", list);
        EXPECT_EQ(join ? JoinFiles(host, dir + "movie.avi.splt")
                       : SplitFile(host, withinPiece ? big : src, withinPiece ? std::int64_t{1} << 30 : 25),
                  Outcome::Stopped);
        EXPECT_TRUE(host.shown == 0 && host.passes == host.stopAfterPasses && host.value < pieces) << host.log.back();
        EXPECT_EQ(listing(out), Names{"movie.avi_splt12"});
        EXPECT_EQ(listing(back), Names{"movie.avi"});
        EXPECT_TRUE(fs::file_size(back + "movie.avi") == 6 && readFile(back + "movie.avi") == "former");
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
    ::close(fa), ::close(fb);
    return same;
}

// Marks at and around each piece boundary show that no slice moved. Each
// piece is hollowed out once checked, so one 4 GiB copy holds storage at a time.
TEST_F(Engine, SourceOver4GiBInPiecesOver2GiB) {
    const std::int64_t kGiB = std::int64_t{1} << 30, length = 4 * kGiB + 100, chunk = 2 * kGiB + 1;
    const std::string img = dir + "big.img";
    std::vector<std::pair<std::int64_t, std::string>> marks{{0, "first"}, {length - 5, "last!"}};
    for (const std::int64_t at : {chunk, 2 * chunk, 2 * kGiB, 4 * kGiB}) {
        marks.emplace_back(at - 3, "<|>" + std::to_string(at));
    }
    makeSparse(img, length, marks);
    FakeHost split(out), join(back);
    ASSERT_EQ(SplitFile(split, img, chunk), Outcome::Succeeded);
    split.expectDone(3, kSplitDoneText);
    for (int k = 1; k <= 3; ++k) {
        const std::string piece = out + "big.img_splt" + std::to_string(k);
        const std::int64_t size = std::min(chunk, length - (k - 1) * chunk);
        EXPECT_TRUE(FileSize::FileSize2(piece) == size && sameBytes(img, (k - 1) * chunk, piece, size, true)) << k;
    }
    ASSERT_EQ(JoinFiles(join, out + "big.img.splt"), Outcome::Succeeded);
    join.expectDone(3, kJoinDoneText);
    EXPECT_EQ(FileSize::FileSize2(back + "big.img"), length);
    EXPECT_TRUE(sameBytes(img, 0, back + "big.img", length, false));
}

} // namespace
} // namespace tessaly::test
