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
        const std::size_t n = text.copy(buffer, std::min(size, block), at);
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
    const auto row = [](const std::string& name, const std::string& text, const Names& expected) {
        // Block edges must not matter, not even between a CR and its LF.
        for (const std::size_t block : {std::size_t(1), std::size_t(2), std::size_t(7), std::size_t(1) << 20}) {
            EXPECT_EQ(entries(text, block), expected) << name << ", blocks of " << block;
        }
    };
    const std::string longest(kLongestEntry, 'a');
    row("empty text", "", {});
    row("text after the last CR LF", "/a_splt1\r\n/a_splt2", {"1:/a_splt1", "2:/a_splt2"});
    row("lone CRs and LFs stay", "a\rb\r\nc\nd\r\n\ne\r\n", {"1:a\rb", "2:c\nd", "3:\ne"});
    row("LF-only lines are one entry", "a\nb\n", {"1:a\nb\n"});
    row("CR before CR LF, and at the end", "a\r\r\nb\r", {"1:a\r", "2:b\r"});
    row("empty line", "a\r\n\r\nb\r\n", {"1:a", "2:<empty>", "3:b"});
    row("NUL stops the reader", std::string("a\r\nb\0c\r\nd\r\n", 10), {"1:a", "2:<NUL>"});
    row("longest entry", longest + "\r\n", {"1:" + longest});
    row("one byte too long", longest + "a\r\nb\r\n", {"1:<too long>"});
    IndexReader failing([](char*, std::size_t) { return std::int64_t(-1); });
    IndexReader::Entry entry;
    EXPECT_EQ(failing.next(entry), IndexReader::Next::ReadFailed);
}

// A piece path is the folder as a plain prefix, the source's base name and
// the number. The rebuilt name is the index's base name with every ".splt"
// removed, in any letter case, in one pass. A path naming ".splt" or
// "_splt", as written, is part of a set and not split again. On Windows "\"
// and a drive's colon end a folder too; elsewhere they are part of a name.
TEST(Naming, PathsAndRebuiltNames) {
    EXPECT_EQ(piecePath("/out", "/data/movie.avi", 10), "/outmovie.avi_splt10");
    EXPECT_EQ(rebuiltPath("/back", "/d/movie.avi.splt"), "/backmovie.avi");
    EXPECT_EQ(rebuiltName("REPORT.DOC.SPLT"), "REPORT.DOC");
    EXPECT_EQ(rebuiltName("X.SPLT.splt"), "X");
    EXPECT_EQ(rebuiltName("notes.spltx"), "notesx");
    EXPECT_EQ(rebuiltName("list.txt"), "list.txt");
    EXPECT_EQ(rebuiltName("a..spltsplt"), "a.splt");
    EXPECT_EQ(rebuiltName("/d.splt/x"), "x");
    EXPECT_EQ(rebuiltName(".splt"), "");
    EXPECT_TRUE(isPartOfPieceSet("/d/old_splt/movie"));
    EXPECT_FALSE(isPartOfPieceSet("/d/X.SPLT"));
    EXPECT_EQ(baseName("C:\\d/s\\a.bin"), kWindows ? "a.bin" : "s\\a.bin");
    EXPECT_EQ(folderPart("C:\\d/s\\a.bin"), kWindows ? "C:\\d/s\\" : "C:\\d/");
    EXPECT_EQ(baseName("C:a.bin"), kWindows ? "a.bin" : "C:a.bin");
}

// How the window words a run's end: which box, which title for a split and
// for a join, the texts the window has always shown, and those whose words
// are put together (a system's reason, a line number). Failures name "/p"
// and "/o" as their subjects, line 3 when the index is damaged.
TEST(WindowTexts, EveryOutcome) {
    using enum Command;
    using enum Status;
    using enum Problem;
    const auto row = [](Command command, Status status, Problem problem, const std::string& expected) {
        const IoError io{Operation::Write, "/o/m_splt3", std::make_error_code(std::errc::no_space_on_device)};
        const auto box = messageFor(command, Result{status, problem, io, "/p", "/o", 3});
        const std::string shown = box ? box->title + "|" + box->text : "<no box>";
        EXPECT_EQ(shown, expected);
        if (box) {
            EXPECT_EQ(box->icon, status == Succeeded ? WindowMessage::Icon::Information : WindowMessage::Icon::Warning)
                << shown;
        }
    };
    const std::string split = "ERROR: Cannot split a file|Cannot split /p: ", join = "Error message|";
    row(Split, Succeeded, None, "Message|File successfully split");
    row(Join, Succeeded, None, "Message|Files successfully joined");
    row(Split, Stopped, None, "<no box>");
    row(Join, Failed, FileOperation, join + "Cannot write /o/m_splt3: No space left on device");
    row(Split, Failed, ChunkSizeBelowOne,
        "ERROR: Cannot split a file|The chunk size must be a whole number of bytes, at least 1.");
    row(Split, Failed, FileChanged, split + "the file changed while it was being split.");
    row(Join, Failed, IndexDamaged, join + "Cannot join /p: the index file is damaged (line 3 is empty).");
    row(Join, Failed, MissingPiece, join + "/p splitted file not found");
    row(Join, Failed, Unexpected, join + "Cannot join /p: /o");
}

} // namespace
} // namespace tessaly::test
