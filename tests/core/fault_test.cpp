// Runs that do not go as planned: stopped, killed, meeting files that change,
// folders that cannot be listed, exceptions, inputs too large to hold.
#include "TestSupport.h"

namespace tessaly::test {
namespace {

// A stop ends the run silently and removes what it wrote; a split has
// removed an earlier set's index first, but not that set's higher-numbered
// pieces. Between pieces each step sleeps past the event-pass interval;
// within a piece, copying 256 MiB of data (holes would take no time) takes
// many passes and the first one stops.
TEST_F(Engine, StopRequestRemovesWhatTheRunWrote) {
    const std::string big = dir + "big";
    {
        std::ofstream file(fsPath(big), std::ios::binary);
        const std::string block = byteRun(std::size_t{1} << 20);
        for (int i = 0; i < 256; ++i) file.write(block.data(), std::streamsize(block.size()));
    }
    writeFile(index, "earlier index");
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
        const std::int64_t chunk = withinPiece ? std::int64_t{256} << 20 : 25;
        const Result result =
            join ? JoinFiles(host, dir + "movie.avi.splt", back) : SplitFile(host, withinPiece ? big : src, chunk, out);
        EXPECT_EQ(summary(result), "stopped");
        EXPECT_EQ(host.passes, host.stopAfterPasses);
        EXPECT_LT(host.last.pieces, pieces);
        EXPECT_EQ(listing(out), Names{"movie.avi_splt12"});
        EXPECT_EQ(listing(back), Names{"movie.avi"});
        EXPECT_EQ(readFile(back + "movie.avi"), "former");
    }
    // A set larger than any file: the byte count stops at the largest number.
    // (No such sparse file on Windows; and a join that cannot stop would fill the disk.)
    if (!kWindows && !HasFailure()) {
        makeSparse(dir + "huge", INT64_MAX);
        writeFile(dir + "huge.splt", dir + "huge\r\n" + dir + "huge\r\n");
        FakeHost host;
        host.stopAfterPasses = 1;
        EXPECT_EQ(summary(JoinFiles(host, dir + "huge.splt", back)), "stopped");
        EXPECT_EQ(host.last.byteCount, INT64_MAX);
    }
}

// A run killed part-way leaves nothing that looks finished: a join leaves no
// partial result and keeps a former file; a re-split leaves no index.
TEST_F(Engine, KilledRunsLeaveNothingThatLooksFinished) {
#ifdef _WIN32
    GTEST_SKIP() << "needs fork; and on Windows a killed join leaves its hidden .part file";
#else
    const auto killedMidway = [](const std::function<Result(FakeHost&)>& run) {
        return inChild([&] {
            FakeHost host;
            host.onProgress = [](const Progress& p) {
                if (p.bytes > 0) std::raise(SIGKILL);
            };
            return summary(run(host));
        });
    };
    const auto join = [&](FakeHost& host) { return JoinFiles(host, dir + "big.splt", back); };
    const std::string killed = "killed by signal " + std::to_string(SIGKILL);
    makeSparse(dir + "big", std::int64_t{256} << 20, {{0, "start"}});
    writeFile(dir + "big.splt", dir + "big\r\n" + dir + "big\r\n");
    EXPECT_EQ(killedMidway(join), killed);
    EXPECT_EQ(listing(back), Names{});
    writeFile(back + "big", "former");
    EXPECT_EQ(killedMidway(join), killed);
    EXPECT_EQ(readFile(back + "big"), "former");
    FakeHost earlier;
    ASSERT_EQ(summary(SplitFile(earlier, dir + "big", std::int64_t{64} << 20, out)), "succeeded");
    EXPECT_EQ(killedMidway([&](FakeHost& host) { return SplitFile(host, dir + "big", std::int64_t{32} << 20, out); }),
              killed);
    EXPECT_FALSE(fs::exists(out + "big.splt"));
#endif
}

enum class Change { Grow, GrowIndex, RewriteWithinASecond, RewriteTimePutBack, CutShort, ReplacePiece, Throw };

// Something happens once a run has copied its first bytes: a changed file or
// a replaced piece fails the run, which keeps nothing, and so does an
// exception (as from an allocation). Pieces up to 64 KiB come from blocks
// read ahead, larger ones are copied: each meets a source cut short its own
// way. A rewrite that keeps the size shows only in times finer than seconds.
TEST_F(Engine, ChangesDuringARun) {
    constexpr std::int64_t kReadAhead = 64 << 10, kCopied = 1 << 20;
    const std::string piece = dir + "piece", second = dir + "second", listed = dir + "p.splt";
    const auto row = [&](const std::string& name, bool join, Change change, std::int64_t chunk,
                         const std::string& expected) {
        SCOPED_TRACE(name);
        writeFile(src, std::string(20 * kReadAhead, 'x'));
        writeFile(piece, std::string(12 << 20, 'p'));
        writeFile(second, "second");
        writeFile(listed, piece + "\r\n" + second + "\r\n");
        // Whole seconds, which every system sets exactly.
        const auto time = std::chrono::floor<std::chrono::seconds>(fs::last_write_time(fsPath(src)));
        fs::last_write_time(fsPath(src), time);
        fs::last_write_time(fsPath(second), time);
        FakeHost host;
        host.onProgress = [&, done = false](const Progress& p) mutable {
            if (p.bytes == 0 || std::exchange(done, true)) return;
            if (change == Change::Grow) std::ofstream(fsPath(join ? piece : src), std::ios::app) << "more";
            if (change == Change::GrowIndex) std::ofstream(fsPath(listed), std::ios::app) << piece << "\r\n";
            if (change == Change::RewriteWithinASecond || change == Change::RewriteTimePutBack) {
                std::fstream(fsPath(src), std::ios::in | std::ios::out | std::ios::binary) << "new!";
                // A tenth of a second later, or the same time: then only the
                // change time, which no user can set, tells.
                const bool later = change == Change::RewriteWithinASecond;
                fs::last_write_time(fsPath(src), time + std::chrono::milliseconds(later ? 100 : 0));
            }
            if (change == Change::CutShort) fs::resize_file(fsPath(src), 10);
            if (change == Change::ReplacePiece) {
                const std::string replaced = join ? second : out + "movie.avi_splt1";
                writeFile(dir + "twin", readFile(replaced));
                fs::last_write_time(fsPath(dir + "twin"), fs::last_write_time(fsPath(replaced)));
                fs::rename(fsPath(dir + "twin"), fsPath(replaced));
            }
            if (change == Change::Throw) throw std::bad_alloc();
        };
        EXPECT_EQ(summary(join ? JoinFiles(host, listed, back) : SplitFile(host, src, chunk, out)), expected);
        EXPECT_EQ(listing(join ? back : out), Names{});
    };
    const std::string endedEarly = "read " + src + ": the file ended early (was it changed during the run?)";
    row("source grows", false, Change::Grow, kReadAhead, "changed: " + src);
    row("source rewritten within a second", false, Change::RewriteWithinASecond, kCopied, "changed: " + src);
    row("source rewritten, time put back", false, Change::RewriteTimePutBack, kReadAhead, "changed: " + src);
    row("source cut short, pieces read ahead", false, Change::CutShort, kReadAhead, endedEarly);
    row("source cut short, pieces copied", false, Change::CutShort, kCopied, endedEarly);
    row("piece replaced during the split", false, Change::ReplacePiece, kReadAhead, "pieces changed: " + src);
    row("exception during the split", false, Change::Throw, kReadAhead, "unexpected: not enough memory");
    row("piece grows", true, Change::Grow, 0, "changed: " + piece);
    row("index grows", true, Change::GrowIndex, 0, "changed: " + listed);
    row("piece 2 replaced, same bytes and time", true, Change::ReplacePiece, 0, "pieces changed: " + listed);
    row("exception during the join", true, Change::Throw, 0, "unexpected: not enough memory");
}

// Pieces, index and rebuilt file are readable by no one the source was not;
// a rebuilt file that replaces another is also kept to that one's readers.
TEST_F(Engine, OutputsKeepToTheirOriginalsReaders) {
    if (kWindows) GTEST_SKIP() << "needs permission bits";
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

// An output folder that can be entered but not listed (by nobody, whom
// permissions stop): each output path is checked for being the source.
TEST_F(Engine, OutputFolderThatCannotBeListed) {
    if (kWindows) GTEST_SKIP() << "needs folder permissions and fork";
    fs::permissions(dir, fs::perms::all);
    for (const bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "hard link to the source at piece 2" : "nothing there");
        const std::string folder = mkdir(linked ? "linked" : "plain");
        if (linked) fs::create_hard_link(src, folder + "movie.avi_splt2");
        fs::permissions(folder, fs::perms(0333)); // -wx for everyone
        const auto split = [&] {
            FakeHost host;
            return summary(SplitFile(host, src, 10, folder));
        };
        EXPECT_EQ(inChild(split, true),
                  linked ? "would overwrite the source: " + folder + "movie.avi_splt2" : "succeeded");
        fs::permissions(folder, fs::perms::all);
        EXPECT_EQ(listing(folder).size(), linked ? 1u : 26u);
    }
}

// A long index is read in fixed memory, and an index of zeros far larger
// than memory is refused at line 1. (Shorter under Wine, whose file-system
// calls are many times slower.)
TEST_F(Engine, IndexFilesLargerThanMemory) {
    const int entries = kWindows ? 20'000 : 2'000'000;
    std::string text;
    for (int i = 0; i < entries; ++i) text += "/nonexistent/p\r\n";
    writeFile(dir + "long.splt", text);
    makeSparse(dir + "zeros.splt", std::int64_t{64} << 30);
    // This process's peak memory in KiB since it was reset, where Linux says.
    const auto peakKiB = [] {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line) && !line.starts_with("VmHWM:")) {
        }
        return status ? std::stol(line.substr(6)) : -1L;
    };
    std::ofstream("/proc/self/clear_refs") << "5"; // resets the peak
    [[maybe_unused]] const long before = peakKiB();
    FakeHost host;
    EXPECT_EQ(summary(JoinFiles(host, dir + "long.splt", back)), "missing piece: /nonexistent/p");
    EXPECT_EQ(host.last.pieceCount, entries);
#if !defined(__SANITIZE_ADDRESS__)
    if (before >= 0) {
        EXPECT_LT(peakKiB() - before, 8 << 10) << "KiB grown at the peak";
    }
#endif
    EXPECT_EQ(summary(JoinFiles(host, dir + "zeros.splt", back)), "damaged: " + dir + "zeros.splt line 1 holds NUL");
    EXPECT_EQ(listing(back), Names{"long"}); // what was joined before the missing piece: nothing
}

// A pending file left by a run killed between naming its result and renaming
// it over the former file is removed by the next run into that folder; one
// that a live run holds (locked) stays, as does anything not so named.
TEST_F(Engine, NextRunRemovesAbandonedPendingFiles) {
    const std::string abandoned = back + ".tessaly-00000000abcd.part", held = back + ".tessaly-00000000beef.part";
    const std::string lookalike = back + ".tessaly-notours.part";
    for (const std::string& path : {abandoned, held, lookalike}) writeFile(path, "pending");
#ifdef _WIN32
    // A live run's file is open without delete sharing.
    HANDLE lock = CreateFileW(fsPath(held).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
#else
    const int lock = ::open(held.c_str(), O_RDONLY);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
#endif
    FakeHost split, join;
    ASSERT_EQ(summary(SplitFile(split, src, 100, out)), "succeeded");
    EXPECT_EQ(summary(JoinFiles(join, index, back)), "succeeded");
    EXPECT_EQ(listing(back), (Names{".tessaly-00000000beef.part", ".tessaly-notours.part", "movie.avi"}));
#ifdef _WIN32
    CloseHandle(lock);
#else
    ::close(lock);
#endif
}

} // namespace
} // namespace tessaly::test
