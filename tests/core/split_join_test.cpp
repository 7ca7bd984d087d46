// Splits and joins that succeed: piece contents and names, the index bytes,
// progress, messages, and the output-folder text as a plain prefix.
#include "TestSupport.h"

namespace tessaly::test {
namespace {

using namespace SplitMergeFile;

class SplitJoin : public ScratchTest {
protected:
    // The index text for pieces 1..n named `prefix` + number.
    static std::string indexText(const std::string& prefix, std::int64_t n) {
        std::string text;
        for (std::int64_t k = 1; k <= n; ++k) text += prefix + std::to_string(k) + "\r\n";
        return text;
    }

    // Joins `indexPath` into `folder` and checks a clean success.
    static void expectJoined(const std::string& indexPath, const std::string& folder, std::int64_t entries) {
        FakeHost host(folder);
        EXPECT_EQ(JoinFiles(host, indexPath), Outcome::Succeeded);
        EXPECT_EQ(host.folderReads, 1);
        EXPECT_EQ(host.progress, fullProgress(entries));
        expectOnlyMessage(host, kJoinDoneText, kDoneTitle, MessageIcon::Information);
    }
};

TEST_F(SplitJoin, PiecesIndexAndJoinBackForEveryLengthAndChunkSize) {
    struct Case { std::size_t length; std::int64_t chunk; std::vector<std::size_t> pieces; };
    const Case cases[] = {
        {250, 100, {100, 100, 50}},
        {250, 125, {125, 125}},
        {300, 100, {100, 100, 100}},
        {0, 5, {}},
        {10, 1, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
        {1000, 1000, {1000}},
        {1000, 999, {999, 1}},
        {1000, 1001, {1000}},
        {1000, INT64_MAX, {1000}},
        {256 * 40, 1000, {1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 240}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("length " + std::to_string(c.length) + ", chunk " + std::to_string(c.chunk));
        const std::string base = mkdir("case" + std::to_string(++n));
        const std::string src = base + "src/movie.avi", out = base + "out/", back = base + "back/";
        fs::create_directories(base + "src");
        fs::create_directories(out);
        fs::create_directories(back);
        const std::string bytes = byteRun(c.length, n);
        writeFile(src, bytes);

        FakeHost host(out);
        ASSERT_EQ(SplitFile(host, src, c.chunk), Outcome::Succeeded);
        EXPECT_EQ(host.folderReads, 1);
        EXPECT_EQ(host.progress, fullProgress(std::int64_t(c.pieces.size())));
        expectOnlyMessage(host, kSplitDoneText, kDoneTitle, MessageIcon::Information);

        std::set<std::string> expectedNames{"movie.avi.splt"};
        std::size_t offset = 0;
        for (std::size_t k = 1; k <= c.pieces.size(); ++k) {
            const std::string name = "movie.avi_splt" + std::to_string(k);
            expectedNames.insert(name);
            EXPECT_EQ(readFile(out + name), bytes.substr(offset, c.pieces[k - 1])) << name;
            offset += c.pieces[k - 1];
        }
        EXPECT_EQ(listing(out), expectedNames);
        EXPECT_EQ(readFile(out + "movie.avi.splt"), indexText(out + "movie.avi_splt", std::int64_t(c.pieces.size())));

        expectJoined(out + "movie.avi.splt", back, std::int64_t(c.pieces.size()));
        EXPECT_EQ(listing(back), std::set<std::string>{"movie.avi"});
        EXPECT_EQ(readFile(back + "movie.avi"), bytes);
    }
}

TEST_F(SplitJoin, ReplacesLongerEarlierFilesAndLeavesHigherPiecesAlone) {
    const std::string src = mkdir("src") + "movie.avi", out = mkdir("out"), back = mkdir("back");
    const std::string bytes = byteRun(250);
    writeFile(src, bytes);
    writeFile(out + "movie.avi_splt1", std::string(5000, 'o'));
    writeFile(out + "movie.avi_splt3", std::string(5000, 'o'));
    writeFile(out + "movie.avi_splt5", "earlier set");
    writeFile(out + "movie.avi.splt", std::string(5000, 'i'));
    writeFile(back + "movie.avi", std::string(5000, 'r'));

    FakeHost host(out);
    ASSERT_EQ(SplitFile(host, src, 100), Outcome::Succeeded);
    EXPECT_EQ(readFile(out + "movie.avi_splt1"), bytes.substr(0, 100));
    EXPECT_EQ(readFile(out + "movie.avi_splt3"), bytes.substr(200));
    EXPECT_EQ(readFile(out + "movie.avi_splt5"), "earlier set");
    EXPECT_EQ(readFile(out + "movie.avi.splt"), indexText(out + "movie.avi_splt", 3));

    expectJoined(out + "movie.avi.splt", back, 3);
    EXPECT_EQ(readFile(back + "movie.avi"), bytes);
    EXPECT_EQ(listing(back), std::set<std::string>{"movie.avi"});
}

TEST_F(SplitJoin, OutputFolderTextIsAPlainPrefixAbsoluteOrRelative) {
    struct Case {
        std::string splitFolder, joinFolder;
        std::string listedPrefix; // how the index lists the pieces
        std::string indexFile, rebuiltFile; // where they end up, under the test folder
    };
    const std::string cwd = mkdir("cwd");
    mkdir("cwd/rel");
    mkdir("cwd/back");
    const Case cases[] = {
        {dir + "out", dir + "back", dir + "outmovie.avi_splt", "outmovie.avi.splt", "backoutmovie.avi"},
        {"", "", "movie.avi_splt", "cwd/movie.avi.splt", "cwd/movie.avi"},
        {"rel/", "back/", "rel/movie.avi_splt", "cwd/rel/movie.avi.splt", "cwd/back/movie.avi"},
    };
    const std::string src = mkdir("src") + "movie.avi";
    const std::string bytes = byteRun(250);
    writeFile(src, bytes);
    WorkingFolder inside(cwd);
    for (const Case& c : cases) {
        SCOPED_TRACE("split into \"" + c.splitFolder + "\"");
        FakeHost host(c.splitFolder);
        ASSERT_EQ(SplitFile(host, src, 100), Outcome::Succeeded);
        EXPECT_EQ(readFile(path(c.indexFile)), indexText(c.listedPrefix, 3));
        EXPECT_EQ(readFile(c.listedPrefix + "2"), bytes.substr(100, 100));

        expectJoined(path(c.indexFile), c.joinFolder, 3);
        EXPECT_EQ(readFile(path(c.rebuiltFile)), bytes);
        EXPECT_FALSE(hasTemporary(cwd) || hasTemporary(cwd + "back") || hasTemporary(dir));
        fs::remove(path(c.rebuiltFile));
    }
}

TEST_F(SplitJoin, JoinAppendsEntriesInListedOrderUnderTheRebuiltName) {
    const std::string p = mkdir("p");
    writeFile(p + "a_splt1", "AAA");
    writeFile(p + "b_splt2", "BB");
    writeFile(p + ".hidden", "H");
    writeFile(p + "empty", "");
    const std::string a = p + "a_splt1\r\n", b = p + "b_splt2\r\n";
    struct Case { const char* what; std::string indexName, index; std::int64_t entries; std::string rebuiltName, bytes; };
    const Case cases[] = {
        {"listed order, not numbered order", "movie.avi.splt", b + a, 2, "movie.avi", "BBAAA"},
        {"last line without CR LF", "REPORT.DOC.SPLT", a + p + "b_splt2", 1, "REPORT.DOC", "AAA"},
        {"no CR LF at all", "a.splt.splt", p + "a_splt1", 0, "a", ""},
        {"hidden dot-file piece", "notes.spltx", p + ".hidden\r\n" + a, 2, "notesx", "HAAA"},
        {"same piece twice and an empty piece", "list.txt", a + p + "empty\r\n" + a, 3, "list.txt", "AAAAAA"},
        {"empty index", "zero.splt", "", 0, "zero", ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string indexPath = mkdir("idx" + std::to_string(++n)) + c.indexName;
        const std::string back = mkdir("back" + std::to_string(n));
        writeFile(indexPath, c.index);
        expectJoined(indexPath, back, c.entries);
        EXPECT_EQ(listing(back), std::set<std::string>{c.rebuiltName});
        EXPECT_EQ(readFile(back + c.rebuiltName), c.bytes);
    }
}

} // namespace
} // namespace tessaly::test
