// Runs that do not finish: failures, refusals, missing pieces, a full disk
// and stop requests. Each tells the user once (a stop says nothing) and
// leaves no half-written result that looks finished.
#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

#include "FileSize.h"
#include "TestSupport.h"

namespace tessaly::test {
namespace {

std::string reason(int error) { return std::system_category().message(error); }

// Runs `run` with writes beyond `bytes` failing (EFBIG), as on a full disk.
template <class Run> Outcome withFileSizeLimit(rlim_t bytes, Run run) {
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit{bytes, saved.rlim_max};
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const Outcome outcome = run();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    return outcome;
}

class Unfinished : public Scratch {
protected:
    void SetUp() override {
        Scratch::SetUp();
        src = mkdir("src") + "movie.avi", out = mkdir("out"), back = mkdir("back"), index = out + "movie.avi.splt";
        writeFile(src, bytes);
    }
    // Splits the source into three pieces in `out`.
    void splitSource() {
        FakeHost host(out);
        ASSERT_EQ(SplitFile(host, src, 100), Outcome::Succeeded);
    }
    std::string src, out, back, index, bytes = byteRun(250);
};

// A failed split names the path and the reason, removes its pieces, writes no
// index and leaves what stood in the folder (a folder at the index path).
TEST_F(Unfinished, SplitFailures) {
    ASSERT_EQ(::mkfifo((dir + "fifo").c_str(), 0600), 0);
    const std::string indexFolder = mkdir("ixf"), none = dir + "none";
    fs::create_directory(indexFolder + "movie.avi.splt");
    // A file that gives fewer bytes than its size says.
    const std::string shortFile = "/sys/devices/system/cpu/online";
    struct Row { std::string source; std::int64_t chunk; std::string folder, message; };
    const Row rows[] = {
        {none, 100, out, "Cannot open " + none + ": " + reason(ENOENT)},
        {dir + "src", 100, out, "Cannot open " + dir + "src: " + reason(EISDIR)},
        {dir + "fifo", 100, out, "Cannot open " + dir + "fifo: " + reason(EINVAL)},
        {shortFile, 1000, out, "Cannot read " + shortFile + ": "},
        {src, 100, none + "/", "Cannot create " + none + "/movie.avi_splt1: " + reason(ENOENT)},
        {src, 100, indexFolder, "Cannot create " + indexFolder + "movie.avi.splt: " + reason(EISDIR)},
        {src, 0, out, "The chunk size must be"},
        {src, -100, out, "The chunk size must be"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.message);
        if (r.source == shortFile && FileSize::FileSize2(shortFile) <= 100) continue;
        const Names before = listing(fs::exists(r.folder) ? r.folder : out);
        FakeHost host(r.folder);
        EXPECT_EQ(SplitFile(host, r.source, r.chunk), Outcome::Failed);
        host.expectWarning(kSplitErrorTitle, r.message);
        EXPECT_EQ(listing(fs::exists(r.folder) ? r.folder : out), before);
    }
    EXPECT_EQ(readFile(src), bytes);
}

// An output path that is the source itself, through a link, is refused
// before anything is written.
TEST_F(Unfinished, SplitRefusesToOverwriteItsSource) {
    int n = 0;
    for (const std::string name : {"movie.avi_splt1", "movie.avi_splt3", "movie.avi.splt", "movie.avi_splt2"}) {
        SCOPED_TRACE(name);
        const std::string folder = mkdir("links" + std::to_string(++n));
        n == 4 ? fs::create_hard_link(src, folder + name) : fs::create_symlink(src, folder + name);
        FakeHost host(folder);
        EXPECT_EQ(SplitFile(host, src, 100), Outcome::Failed);
        host.expectWarning(kSplitErrorTitle, "Cannot split " + src + ": " + folder + name + " would overwrite");
        EXPECT_EQ(host.calls, Names{"folder"});
        EXPECT_EQ(readFile(src), bytes);
        EXPECT_EQ(listing(folder), Names{name});
    }
}

TEST_F(Unfinished, SplitOnAFullDiskRemovesItsPiecesAndWritesNoIndex) {
    struct Row { std::int64_t chunk; rlim_t limit; std::string failing; int error; };
    const Row rows[] = {
        {100, RLIM_INFINITY, "movie.avi_splt2", ENOSPC}, // a link to /dev/full
        {200, 101, "movie.avi_splt1", EFBIG},
        {100, 101, "movie.avi.splt", EFBIG}, // pieces fit, the index of three full paths does not
    };
    int n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.failing);
        const std::string folder = mkdir("out" + std::to_string(++n));
        if (r.error == ENOSPC) fs::create_symlink("/dev/full", folder + r.failing);
        FakeHost host(folder);
        EXPECT_EQ(withFileSizeLimit(r.limit, [&] { return SplitFile(host, src, r.chunk); }), Outcome::Failed);
        host.expectWarning(kSplitErrorTitle, "Cannot write " + folder + r.failing + ": " + reason(r.error));
        EXPECT_EQ(listing(folder), Names{});
    }
}

// A failed join names the path and the reason, leaves no temporary file and
// keeps the former rebuilt file.
TEST_F(Unfinished, JoinFailures) {
    splitSource();
    const std::string folderBack = mkdir("fb"), procIndex = dir + "proc.splt";
    fs::create_directory(folderBack + "movie.avi");
    writeFile(back + "proc", "former");
    // This process's memory, read from address 0, which is not mapped.
    writeFile(procIndex, out + "movie.avi_splt1\r\n/proc/self/mem\r\n");
    struct Row { std::string index, folder, message; };
    const Row rows[] = {
        {dir + "none.splt", back, "Cannot open " + dir + "none.splt: " + reason(ENOENT)},
        {index, folderBack, "Cannot write " + folderBack + "movie.avi: " + reason(EISDIR)},
        {index, dir + "none/", "Cannot create " + dir + "none/movie.avi: " + reason(ENOENT)},
        {procIndex, back, "Cannot read /proc/self/mem: " + reason(EIO)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.message);
        FakeHost host(r.folder);
        EXPECT_EQ(JoinFiles(host, r.index), Outcome::Failed);
        host.expectWarning(kJoinErrorTitle, r.message);
    }
    EXPECT_EQ(listing(back), Names{"proc"});
    EXPECT_EQ(readFile(back + "proc"), "former");
    EXPECT_EQ(listing(folderBack), Names{"movie.avi"});
}

// The rebuilt path may not be the index or a listed piece, however spelled.
TEST_F(Unfinished, JoinRefusesToOverwriteWhatItReads) {
    splitSource();
    const std::string own = mkdir("own"), piece1 = out + "movie.avi_splt1";
    writeFile(own + "list", piece1 + "\r\n");
    writeFile(back + "x", "piece x");
    fs::create_symlink(out + "movie.avi_splt2", back + "y");
    writeFile(dir + "x.splt", piece1 + "\r\n" + back + "x\r\n");
    writeFile(dir + "y.splt", piece1 + "\r\n" + out + "movie.avi_splt2\r\n");
    for (const auto& [indexPath, folder] : {std::pair{own + "list", own}, {dir + "x.splt", back}, {dir + "y.splt", back}}) {
        SCOPED_TRACE(indexPath);
        FakeHost host(folder);
        EXPECT_EQ(JoinFiles(host, indexPath), Outcome::Failed);
        host.expectWarning(kJoinErrorTitle, "Cannot join into " + folder + RebuiltName(indexPath) + ": it is the ");
        EXPECT_EQ(host.calls, Names{"folder"});
    }
    EXPECT_EQ(listing(own), Names{"list"});
    EXPECT_EQ(listing(back), (Names{"x", "y"}));
    EXPECT_EQ(readFile(own + "list") + readFile(back + "x") + readFile(back + "y"), piece1 + "\r\npiece x" + bytes.substr(100, 100));
}

// A missing entry (or one that is no regular file) ends the join with the
// bar full. What was joined stays under the rebuilt name, unless a former
// file stood there: that one is kept and the partial result removed.
TEST_F(Unfinished, MissingPiece) {
    struct Row { int missing; char stands; bool former; std::string kept; };
    const Row rows[] = {
        {1, ' ', false, ""},     {2, ' ', false, "111"},  {1, ' ', true, "former"}, {2, ' ', true, "former"},
        {2, 'd', false, "111"},  {2, 'f', true, "former"}, {3, 'l', false, "11122"},
    };
    int n = 0;
    for (const Row& r : rows) {
        const std::string p = mkdir("p" + std::to_string(++n)), folder = mkdir("back" + std::to_string(n));
        const std::string entry = p + "m_splt" + std::to_string(r.missing);
        SCOPED_TRACE(entry + " '" + r.stands + "'");
        writeFile(p + "m.splt", p + "m_splt1\r\n" + p + "m_splt2\r\n" + p + "m_splt3\r\n");
        for (const auto& [k, piece] : {std::pair{1, "111"}, {2, "22"}, {3, "3"}}) writeFile(p + "m_splt" + std::to_string(k), piece);
        fs::remove(entry);
        if (r.stands == 'd') fs::create_directory(entry);
        if (r.stands == 'f') { ASSERT_EQ(::mkfifo(entry.c_str(), 0600), 0); }
        if (r.stands == 'l') fs::create_symlink(p + "gone", entry);
        if (r.former) writeFile(folder + "m", "former");
        FakeHost host(folder);
        EXPECT_EQ(JoinFiles(host, p + "m.splt"), Outcome::Failed);
        EXPECT_EQ(host.messages, (std::vector<Message>{{kJoinErrorTitle, entry + kMissingPieceSuffix, MessageIcon::Warning, 3}}));
        EXPECT_EQ(listing(folder), Names{"m"});
        EXPECT_EQ(readFile(folder + "m"), r.kept);
    }
}

TEST_F(Unfinished, JoinOnAFullDiskKeepsTheFormerFile) {
    splitSource();
    for (const bool former : {false, true}) {
        if (former) writeFile(back + "movie.avi", std::string(1000, 'f'));
        FakeHost host(back);
        EXPECT_EQ(withFileSizeLimit(150, [&] { return JoinFiles(host, index); }), Outcome::Failed);
        host.expectWarning(kJoinErrorTitle, "Cannot write " + back + "movie.avi: " + reason(EFBIG));
        EXPECT_EQ(listing(back), former ? Names{"movie.avi"} : Names{});
        EXPECT_EQ(readFile(back + "movie.avi"), former ? std::string(1000, 'f') : "");
    }
}

// A stop request ends the run silently and removes what it wrote. Between
// pieces: each step sleeps past the event-pass interval, so a pass follows
// every piece. Within a piece: copying 1 GiB takes many passes, and the
// first one stops the run.
TEST_F(Unfinished, StopRequestRemovesWhatTheRunWrote) {
    const std::string big = dir + "big";
    makeSparse(big, std::int64_t{1} << 30, {{0, "start"}});
    writeFile(out + "movie.avi_splt12", "earlier set");
    writeFile(back + "movie.avi", "former");
    for (const auto& [join, withinPiece] : {std::pair{false, false}, {false, true}, {true, false}, {true, true}}) {
        SCOPED_TRACE(std::string(join ? "join" : "split") + (withinPiece ? " within a piece" : " between pieces"));
        const std::int64_t pieces = withinPiece ? 1 : 10;
        FakeHost host(join ? back : out);
        host.stopAfterPasses = withinPiece ? 1 : 3;
        if (!withinPiece) host.delay = std::chrono::milliseconds(25);
        std::string list;
        for (std::int64_t k = 1; k <= pieces; ++k) list += (withinPiece ? big : src) + "\r\n";
        writeFile(dir + "movie.avi.splt", list);
        EXPECT_EQ(join ? JoinFiles(host, dir + "movie.avi.splt")
                       : SplitFile(host, withinPiece ? big : src, withinPiece ? std::int64_t{1} << 30 : 25),
                  Outcome::Stopped);
        EXPECT_EQ(host.messages, std::vector<Message>{});
        EXPECT_TRUE(host.passes == host.stopAfterPasses && host.value < pieces) << host.passes << " " << host.value;
        EXPECT_EQ(listing(out), Names{"movie.avi_splt12"});
        EXPECT_EQ(listing(back), Names{"movie.avi"});
        EXPECT_TRUE(fs::file_size(back + "movie.avi") == 6 && readFile(back + "movie.avi") == "former");
    }
}

} // namespace
} // namespace tessaly::test
