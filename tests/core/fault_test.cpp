// Hostile inputs and faults: links planted at output paths, files that
// change while they are read, runs killed part-way, folders that cannot be
// listed, exceptions, and index files too large to hold. None of them may
// lose or mix a byte, or report success over it.
#include <csignal>
#include <cstdio>
#include <cstring>

#include "TestSupport.h"

namespace tessaly::test {
namespace {

enum class Link { Symbolic, Hard };
enum class Output { FirstPiece, Index, Rebuilt };

// Whatever stands at an output path is replaced by a new file, never
// written through: the file a link leads to keeps its bytes.
class NeverWritesThrough : public Engine {
protected:
    void plantAtEachOutput(Link link) {
        const std::string victim = dir + "victim";
        for (const Output output : {Output::FirstPiece, Output::Index, Output::Rebuilt}) {
            SCOPED_TRACE(output == Output::FirstPiece ? "at a piece"
                         : output == Output::Index    ? "at the index"
                                                      : "at the rebuilt file");
            fs::remove_all(fsPath(out));
            fs::remove_all(fsPath(back));
            mkdir("out");
            mkdir("back");
            writeFile(victim, "victim's own bytes");
            const std::string at = output == Output::FirstPiece ? out + "movie.avi_splt1"
                                   : output == Output::Index    ? index
                                                                : back + "movie.avi";
            if (link == Link::Symbolic) {
                ASSERT_TRUE(makeSymlink(victim, at));
            }
            if (link == Link::Hard) fs::create_hard_link(fsPath(victim), fsPath(at));
            FakeHost split, join;
            EXPECT_EQ(summary(SplitFile(split, src, 100, out)), "succeeded");
            EXPECT_EQ(summary(JoinFiles(join, index, back)), "succeeded");
            EXPECT_EQ(readFile(victim), "victim's own bytes");
            EXPECT_EQ(linkCount(victim), 1u);
            EXPECT_TRUE(isPlainFile(at));
            EXPECT_EQ(readFile(back + "movie.avi"), bytes);
        }
    }
};

TEST_F(NeverWritesThrough, AHardLink) { plantAtEachOutput(Link::Hard); }

TEST_F(NeverWritesThrough, ASymbolicLink) {
    SKIP_WITHOUT_SYMLINKS();
    plantAtEachOutput(Link::Symbolic);
}

// Runs `run` in a child process and kills it once it has copied its first
// bytes, as a user's kill or a crash would.
void killMidway(const std::function<Result(FakeHost&)>& run) {
#ifdef _WIN32
    (void)run;
    ADD_FAILURE() << "no fork on Windows";
#else
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const int status = inChild([&] {
        FakeHost host;
        host.onProgress = [&](const Progress& p) {
            if (p.bytes == 0) return;
            const char byte = 1;
            [[maybe_unused]] const auto told = ::write(ready[1], &byte, 1);
            ::pause();
        };
        run(host);
        return 0;
    }, false, [&](int child) {
        char byte = 0;
        [[maybe_unused]] const auto heard = ::read(ready[0], &byte, 1);
        ::kill(child, SIGKILL);
    });
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(status, 128 + SIGKILL);
#endif
}

// A run that is killed leaves no file that looks finished: a join leaves
// neither a partial result nor a temporary file, and keeps a former file; a
// split over an earlier set has removed that set's index before its first
// piece, so no index lists a mix of old and new pieces.
TEST_F(Engine, KilledRunsLeaveNothingThatLooksFinished) {
    POSIX_ONLY("fork and kill (and on Windows a killed join leaves its hidden .part file)");
    makeSparse(dir + "big", std::int64_t{256} << 20, {{0, "start"}});
    writeFile(dir + "big.splt", dir + "big\r\n" + dir + "big\r\n");
    for (const bool former : {false, true}) {
        SCOPED_TRACE(former ? "join over a former file" : "join into an empty folder");
        if (former) writeFile(back + "big", "former");
        killMidway([&](FakeHost& host) { return JoinFiles(host, dir + "big.splt", back); });
        EXPECT_EQ(listing(back), former ? Names{"big"} : Names{});
        if (former) {
            EXPECT_EQ(readFile(back + "big"), "former");
        }
    }
    FakeHost earlier;
    ASSERT_EQ(summary(SplitFile(earlier, dir + "big", std::int64_t{64} << 20, out)), "succeeded");
    killMidway([&](FakeHost& host) { return SplitFile(host, dir + "big", std::int64_t{32} << 20, out); });
    EXPECT_FALSE(fs::exists(out + "big.splt"));
}

// A split stopped or failing over an earlier set removes that set's index;
// pieces of the earlier set numbered above the new run's stay.
TEST_F(Engine, ResplitOverAnEarlierSet) {
    FakeHost earlier;
    ASSERT_EQ(summary(SplitFile(earlier, src, 50, out)), "succeeded");
    FakeHost host;
    host.stopAfterPasses = 1;
    host.pieceDelay = std::chrono::milliseconds(25);
    EXPECT_EQ(summary(SplitFile(host, src, 100, out)), "stopped");
    EXPECT_EQ(listing(out), (Names{"movie.avi_splt2", "movie.avi_splt3", "movie.avi_splt4", "movie.avi_splt5"}));
}

enum class Change { Grow, Rewrite, Shrink, RewriteWithinASecond, RewriteTimePutBack };

// A source that changes while it is split gives pieces of no one version
// of it: the split fails and keeps nothing. Pieces above 64 KiB are read as
// they are written, smaller ones from blocks read ahead: both must notice.
// A rewrite that keeps the size shows only in the time, which must be read
// finer than in whole seconds.
TEST_F(Engine, SourceChangedDuringTheSplit) {
    const std::string cutShort = "read " + src + ": the file ended early (was it changed during the run?)";
    constexpr std::int64_t kSecond = 1'700'000'000;
    struct Row {
        std::string name;
        Change change;
        std::int64_t chunk;
        std::string expected;
    };
    const Row rows[] = {
        {"grows, small pieces", Change::Grow, 100, "changed: " + src},
        {"grows, large pieces", Change::Grow, 1 << 20, "changed: " + src},
        {"rewritten in place, small pieces", Change::Rewrite, 100, "changed: " + src},
        {"rewritten in place, large pieces", Change::Rewrite, 1 << 20, "changed: " + src},
        {"rewritten in place within a second", Change::RewriteWithinASecond, 1 << 20, "changed: " + src},
        {"rewritten in place, time put back", Change::RewriteTimePutBack, 100, "changed: " + src},
        {"cut short, small pieces", Change::Shrink, 100, "changed: " + src},
        {"cut short, large pieces", Change::Shrink, 1 << 20, cutShort},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        writeFile(src, std::string(r.chunk * 5 / 2, 'x'));
        setModified(src, kSecond);
        FakeHost host;
        host.onProgress = [&](const Progress& p) {
            if (p.pieces != 1 || p.bytes != r.chunk) return;
            if (r.change == Change::Grow) std::ofstream(fsPath(src), std::ios::app) << "more";
            if (r.change == Change::Rewrite || r.change == Change::RewriteWithinASecond ||
                r.change == Change::RewriteTimePutBack) {
                std::fstream(fsPath(src), std::ios::in | std::ios::out | std::ios::binary) << "new!";
            }
            if (r.change == Change::Shrink) fs::resize_file(fsPath(src), 10);
            // A time of its own, whatever the clock's granularity: another
            // second, or a tenth of a second later in the same one.
            if (r.change == Change::RewriteWithinASecond) {
                setModified(src, kSecond, 100'000'000);
            } else if (r.change == Change::RewriteTimePutBack) {
                setModified(src, kSecond); // only the change time, which no one can set, tells
            } else {
                setModified(src, 12345);
            }
        };
        EXPECT_EQ(summary(SplitFile(host, src, r.chunk, out)), r.expected);
        EXPECT_EQ(listing(out), Names{});
    }
}

enum class JoinChange { PieceGrows, IndexGrows, PieceReplaced };

// A piece or the index file that changes while it is joined fails the join,
// which keeps nothing; so does a piece replaced by another file, as a new
// split into the pieces' folder would, after the index was first read.
TEST_F(Engine, FileChangedDuringTheJoin) {
    const std::string piece = dir + "piece", listed = dir + "p.splt";
    struct Row {
        std::string name;
        JoinChange change;
        std::string expected;
    };
    const Row rows[] = {
        {"piece grows", JoinChange::PieceGrows, "changed: " + piece},
        {"index grows", JoinChange::IndexGrows, "changed: " + listed},
        {"piece replaced, same bytes and time", JoinChange::PieceReplaced, "pieces changed: " + listed},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        writeFile(piece, std::string(12 << 20, 'p'));
        setModified(piece, 12345);
        writeFile(listed, piece + "\r\n" + piece + "\r\n");
        FakeHost host;
        host.onProgress = [&](const Progress& p) {
            if (r.change == JoinChange::IndexGrows && p.pieces == 1) {
                std::ofstream(fsPath(listed), std::ios::app) << piece << "\r\n";
            }
            if (r.change == JoinChange::PieceGrows && p.pieces == 0 && p.bytes > 0) {
                std::ofstream(fsPath(piece), std::ios::app) << "more";
            }
            if (r.change == JoinChange::PieceReplaced && p.pieces == 0 && p.bytes == 0) {
                writeFile(dir + "twin", readFile(piece));
                setModified(dir + "twin", 12345);
                fs::rename(fsPath(dir + "twin"), fsPath(piece));
            }
        };
        EXPECT_EQ(summary(JoinFiles(host, listed, back)), r.expected);
        EXPECT_EQ(listing(back), Names{});
    }
}

// Another run, or anyone else, that replaces a piece while a split goes on
// leaves a set that is not this one: no index may list it.
TEST_F(Engine, PieceReplacedDuringTheSplit) {
    FakeHost host;
    host.onProgress = [&](const Progress& p) {
        if (p.pieces == 2) {
            writeFile(out + "other", "another run's piece");
            fs::rename(fsPath(out + "other"), fsPath(out + "movie.avi_splt1"));
        }
    };
    EXPECT_EQ(summary(SplitFile(host, src, 100, out)), "pieces changed: " + src);
    EXPECT_EQ(listing(out), Names{});
}

// Pieces, index and rebuilt file are readable by no one the source was not;
// a rebuilt file that replaces another is also kept to that one's readers.
TEST_F(Engine, OutputsKeepToTheirOriginalsReaders) {
    POSIX_ONLY("permission bits");
    const auto permissions = [](const std::string& path) { return unsigned(fs::status(path).permissions()) & 0777; };
    const auto process = ::umask(022);
    fs::permissions(src, fs::perms(0600));
    FakeHost split, join, again;
    ASSERT_EQ(summary(SplitFile(split, src, 100, out)), "succeeded");
    for (const std::string& file : listing(out)) EXPECT_EQ(permissions(out + file), 0600u) << file;
    ASSERT_EQ(summary(JoinFiles(join, index, back)), "succeeded");
    EXPECT_EQ(permissions(back + "movie.avi"), 0600u);
    fs::permissions(back + "movie.avi", fs::perms(0640));
    for (const std::string& file : listing(out)) fs::permissions(out + file, fs::perms(0644));
    ASSERT_EQ(summary(JoinFiles(again, index, back)), "succeeded");
    EXPECT_EQ(permissions(back + "movie.avi"), 0640u);
    ::umask(process);
}

// An output folder that can be entered but not listed: the check for
// outputs that are the source asks about each output path in turn.
TEST_F(Engine, OutputFolderThatCannotBeListed) {
    POSIX_ONLY("folder permissions that stop a process without root");
    fs::permissions(dir, fs::perms::all);
    for (const bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "hard link to the source at piece 2" : "nothing there");
        const std::string folder = mkdir(linked ? "linked" : "plain");
        if (linked) fs::create_hard_link(src, folder + "movie.avi_splt2");
        fs::permissions(folder, fs::perms::owner_write | fs::perms::owner_exec | fs::perms::others_write |
                                    fs::perms::others_exec | fs::perms::group_write | fs::perms::group_exec);
        const std::string expected = linked ? "would overwrite the source: " + folder + "movie.avi_splt2" : "succeeded";
        // Permissions do not stop root, so the split runs without.
        const int status = inChild(
            [&] {
                FakeHost host;
                const std::string got = summary(SplitFile(host, src, 10, folder));
                if (got != expected) std::fprintf(stderr, "got: %s\n", got.c_str());
                return got == expected ? 0 : 1;
            },
            true);
        EXPECT_EQ(status, 0) << "expected " << expected;
        fs::permissions(folder, fs::perms::all);
        EXPECT_EQ(listing(folder).size(), linked ? 1u : 26u);
    }
}

// An exception thrown inside a run (here by the host, as an allocation
// would) is a failure like any other, cleaned up the same way.
TEST_F(Engine, ExceptionsStopAtTheEngine) {
    writeFile(dir + "m.splt", src + "\r\n" + src + "\r\n");
    for (const bool join : {false, true}) {
        SCOPED_TRACE(join ? "join" : "split");
        FakeHost host;
        host.onProgress = [](const Progress& p) {
            if (p.pieces == 1) throw std::bad_alloc();
        };
        const Result result = join ? JoinFiles(host, dir + "m.splt", back) : SplitFile(host, src, 100, out);
        EXPECT_EQ(summary(result), "unexpected: not enough memory");
        EXPECT_EQ(listing(join ? back : out), Names{});
    }
}

// Peak resident memory gained while `run` runs, in bytes; -1 where the
// system does not tell (it is read from /proc).
template <class Run>
long peakGrowth(Run run) {
    if (kWindows) {
        run();
        return -1;
    }
    auto kib = [](const char* field) {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with(field)) return std::stol(line.substr(std::strlen(field)));
        }
        return -1L;
    };
    std::ofstream("/proc/self/clear_refs") << "5"; // starts the peak afresh
    const long before = kib("VmRSS:");
    run();
    const long peak = kib("VmHWM:");
    return before < 0 || peak < 0 ? -1 : (peak - before) * 1024;
}

// Reading an index holds neither the whole text nor its entries: a long
// index is checked in fixed memory, and an index of zeros far larger than
// memory is refused at its first line. (Under Wine each entry costs a
// file-system call many times slower, so the index there is shorter.)
TEST_F(Engine, IndexFilesLargerThanMemory) {
    const int entries = kWindows ? 20'000 : 2'000'000;
    std::string text;
    for (int i = 0; i < entries; ++i) text += "/nonexistent/p\r\n";
    writeFile(dir + "long.splt", text);
    text = std::string();
    makeSparse(dir + "zeros.splt", std::int64_t{64} << 30);
    FakeHost host;
    Result result;
    [[maybe_unused]] const long growth = peakGrowth([&] { result = JoinFiles(host, dir + "long.splt", back); });
    EXPECT_EQ(summary(result), "missing piece: /nonexistent/p");
    EXPECT_EQ(host.last.pieceCount, entries);
#if !defined(__SANITIZE_ADDRESS__)
    if (growth >= 0) {
        EXPECT_LT(growth, 8 << 20);
    }
#endif
    EXPECT_EQ(summary(JoinFiles(host, dir + "zeros.splt", back)), "damaged: " + dir + "zeros.splt line 1 holds NUL");
    EXPECT_EQ(listing(back), Names{"long"}); // what was joined before the missing piece: nothing
}

// A set listing more bytes than any file can hold: the count shown stops at
// the largest number instead of overflowing (the run is stopped long before
// the copy could fail).
TEST_F(Engine, SetLargerThanAnyFile) {
    POSIX_ONLY("a sparse file of 2^63 - 1 bytes");
    makeSparse(dir + "huge", INT64_MAX);
    writeFile(dir + "huge.splt", dir + "huge\r\n" + dir + "huge\r\n");
    FakeHost host;
    host.stopAfterPasses = 1;
    EXPECT_EQ(summary(JoinFiles(host, dir + "huge.splt", back)), "stopped");
    EXPECT_EQ(host.last.byteCount, INT64_MAX);
    EXPECT_EQ(listing(back), Names{});
}

} // namespace
} // namespace tessaly::test
