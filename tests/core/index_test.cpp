// The piece-set rules without files: names, the reading of index text, and
// the words the window finds for each way a run can end.
#include "TestSupport.h"
#include "WindowMessages.h"

namespace tessaly::test {
namespace {

// The entries of `text` as "line:path", or "line:<damage>", read `block`
// bytes at a time.
Names entries(const std::string& text, std::size_t block) {
    std::size_t at = 0;
    IndexReader reader([&](char* buffer, std::size_t size) {
        const std::size_t n = std::min({size, block, text.size() - at});
        text.copy(buffer, n, at);
        at += n;
        return std::int64_t(n);
    });
    const char* damages[] = {"<empty>", "<NUL>", "<too long>"};
    Names got;
    IndexReader::Entry entry;
    while (reader.next(entry) == IndexReader::Next::Entry) {
        got.push_back(std::to_string(entry.line) + ":" +
                      (entry.damage ? damages[int(*entry.damage)] : std::string(entry.path)));
    }
    return got;
}

TEST(IndexText, EntriesAndDamage) {
    const std::string longest(kLongestEntry, 'a');
    struct Row {
        std::string name, text;
        Names expected;
    };
    const Row rows[] = {
        {"empty text", "", {}},
        {"two lines", "/a_splt1\r\n/a_splt2\r\n", {"1:/a_splt1", "2:/a_splt2"}},
        {"no final CR LF", "/a_splt1\r\n/a_splt2", {"1:/a_splt1", "2:/a_splt2"}},
        {"lone CR and LF stay", "a\rb\r\nc\nd\r\n\ne\r\n", {"1:a\rb", "2:c\nd", "3:\ne"}},
        {"LF-only lines are one entry", "a\nb\n", {"1:a\nb\n"}},
        {"CR before CR LF", "a\r\r\n", {"1:a\r"}},
        {"trailing CR", "a\r\nb\r", {"1:a", "2:b\r"}},
        {"empty line", "a\r\n\r\nb\r\n", {"1:a", "2:<empty>", "3:b"}},
        {"NUL stops the reader", std::string("a\r\nb\0c\r\nd\r\n", 10), {"1:a", "2:<NUL>"}},
        {"longest entry", longest + "\r\n", {"1:" + longest}},
        {"one byte too long", longest + "a\r\nb\r\n", {"1:<too long>"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        // Block edges must not matter, not even between a CR and its LF.
        for (const std::size_t block : {std::size_t(1), std::size_t(2), std::size_t(7), std::size_t(1) << 20}) {
            EXPECT_EQ(entries(r.text, block), r.expected) << "blocks of " << block;
        }
    }
}

TEST(IndexText, ReadFailure) {
    IndexReader reader([](char*, std::size_t) { return std::int64_t(-1); });
    IndexReader::Entry entry;
    EXPECT_EQ(reader.next(entry), IndexReader::Next::ReadFailed);
}

TEST(Naming, PathsAndRebuiltNames) {
    EXPECT_EQ(PiecePath("/out/", "/data/movie.avi", 10), "/out/movie.avi_splt10");
    EXPECT_EQ(PiecePath("/out", "movie.avi", 1), "/outmovie.avi_splt1");
    EXPECT_EQ(IndexPath("", "/data/movie.avi"), "movie.avi.splt");
    const std::pair<const char*, const char*> rebuilt[] = {
        {"/d/movie.avi.splt", "movie.avi"}, {"REPORT.DOC.SPLT", "REPORT.DOC"}, {"a.splt.splt", "a"},
        {"notes.spltx", "notesx"},          {"list.txt", "list.txt"},          {"a..spltsplt", "a.splt"},
        {"/d.splt/x", "x"},                 {".splt", ""},
    };
    for (const auto& [index, name] : rebuilt) EXPECT_EQ(RebuiltName(index), name) << index;
    EXPECT_EQ(RebuiltPath("/back/", "/d/movie.avi.splt"), "/back/movie.avi");
}

TEST(Naming, PieceSetRules) {
    const std::pair<const char*, bool> paths[] = {
        {"/d/movie.avi", false}, {"/d/movie.avi.splt", true}, {"/d/old_splt/movie", true},
        {"/d/X.SPLT", false},    {"/d/a_SPLT1", false},        {"", false},
    };
    for (const auto& [path, partOfSet] : paths) EXPECT_EQ(IsPartOfPieceSet(path), partOfSet) << path;
    EXPECT_FALSE(IsLargerThanOnePiece(100, 100));
    EXPECT_TRUE(IsLargerThanOnePiece(101, 100));
    EXPECT_FALSE(IsLargerThanOnePiece(0, 1));
}

// Each way a run ends, in the window's words: title, then text.
TEST(WindowTexts, EveryOutcome) {
    auto failed = [](Problem problem, std::string path = "/s", std::string other = "/o") {
        Result r;
        r.status = Status::Failed;
        r.problem = problem;
        r.path = std::move(path);
        r.other = std::move(other);
        return r;
    };
    Result io = failed(Problem::FileOperation);
    io.io = {Operation::Write, "/o/m_splt3", std::make_error_code(std::errc::no_space_on_device)};
    Result damaged = failed(Problem::IndexDamaged, "/i.splt");
    damaged.line = 3;
    Result stopped;
    stopped.status = Status::Stopped;
    const std::string split = "ERROR: Cannot split a file|", join = "Error message|";
    const std::string another = ". Choose another output folder.";
    struct Row {
        Command command;
        Result result;
        std::string expected;
    };
    const Row rows[] = {
        {Command::Split, Result{}, "Message|File successfully split"},
        {Command::Join, Result{}, "Message|Files successfully joined"},
        {Command::Split, stopped, "<no box>"},
        {Command::Split, io, split + "Cannot write /o/m_splt3: No space left on device"},
        {Command::Join, io, join + "Cannot write /o/m_splt3: No space left on device"},
        {Command::Split, failed(Problem::ChunkSizeBelowOne),
         split + "The chunk size must be a whole number of bytes, at least 1."},
        {Command::Split, failed(Problem::PathHoldsLineBreak),
         split + "Cannot split /s: the piece path /o would hold a line break (CR LF), which an index file cannot "
                 "list. Rename the file or choose another output folder."},
        {Command::Split, failed(Problem::WouldOverwriteSource),
         split + "Cannot split /s: /o would overwrite the file being split" + another},
        {Command::Split, failed(Problem::FileChanged), split + "Cannot split /s: the file changed while it was being split."},
        {Command::Join, failed(Problem::FileChanged), join + "Cannot join: /s changed while it was being joined."},
        {Command::Split, failed(Problem::PiecesChanged),
         split + "Cannot split /s: its pieces were replaced or changed by something else while they were written."},
        {Command::Join, failed(Problem::PiecesChanged, "/i.splt"),
         join + "Cannot join /i.splt: the pieces it lists were replaced or changed while they were being joined."},
        {Command::Join, damaged, join + "Cannot join /i.splt: the index file is damaged (line 3 is empty)."},
        {Command::Join, failed(Problem::NoRebuiltName, "/d/.splt"),
         join + "Cannot join /d/.splt: without \".splt\" its name leaves no name for the rebuilt file."},
        {Command::Join, failed(Problem::RebuiltIsIndex, "/r"),
         join + "Cannot join into /r: it is the index file itself" + another},
        {Command::Join, failed(Problem::RebuiltIsPiece, "/r", "/p"),
         join + "Cannot join into /r: it is the listed piece /p" + another},
        {Command::Join, failed(Problem::MissingPiece, "/o/m_splt2"), join + "/o/m_splt2 splitted file not found"},
        {Command::Join, failed(Problem::Unexpected, "/i.splt", "not enough memory"),
         join + "Cannot join /i.splt: not enough memory"},
    };
    for (const Row& r : rows) {
        const auto box = messageFor(r.command, r.result);
        const std::string shown = box ? box->title + "|" + box->text : "<no box>";
        EXPECT_EQ(shown, r.expected);
        if (box) {
            const auto icon = r.result.succeeded() ? WindowMessage::Icon::Information : WindowMessage::Icon::Warning;
            EXPECT_EQ(box->icon, icon) << shown;
        }
    }
}

} // namespace
} // namespace tessaly::test
