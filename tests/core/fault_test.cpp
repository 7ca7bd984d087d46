// Hostile inputs and faults: links planted at output paths, files that
// change while they are read, runs killed part-way, folders that cannot be
// listed, exceptions, and index files too large to hold. None of them may
// lose or mix a byte, or report success over it.
#include <csignal>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

#include "TestSupport.h"

namespace tessaly::test {
namespace {

enum class Link { Symbolic, Hard };
enum class Output { FirstPiece, Index, Rebuilt };

// Whatever stands at an output path is replaced by a new file, never
// written through: the file a link leads to keeps its bytes.
TEST_F(Engine, NeverWritesThroughALink) {
    struct Row {
        std::string name;
        Link link;
        Output output;
    };
    const Row rows[] = {
        {"symbolic link at a piece", Link::Symbolic, Output::FirstPiece},
        {"hard link at a piece", Link::Hard, Output::FirstPiece},
        {"symbolic link at the index", Link::Symbolic, Output::Index},
        {"hard link at the index", Link::Hard, Output::Index},
        {"symbolic link at the rebuilt file", Link::Symbolic, Output::Rebuilt},
        {"hard link at the rebuilt file", Link::Hard, Output::Rebuilt},
    };
    const std::string victim = dir + "victim";
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        fs::remove_all(out);
        fs::remove_all(back);
        mkdir("out");
        mkdir("back");
        writeFile(victim, "victim's own bytes");
        const std::string at = r.output == Output::FirstPiece ? out + "movie.avi_splt1"
                               : r.output == Output::Index    ? index
                                                              : back + "movie.avi";
        if (r.link == Link::Symbolic) fs::create_symlink(victim, at);
        if (r.link == Link::Hard) fs::create_hard_link(victim, at);
        FakeHost split, join;
        EXPECT_EQ(summary(SplitFile(split, src, 100, out)), "succeeded");
        EXPECT_EQ(summary(JoinFiles(join, index, back)), "succeeded");
        EXPECT_EQ(readFile(victim), "victim's own bytes");
        EXPECT_EQ(fs::hard_link_count(victim), 1u);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(at)));
        EXPECT_EQ(readFile(back + "movie.avi"), bytes);
    }
}

// Runs `run` in a child process and kills it once it has copied its first
// bytes, as a user's kill or a crash would.
void killMidway(const std::function<Result(FakeHost&)>& run) {
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
    }, false, [&](pid_t child) {
        char byte = 0;
        [[maybe_unused]] const auto heard = ::read(ready[0], &byte, 1);
        ::kill(child, SIGKILL);
    });
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(status, 128 + SIGKILL);
}

// A run that is killed leaves no file that looks finished: a join leaves
// neither a partial result nor a temporary file, and keeps a former file; a
// split over an earlier set has removed that set's index before its first
// piece, so no index lists a mix of old and new pieces.
TEST_F(Engine, KilledRunsLeaveNothingThatLooksFinished) {
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

enum class Change { Grow, Rewrite, Shrink };

// A source that changes while it is split gives pieces of no one version
// of it: the split fails and keeps nothing. Pieces above 64 KiB are read as
// they are written, smaller ones from blocks read ahead: both must notice.
TEST_F(Engine, SourceChangedDuringTheSplit) {
    const std::string cutShort = "read " + src + ": the file ended early (was it changed during the run?)";
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
        {"cut short, small pieces", Change::Shrink, 100, "changed: " + src},
        {"cut short, large pieces", Change::Shrink, 1 << 20, cutShort},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        writeFile(src, std::string(r.chunk * 5 / 2, 'x'));
        FakeHost host;
        host.onProgress = [&](const Progress& p) {
            if (p.pieces != 1 || p.bytes != r.chunk) return;
            if (r.change == Change::Grow) std::ofstream(src, std::ios::app) << "more";
            if (r.change == Change::Rewrite) std::fstream(src, std::ios::in | std::ios::out) << "new!";
            if (r.change == Change::Shrink) fs::resize_file(src, 10);
            // A time of its own, whatever the clock's granularity.
            const timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
            ::utimensat(AT_FDCWD, src.c_str(), times, 0);
        };
        EXPECT_EQ(summary(SplitFile(host, src, r.chunk, out)), r.expected);
        EXPECT_EQ(listing(out), Names{});
    }
}

// A piece or the index file that changes while it is joined fails the join,
// which keeps nothing.
TEST_F(Engine, FileChangedDuringTheJoin) {
    const std::string piece = dir + "piece";
    writeFile(piece, std::string(12 << 20, 'p'));
    for (const bool indexChanges : {false, true}) {
        SCOPED_TRACE(indexChanges ? "index" : "piece");
        writeFile(dir + "p.splt", piece + "\r\n" + piece + "\r\n");
        FakeHost host;
        host.onProgress = [&](const Progress& p) {
            if (indexChanges && p.pieces == 1) std::ofstream(dir + "p.splt", std::ios::app) << piece << "\r\n";
            if (!indexChanges && p.pieces == 0 && p.bytes > 0) std::ofstream(piece, std::ios::app) << "more";
        };
        EXPECT_EQ(summary(JoinFiles(host, dir + "p.splt", back)), "changed: " + (indexChanges ? dir + "p.splt" : piece));
        EXPECT_EQ(listing(back), Names{});
    }
}

// An output folder that can be entered but not listed: the check for
// outputs that are the source asks about each output path in turn.
TEST_F(Engine, OutputFolderThatCannotBeListed) {
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

// Peak resident memory gained while `run` runs, in bytes.
template <class Run>
long peakGrowth(Run run) {
    auto kib = [](const char* field) {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with(field)) return std::stol(line.substr(std::strlen(field)));
        }
        return 0L;
    };
    std::ofstream("/proc/self/clear_refs") << "5"; // starts the peak afresh
    const long before = kib("VmRSS:");
    run();
    return (kib("VmHWM:") - before) * 1024;
}

// Reading an index holds neither the whole text nor its entries: a long
// index is checked in fixed memory, and an index of zeros far larger than
// memory is refused at its first line.
TEST_F(Engine, IndexFilesLargerThanMemory) {
    std::string text;
    for (int i = 0; i < 2'000'000; ++i) text += "/nonexistent/p\r\n";
    writeFile(dir + "long.splt", text);
    text = std::string();
    makeSparse(dir + "zeros.splt", std::int64_t{64} << 30);
    FakeHost host;
    Result result;
    const long growth = peakGrowth([&] { result = JoinFiles(host, dir + "long.splt", back); });
    EXPECT_EQ(summary(result), "missing piece: /nonexistent/p");
    EXPECT_EQ(host.last.pieceCount, 2'000'000);
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(growth, 8 << 20);
#endif
    EXPECT_EQ(summary(JoinFiles(host, dir + "zeros.splt", back)), "damaged: " + dir + "zeros.splt line 1 holds NUL");
    EXPECT_EQ(listing(back), Names{"long"}); // what was joined before the missing piece: nothing
}

} // namespace
} // namespace tessaly::test
