// Rebuilt names, index reading, the file size probe and the presence test.
#include <sys/stat.h>

#include "FileSize.h"
#include "Paths.h"
#include "TestSupport.h"

namespace tessaly::test {
namespace {

using namespace SplitMergeFile;

TEST(Naming, RebuiltNameDropsEverySpltFromTheBaseNameOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {"movie.avi.splt", "movie.avi"},   {"REPORT.DOC.SPLT", "REPORT.DOC"},
        {"a.splt.splt", "a"},              {"notes.spltx", "notesx"},
        {"list.txt", "list.txt"},          {"X.SPLT.splt", "X"},
        {"a.SpLt.b.sPlT", "a.b"},          {"/x.splt/y.splt/movie.avi.splt", "movie.avi"},
        {"a..spltsplt", "a.splt"},         {".splt", ""},
        {"/out/", ""},                     {"/d/back\\slash.splt", "back\\slash"},
    };
    for (const auto& [index, rebuilt] : cases) {
        EXPECT_EQ(RebuiltName(index), rebuilt) << index;
    }
    EXPECT_EQ(RebuiltPath("/out/", "/in/movie.avi.splt"), "/out/movie.avi");
    EXPECT_EQ(RebuiltPath("/out", "/in/movie.avi.splt"), "/outmovie.avi");
    EXPECT_EQ(RebuiltPath("", "/in/movie.avi.splt"), "movie.avi");
}

TEST(Naming, IndexEntriesAreTheTextBeforeEachCrLf) {
    using V = std::vector<std::string>;
    const std::pair<std::string, V> cases[] = {
        {"", V{}},
        {"a", V{}},
        {"a\r\n", V{"a"}},
        {"a\r\nb", V{"a"}},
        {"a\r\nb\r\n", V{"a", "b"}},
        {"\r\n\r\n", V{"", ""}},
        {"a\rb\nc\r\r\n", V{"a\rb\nc\r"}},
        {std::string("z\0y\r\n", 5), V{std::string("z\0y", 3)}},
    };
    for (const auto& [text, entries] : cases) {
        EXPECT_EQ(ParseIndex(text), entries) << '"' << text << '"';
    }
}

class Platform : public ScratchTest {};

TEST_F(Platform, FileSizeGivesTheFull64BitSizeOrZero) {
    writeFile(path("250"), std::string(250, 'x'));
    writeFile(path("empty"), "");
    makeSparse(path("5g"), std::int64_t{5} << 30);
    makeSparse(path("4g100"), (std::int64_t{4} << 30) + 100);
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    const std::pair<std::string, std::int64_t> cases[] = {
        {path("250"), 250},
        {path("empty"), 0},
        {path("missing"), 0},
        {dir, 0},
        {path("fifo"), 0}, // must not wait for a writer either
        {path("5g"), std::int64_t{5} << 30},
        {path("4g100"), (std::int64_t{4} << 30) + 100},
    };
    for (const auto& [p, size] : cases) EXPECT_EQ(FileSize::FileSize2(p), size) << p;
}

TEST_F(Platform, PresenceTestAcceptsRegularFilesAfterLinksOnly) {
    writeFile(path("plain"), "x");
    writeFile(path(".hidden"), "x");
    fs::create_symlink(path("plain"), path("link"));
    fs::create_symlink(path("gone"), path("dangling"));
    fs::create_symlink(dir, path("folderlink"));
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    const std::pair<std::string, bool> cases[] = {
        {path("plain"), true},   {path(".hidden"), true}, {path("link"), true},
        {path("dangling"), false}, {path("folderlink"), false}, {dir, false},
        {path("fifo"), false},   {"/dev/null", false},
        {path("missing"), false}, {"", false},
    };
    for (const auto& [p, present] : cases) EXPECT_EQ(isPresentFile(p), present) << p;
}

} // namespace
} // namespace tessaly::test
