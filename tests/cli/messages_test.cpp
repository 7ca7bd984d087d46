// The line said for each way a run can fail, and how names are shown in
// such lines, so that none can break a line or pass for another.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "Messages.h"

namespace tessaly::cli {
namespace {

using SplitMergeFile::Damage;
using SplitMergeFile::Problem;
using SplitMergeFile::Result;

Result failure(Problem problem, std::string path = "", std::string other = "") {
    Result r;
    r.status = SplitMergeFile::Status::Failed;
    r.problem = problem;
    r.path = std::move(path);
    r.other = std::move(other);
    return r;
}

Result ioFailure(tessaly::Operation operation, std::string path, std::error_code code) {
    Result r = failure(Problem::FileOperation);
    r.io = {operation, std::move(path), code};
    return r;
}

Result damaged(std::int64_t line, Damage damage) {
    Result r = failure(Problem::IndexDamaged, "/o/x.splt");
    r.line = line;
    r.damage = damage;
    return r;
}

TEST(Messages, OneLinePerProblem) {
    const std::error_code noSpace(ENOSPC, std::generic_category());
    struct Row { const char* what; Command command; Result result; const char* line; };
    const Row rows[] = {
        {"write failed", Command::Split, ioFailure(tessaly::Operation::Write, "/x/y_splt3", noSpace),
         "cannot write /x/y_splt3: No space left on device"},
        {"piece size", Command::Split, failure(Problem::ChunkSizeBelowOne), "the piece size must be at least 1 byte"},
        {"CR LF in a piece path", Command::Split, failure(Problem::PathHoldsLineBreak, "/a/b\r\nc", "/o/b\r\nc_splt1"),
         "cannot split $'/a/b\\r\\nc': the piece path $'/o/b\\r\\nc_splt1' holds a line break (CR LF), "
         "which an index cannot list"},
        {"output is the source", Command::Split, failure(Problem::WouldOverwriteSource, "/a/b", "/o/b_splt1"),
         "cannot split /a/b: writing /o/b_splt1 would overwrite the file being split; choose another output folder"},
        {"file changed", Command::Join, failure(Problem::FileChanged, "/o/b_splt2"),
         "/o/b_splt2 changed while it was being read; run again once it stays unchanged"},
        {"pieces replaced", Command::Join, failure(Problem::PiecesChanged, "/o/x.splt"),
         "cannot join /o/x.splt: the pieces it lists were replaced or changed meanwhile"},
        {"empty line", Command::Join, damaged(3, Damage::Empty), "damaged index /o/x.splt: line 3 is empty"},
        {"NUL", Command::Join, damaged(1, Damage::HoldsNul), "damaged index /o/x.splt: line 1 holds a NUL byte"},
        {"long line", Command::Join, damaged(2, Damage::TooLong),
         "damaged index /o/x.splt: line 2 is longer than 131072 bytes"},
        {"no rebuilt name", Command::Join, failure(Problem::NoRebuiltName, "/o/.splt"),
         "cannot join /o/.splt: its name without \".splt\" leaves no file name"},
        {"rebuilt is index", Command::Join, failure(Problem::RebuiltIsIndex, "/o/list"),
         "cannot join into /o/list: it is the index file itself; choose another output folder"},
        {"rebuilt is piece", Command::Join, failure(Problem::RebuiltIsPiece, "/o/a", "/o/./a"),
         "cannot join into /o/a: it is the listed piece /o/./a; choose another output folder"},
        {"missing piece", Command::Join, failure(Problem::MissingPiece, "/x/y_splt2"), "missing piece /x/y_splt2"},
        {"unexpected", Command::Split, failure(Problem::Unexpected, "/a/b", "memory ran out"),
         "cannot split /a/b: memory ran out"},
        {"no reason given", Command::Join, failure(Problem::None), "join failed for a reason it did not give"},
    };
    for (const Row& row : rows) EXPECT_EQ(failureText(row.command, row.result), row.line) << row.what;
}

TEST(Messages, NamesShownUnambiguously) {
    const std::pair<const char*, const char*> rows[] = {
        {"/a/b-1_2.x,y:z@h%=^+", "/a/b-1_2.x,y:z@h%=^+"},
        {"/caf\xc3\xa9", "/caf\xc3\xa9"},   // UTF-8 as it is
        {"", "''"},                         // an empty name is still seen
        {"my file", "'my file'"},           // a blank, or one at either end
        {"it's", "'it'\\''s'"},
        {"-q*", "'-q*'"},
        {"a\nb", "$'a\\nb'"},               // a line break cannot end the line
        {"a\tb\\'", "$'a\\tb\\\\\\''"},
        {"\x1b[31mred", "$'\\x1b[31mred'"}, // terminal escapes are not acted on
        {"\xc2\x9b" "31m", "$'\\xc2\\x9b31m'"},
    };
    for (const auto& [name, text] : rows) EXPECT_EQ(shown(name), text) << text;
}

} // namespace
} // namespace tessaly::cli
