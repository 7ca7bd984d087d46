// Runs that do not finish: failures, refusals, missing pieces, a full disk
// and stop requests. Each must tell the user once and leave no half-written
// result that looks finished.
#include <csignal>
#include <map>
#include <system_error>

#include <sys/resource.h>
#include <sys/stat.h>

#include "FileSize.h"
#include "TestSupport.h"

namespace tessaly::test {
namespace {

using namespace SplitMergeFile;

std::string reason(int error) { return std::system_category().message(error); }

// Lowers the largest file this process may write, so that writes beyond it
// fail with EFBIG the way they would on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*oldHandler_)(int);
};

class Unfinished : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        src = mkdir("src") + "movie.avi";
        out = mkdir("out");
        back = mkdir("back");
        bytes = byteRun(250);
        writeFile(src, bytes);
    }

    // Splits the 250-byte source into three pieces in `out`.
    void splitSource() {
        FakeHost host(out);
        ASSERT_EQ(SplitFile(host, src, 100), Outcome::Succeeded);
        index = out + "movie.avi.splt";
    }

    // Contents of the given files, to show that a run left them alone.
    static std::map<std::string, std::string> snapshot(const std::vector<std::string>& paths) {
        std::map<std::string, std::string> contents;
        for (const auto& p : paths) contents[p] = readFile(p);
        return contents;
    }

    // One warning whose text starts with `text`.
    static void expectWarning(const FakeHost& host, const char* title, const std::string& text) {
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].title, title);
        EXPECT_EQ(host.messages[0].icon, MessageIcon::Warning);
        EXPECT_EQ(host.messages[0].text.substr(0, text.size()), text);
    }

    std::string src, out, back, bytes, index;
};

TEST_F(Unfinished, SplitReportsPathAndReasonAndLeavesTheFolderAsItWas) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    const std::string indexFolder = mkdir("indexfolder");
    fs::create_directory(indexFolder + "movie.avi.splt");
    // A file that gives fewer bytes than its size says, like a source that
    // shrinks during the run.
    const std::string shortFile = "/sys/devices/system/cpu/online";
    struct Case { const char* what; std::string source; std::int64_t chunk; std::string folder, message; };
    const Case cases[] = {
        {"missing source", path("none"), 100, out, "Cannot open " + path("none") + ": " + reason(ENOENT)},
        {"folder as source", dir + "src", 100, out, "Cannot open " + dir + "src: " + reason(EISDIR)},
        {"FIFO as source", path("fifo"), 100, out, "Cannot open " + path("fifo") + ": " + reason(EINVAL)},
        {"source ends early", shortFile, 1000, out, "Cannot read " + shortFile + ": "},
        {"missing output folder", src, 100, dir + "none/",
         "Cannot create " + dir + "none/movie.avi_splt1: " + reason(ENOENT)},
        {"index path is a folder", src, 100, indexFolder,
         "Cannot create " + indexFolder + "movie.avi.splt: " + reason(EISDIR)},
        {"chunk size 0", src, 0, out, ""},
        {"negative chunk size", src, -100, out, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.source == shortFile && FileSize::FileSize2(shortFile) <= 100) continue;
        const std::string folder = fs::exists(c.folder) ? c.folder : out;
        const auto before = listing(folder);
        FakeHost host(c.folder);
        EXPECT_EQ(SplitFile(host, c.source, c.chunk), Outcome::Failed);
        expectWarning(host, kSplitErrorTitle, c.message);
        EXPECT_EQ(listing(folder), before);
        EXPECT_EQ(readFile(src), bytes);
    }
}

TEST_F(Unfinished, SplitRefusesToWriteOverItsOwnSource) {
    struct Case { const char* name; bool hardLink; };
    const Case cases[] = {
        {"movie.avi_splt1", false}, {"movie.avi_splt3", false}, {"movie.avi.splt", false}, {"movie.avi_splt2", true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = mkdir("links" + std::to_string(++n));
        if (c.hardLink) {
            fs::create_hard_link(src, folder + c.name);
        } else {
            fs::create_symlink(src, folder + c.name);
        }
        FakeHost host(folder);
        EXPECT_EQ(SplitFile(host, src, 100), Outcome::Failed);
        expectWarning(host, kSplitErrorTitle, "");
        EXPECT_NE(host.messages.at(0).text.find(folder + c.name), std::string::npos) << host.messages[0].text;
        EXPECT_TRUE(host.progress.empty());
        EXPECT_EQ(readFile(src), bytes);
        EXPECT_EQ(listing(folder), std::set<std::string>{c.name});
    }
}

TEST_F(Unfinished, SplitOnAFullDiskRemovesItsPiecesAndWritesNoIndex) {
    struct Case { const char* what; std::int64_t chunk; bool fullDevice; std::string failing; int error; };
    const Case cases[] = {
        {"second piece on a full device", 100, true, "movie.avi_splt2", ENOSPC},
        {"first piece over the size limit", 200, false, "movie.avi_splt1", EFBIG},
        {"index over the size limit", 100, false, "movie.avi.splt", EFBIG},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = mkdir("out" + std::to_string(++n));
        if (c.fullDevice) fs::create_symlink("/dev/full", folder + c.failing);
        // The limit lets pieces of 100 bytes through but not one of 200, nor
        // the index of three entries.
        const auto indexSize = static_cast<rlim_t>(3 * (folder.size() + std::string("movie.avi_splt1\r\n").size()));
        ASSERT_GT(indexSize, 101u);
        FakeHost host(folder);
        Outcome outcome;
        {
            FileSizeLimit limit(c.fullDevice ? RLIM_INFINITY : std::min<rlim_t>(150, indexSize - 1));
            outcome = SplitFile(host, src, c.chunk);
        }
        EXPECT_EQ(outcome, Outcome::Failed);
        expectWarning(host, kSplitErrorTitle, "Cannot write " + folder + c.failing + ": " + reason(c.error));
        EXPECT_TRUE(listing(folder).empty());
        EXPECT_EQ(readFile(src), bytes);
    }
}

TEST_F(Unfinished, JoinReportsPathAndReasonAndKeepsTheFormerFile) {
    splitSource();
    fs::create_directories(path("folderback/movie.avi"));
    writeFile(back + "movie.avi", "former");
    struct Case { const char* what; std::string index, folder, message; };
    const Case cases[] = {
        {"missing index", path("none.splt"), back, "Cannot open " + path("none.splt") + ": " + reason(ENOENT)},
        {"rebuilt path is a folder", index, path("folderback/"),
         "Cannot write " + path("folderback/movie.avi") + ": " + reason(EISDIR)},
        {"missing output folder", index, path("none/"), "Cannot create " + path("none/movie.avi") + ": " + reason(ENOENT)},
        // This process's own memory, read from address 0, which is not mapped.
        {"unreadable piece", path("movie.avi.splt"), back, "Cannot read /proc/self/mem: " + reason(EIO)},
    };
    writeFile(path("movie.avi.splt"), out + "movie.avi_splt1\r\n/proc/self/mem\r\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host(c.folder);
        EXPECT_EQ(JoinFiles(host, c.index), Outcome::Failed);
        expectWarning(host, kJoinErrorTitle, c.message);
        EXPECT_FALSE(hasTemporary(back) || hasTemporary(path("folderback")));
    }
    EXPECT_TRUE(fs::is_directory(path("folderback/movie.avi")));
    EXPECT_EQ(readFile(back + "movie.avi"), "former");
}

TEST_F(Unfinished, JoinRefusesToWriteOverTheIndexOrAListedPiece) {
    splitSource();
    const std::string piece1 = out + "movie.avi_splt1", piece2 = out + "movie.avi_splt2";
    writeFile(back + "x", "listed piece x");
    writeFile(back + "z", "listed piece z");
    fs::create_symlink(piece2, back + "y");
    const std::string own = mkdir("own");
    writeFile(own + "list", piece1 + "\r\n");
    writeFile(path("x.splt"), piece1 + "\r\n" + back + "x\r\n");
    writeFile(path("y.splt"), piece1 + "\r\n" + piece2 + "\r\n");
    writeFile(path("z.splt"), back + "../back/z\r\n");
    struct Case { const char* what; std::string index, folder; };
    const Case cases[] = {
        {"index without .splt joined into its own folder", own + "list", own},
        {"rebuilt path is a listed piece", path("x.splt"), back},
        {"rebuilt path links to a listed piece", path("y.splt"), back},
        {"listed piece spelled another way", path("z.splt"), back},
    };
    const auto before = snapshot({own + "list", piece1, piece2, back + "x", back + "z"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host(c.folder);
        EXPECT_EQ(JoinFiles(host, c.index), Outcome::Failed);
        expectWarning(host, kJoinErrorTitle, "");
        EXPECT_TRUE(host.progress.empty());
        EXPECT_FALSE(hasTemporary(c.folder));
    }
    EXPECT_EQ(snapshot({own + "list", piece1, piece2, back + "x", back + "z"}), before);
    EXPECT_TRUE(fs::is_symlink(back + "y"));
}

TEST_F(Unfinished, MissingPieceShowsFullBarKeepsJoinedPiecesOrTheFormerFile) {
    enum Stand { Nothing, Folder, Fifo, DanglingLink, FolderLink };
    struct Case { const char* what; int missing; Stand stands; bool former; std::string kept; };
    const Case cases[] = {
        {"first missing", 1, Nothing, false, ""},
        {"second missing", 2, Nothing, false, "111"},
        {"first missing, former file", 1, Nothing, true, "former"},
        {"second missing, former file", 2, Nothing, true, "former"},
        {"second is a folder", 2, Folder, false, "111"},
        {"second is a FIFO, former file", 2, Fifo, true, "former"},
        {"second is a dangling link", 2, DanglingLink, false, "111"},
        {"third links to a folder", 3, FolderLink, false, "11122"},
    };
    const std::string pieceBytes[] = {"111", "22", "3"};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string p = mkdir("p" + std::to_string(++n)), folder = mkdir("back" + std::to_string(n));
        std::string indexText;
        for (int k = 1; k <= 3; ++k) {
            const std::string entry = p + "m_splt" + std::to_string(k);
            indexText += entry + "\r\n";
            if (k != c.missing) {
                writeFile(entry, pieceBytes[k - 1]);
            } else if (c.stands == Folder) {
                fs::create_directory(entry);
            } else if (c.stands == Fifo) {
                ASSERT_EQ(::mkfifo(entry.c_str(), 0600), 0);
            } else if (c.stands == DanglingLink) {
                fs::create_symlink(p + "gone", entry);
            } else if (c.stands == FolderLink) {
                fs::create_directory_symlink(p, entry);
            }
        }
        writeFile(p + "m.splt", indexText);
        if (c.former) writeFile(folder + "m", "former");

        FakeHost host(folder);
        EXPECT_EQ(JoinFiles(host, p + "m.splt"), Outcome::Failed);
        const std::string entry = p + "m_splt" + std::to_string(c.missing);
        expectWarning(host, kJoinErrorTitle, entry + kMissingPieceSuffix);
        EXPECT_EQ(host.messages.at(0).valueAtShow, 3);
        EXPECT_EQ(listing(folder), std::set<std::string>{"m"});
        EXPECT_EQ(readFile(folder + "m"), c.kept);
    }
}

TEST_F(Unfinished, JoinOnAFullDiskKeepsTheFormerFileAndLeavesNoTemporary) {
    splitSource();
    for (const bool former : {false, true}) {
        SCOPED_TRACE(former ? "former file" : "no former file");
        if (former) writeFile(back + "movie.avi", std::string(1000, 'f'));
        FakeHost host(back);
        Outcome outcome;
        {
            FileSizeLimit limit(150);
            outcome = JoinFiles(host, index);
        }
        EXPECT_EQ(outcome, Outcome::Failed);
        expectWarning(host, kJoinErrorTitle, "Cannot write " + back + "movie.avi: " + reason(EFBIG));
        if (former) {
            EXPECT_EQ(listing(back), std::set<std::string>{"movie.avi"});
            EXPECT_EQ(readFile(back + "movie.avi"), std::string(1000, 'f'));
        } else {
            EXPECT_TRUE(listing(back).empty());
        }
    }
}

// A stop request ends the run without a message and removes what it wrote.
// Between pieces: each progress step takes longer than the event-pass
// interval, so a pass follows every piece. Within a piece: a single piece
// of 1 GiB takes many passes to copy, and the first one stops the run.
TEST_F(Unfinished, StopRequestEndsTheRunAndRemovesWhatItWrote) {
    const std::string big = path("big");
    makeSparse(big, std::int64_t{1} << 30, {{0, "start"}});
    writeFile(out + "movie.avi_splt12", "earlier set");
    writeFile(back + "movie.avi", "former");
    struct Case { const char* what; bool join, withinPiece; };
    const Case cases[] = {
        {"split, between pieces", false, false},
        {"split, within a piece", false, true},
        {"join, between pieces", true, false},
        {"join, within a piece", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::int64_t pieces = c.withinPiece ? 1 : 10;
        FakeHost host(c.join ? back : out);
        host.stopAfterPasses = c.withinPiece ? 1 : 3;
        if (!c.withinPiece) host.stepDelay = std::chrono::milliseconds(25);
        Outcome outcome;
        if (c.join) {
            std::string indexText;
            for (std::int64_t k = 1; k <= pieces; ++k) indexText += (c.withinPiece ? big : src) + "\r\n";
            writeFile(path("movie.avi.splt"), indexText);
            outcome = JoinFiles(host, path("movie.avi.splt"));
        } else {
            outcome = SplitFile(host, c.withinPiece ? big : src, c.withinPiece ? std::int64_t{1} << 30 : 25);
        }
        EXPECT_EQ(outcome, Outcome::Stopped);
        EXPECT_TRUE(host.messages.empty());
        EXPECT_EQ(host.passes, host.stopAfterPasses);
        EXPECT_LT(host.value(), pieces);
        EXPECT_EQ(listing(out), std::set<std::string>{"movie.avi_splt12"});
        EXPECT_EQ(listing(back), std::set<std::string>{"movie.avi"});
        // Size first: a finished join would have left 1 GiB there.
        EXPECT_TRUE(fs::file_size(back + "movie.avi") == 6 && readFile(back + "movie.avi") == "former");
    }
}

} // namespace
} // namespace tessaly::test
