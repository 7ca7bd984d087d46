// Splits and joins that succeed, the naming rules, and the platform probes
// the engine relies on.
#include <sys/stat.h>

#include "FileSize.h"
#include "Paths.h"
#include "TestSupport.h"

namespace tessaly::test {
namespace {

class SplitJoin : public Scratch {};

// Every row splits, checks each piece, the listing and the index bytes, then
// joins back. Rows cover both copy paths (pieces up to 64 KiB come from a
// 1 MiB read-ahead block, larger ones are copied) and their edges.
TEST_F(SplitJoin, PiecesIndexAndJoinBack) {
    struct Row { std::size_t length; std::int64_t chunk, pieces; bool stale = false; };
    const Row rows[] = {
        {250, 100, 3, true}, {0, 5, 0}, {10, 1, 10}, {1000, 1000, 1}, {1000, 999, 2},
        {1000, INT64_MAX, 1}, {200000, 65537, 4}, {(5u << 19) + 43, 65535, 41},
    };
    int n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE("length " + std::to_string(r.length) + ", chunk " + std::to_string(r.chunk));
        const std::string base = mkdir("case" + std::to_string(++n)), out = mkdir("case" + std::to_string(n) + "/out");
        const std::string back = mkdir("case" + std::to_string(n) + "/back"), bytes = byteRun(r.length, n);
        writeFile(base + "movie.avi", bytes);
        if (r.stale) { // longer files from an earlier run stand where this one writes
            writeFile(out + "movie.avi_splt1", std::string(5000, 'p'));
            writeFile(out + "movie.avi.splt", std::string(5000, 'i'));
            writeFile(back + "movie.avi", std::string(5000, 'r'));
        }
        FakeHost split(out), join(back);
        ASSERT_EQ(SplitFile(split, base + "movie.avi", r.chunk), Outcome::Succeeded);
        split.expectDone(r.pieces, kSplitDoneText);
        Names names{"movie.avi.splt"};
        std::string index;
        for (std::int64_t k = 1; k <= r.pieces; ++k) {
            const std::string name = "movie.avi_splt" + std::to_string(k);
            names.push_back(name);
            index += out + name + "\r\n";
            EXPECT_EQ(readFile(out + name), bytes.substr(std::size_t((k - 1) * r.chunk), std::size_t(r.chunk))) << k;
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(listing(out), names);
        EXPECT_EQ(readFile(out + "movie.avi.splt"), index);

        EXPECT_EQ(JoinFiles(join, out + "movie.avi.splt"), Outcome::Succeeded);
        join.expectDone(r.pieces, kJoinDoneText);
        EXPECT_EQ(listing(back), Names{"movie.avi"});
        EXPECT_TRUE(readFile(back + "movie.avi") == bytes);
    }
}

// The output-folder text is a plain prefix: "" is the working folder, and no
// separator is added.
TEST_F(SplitJoin, OutputFolderIsAPlainPrefix) {
    const std::string bytes = byteRun(250), cwd = mkdir("cwd");
    writeFile(dir + "movie.avi", bytes);
    FakeHost prefix(dir + "pre"), split(""), join("");
    EXPECT_EQ(SplitFile(prefix, dir + "movie.avi", 100), Outcome::Succeeded);
    EXPECT_TRUE(readFile(dir + "premovie.avi.splt").starts_with(dir + "premovie.avi_splt1\r\n"));
    const fs::path saved = fs::current_path();
    fs::current_path(cwd);
    EXPECT_EQ(SplitFile(split, dir + "movie.avi", 100), Outcome::Succeeded);
    EXPECT_EQ(JoinFiles(join, "movie.avi.splt"), Outcome::Succeeded);
    fs::current_path(saved);
    EXPECT_EQ(readFile(cwd + "movie.avi.splt"), "movie.avi_splt1\r\nmovie.avi_splt2\r\nmovie.avi_splt3\r\n");
    EXPECT_EQ(listing(cwd), (Names{"movie.avi", "movie.avi.splt", "movie.avi_splt1", "movie.avi_splt2", "movie.avi_splt3"}));
    EXPECT_EQ(readFile(cwd + "movie.avi"), bytes);
}

// Entries are joined in listed order under the index name without ".splt".
TEST_F(SplitJoin, JoinFollowsTheListUnderTheRebuiltName) {
    const std::string p = mkdir("p"), a = p + "a_splt1\r\n", b = p + "b_splt2\r\n";
    writeFile(p + "a_splt1", "AAA");
    writeFile(p + "b_splt2", "BB");
    writeFile(p + ".hidden", "H");
    writeFile(p + "empty", "");
    struct Row { std::string indexName, index; std::int64_t entries; std::string rebuiltName, bytes; };
    const Row rows[] = {
        {"movie.avi.splt", b + a, 2, "movie.avi", "BBAAA"},
        {"REPORT.DOC.SPLT", a + p + "b_splt2", 1, "REPORT.DOC", "AAA"}, // last line without CR LF
        {"a.splt.splt", p + "a_splt1", 0, "a", ""},
        {"notes.spltx", p + ".hidden\r\n" + a, 2, "notesx", "HAAA"},
        {"list.txt", a + p + "empty\r\n" + a, 3, "list.txt", "AAAAAA"},
    };
    int n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.indexName);
        const std::string index = mkdir("i" + std::to_string(++n)) + r.indexName, back = mkdir("b" + std::to_string(n));
        writeFile(index, r.index);
        FakeHost host(back);
        EXPECT_EQ(JoinFiles(host, index), Outcome::Succeeded);
        host.expectDone(r.entries, kJoinDoneText);
        EXPECT_EQ(listing(back), Names{r.rebuiltName});
        EXPECT_EQ(readFile(back + r.rebuiltName), r.bytes);
    }
}

TEST(Naming, RebuiltNameAndIndexEntries) {
    const std::pair<const char*, const char*> rows[] = {
        {"X.SPLT.splt", "X"}, {"a.SpLt.b.sPlT", "a.b"}, {"/x.splt/y.splt/m.splt", "m"}, {"a..spltsplt", "a.splt"},
        {".splt", ""},
    };
    for (const auto& [index, rebuilt] : rows) EXPECT_EQ(RebuiltName(index), rebuilt) << index;
    EXPECT_EQ(RebuiltPath("/out", "/in/m.splt"), "/outm");
    const std::string text("a\rb\nc\r\r\n\r\nz\0y\r\nrest", 20);
    EXPECT_EQ(ParseIndex(text), (Names{"a\rb\nc\r", "", std::string("z\0y", 3)}));
}

class Platform : public Scratch {
protected:
    void SetUp() override {
        Scratch::SetUp();
        writeFile(dir + "250", std::string(250, 'x'));
        writeFile(dir + ".empty", "");
        makeSparse(dir + "big", (std::int64_t{4} << 30) + 100);
        fs::create_symlink(dir + "250", dir + "link");
        fs::create_symlink(dir + "gone", dir + "dangling");
        ASSERT_EQ(::mkfifo((dir + "fifo").c_str(), 0600), 0);
    }
};

TEST_F(Platform, FileSize2GivesThe64BitSizeOrZero) {
    const std::pair<std::string, std::int64_t> rows[] = {
        {"250", 250}, {".empty", 0}, {"missing", 0}, {"", 0}, {"fifo", 0}, {"big", (std::int64_t{4} << 30) + 100},
    };
    for (const auto& [name, size] : rows) EXPECT_EQ(FileSize::FileSize2(dir + name), size) << name;
}

TEST_F(Platform, PresenceTestAcceptsRegularFilesAfterLinks) {
    const std::pair<std::string, bool> rows[] = {
        {dir + "250", true},   {dir + ".empty", true}, {dir + "link", true},      {dir, false},
        {dir + "fifo", false}, {"/dev/null", false},   {dir + "dangling", false}, {"", false},
    };
    for (const auto& [path, present] : rows) EXPECT_EQ(isPresentFile(path), present) << path;
}

} // namespace
} // namespace tessaly::test
