// tessaly-cli's parts: the command line and piece sizes as read, the line said for each way a run
// fails, with names shown so that none can break a line or pass for another, and the progress line.
#include <gtest/gtest.h>

#include <cerrno>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Messages.h"
#include "PieceSize.h"
#include "ProgressLine.h"

namespace tessaly::cli {
namespace {

using SplitMergeFile::Damage;
using SplitMergeFile::Problem;

// What was read, as "command [path] size -n count -o [folder] -f -v -q", or the error.
std::string read(const std::vector<std::string>& arguments) {
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    if (!parsed.error.empty()) return "error: " + parsed.error;
    const Invocation& i = parsed.invocation;
    const char* const commands[] = {"split", "join", "help", "version"};
    std::string text = commands[static_cast<int>(i.command)] + (" [" + i.path + "]");
    if (i.pieceSize != 0) text += " " + std::to_string(i.pieceSize);
    if (i.pieceCount != 0) text += " -n " + std::to_string(i.pieceCount);
    if (i.outputFolder) text += " -o [" + *i.outputFolder + "]";
    if (i.force) text += " -f";
    if (i.verbose) text += " -v";
    return i.quiet ? text + " -q" : text;
}

TEST(CommandLine, ReadsOptionsAnywhereAndRefusesMistakes) {
    const std::pair<std::vector<std::string>, const char*> rows[] = {
        {{"split", "a b", "2K"}, "split [a b] 2048"},
        {{"-q", "-o", "out", "split", "f", "7"}, "split [f] 7 -o [out] -q"},
        {{"join", "i", "--quiet", "--output", "out"}, "join [i] -o [out] -q"},
        {{"join", "i", "-oout"}, "join [i] -o [out]"},                 // the folder attached
        {{"join", "i", "--output=a=b"}, "join [i] -o [a=b]"},
        {{"join", "-qo", "out", "i"}, "join [i] -o [out] -q"},         // letters grouped
        {{"join", "i", "-o", "-q"}, "join [i] -o [-q]"},               // a folder named like an option
        {{"split", "--", "-q", "5"}, "split [-q] 5"},                  // "--" ends the options
        {{"join", "-"}, "join [-]"},                                   // a lone dash is a name
        {{"--help", "bogus", "--bad"}, "help []"},                     // help wins over what follows
        {{}, "error: no command given"},
        {{"copy", "f"}, "error: unknown command copy (split or join)"},
        {{"split", "f"}, "error: split needs a FILE and a SIZE (or -n N)"},
        {{"join", "i", "j"}, "error: unexpected argument j"},
        {{"split", "-x", "5"}, "error: unknown option -x"},
        {{"join", "i", "-o"}, "error: -o needs a folder name"},
        {{"join", "i", "-o", "a", "-ob"}, "error: -o given more than once"},
        {{"split", "f", "1 K"}, "error: invalid SIZE '1 K': give whole bytes, optionally with a unit such as K, MiB "
                                "or GB (see --help)"},
        {{"split", "f", "0"}, "error: invalid SIZE 0: a piece holds at least 1 byte"},
        {{"split", "f", "0K"}, "error: invalid SIZE 0K: a piece holds at least 1 byte"},
        // -n N in place of SIZE, -f for join, --verbose for both.
        {{"split", "f", "-n", "4"}, "split [f] -n 4"},
        {{"split", "-n4", "f", "--verbose"}, "split [f] -n 4 -v"},
        {{"split", "f", "--number=9"}, "split [f] -n 9"},
        {{"join", "i", "-fv"}, "join [i] -f -v"},
        {{"join", "--force", "i"}, "join [i] -f"},
        {{"split", "f", "3", "-n", "2"}, "error: give a SIZE or -n N, not both"},
        {{"split", "f", "-n", "1"}, "error: invalid number of pieces 1: give at least 2"},
        {{"split", "f", "-n", "2K"}, "error: invalid number of pieces 2K"},
        {{"split", "f", "-n"}, "error: -n needs a number"},
        {{"join", "i", "-n", "2"}, "error: -n is for split only"},
        {{"split", "f", "3", "-f"}, "error: -f is for join only"},
        {{"join", "i", "--force=yes"}, "error: option --force takes no value"},
    };
    for (const auto& [arguments, expected] : rows) EXPECT_EQ(read(arguments), expected);
}

// A piece size as read: its bytes, or why it is refused.
std::string size(const char* text) {
    const PieceSize parsed = parsePieceSize(text);
    switch (parsed.error) {
    case PieceSizeError::None: break;
    case PieceSizeError::Malformed: return "malformed";
    case PieceSizeError::Zero: return "zero";
    case PieceSizeError::OutOfRange: return "out of range";
    }
    return std::to_string(parsed.bytes);
}

TEST(PieceSize, UnitsLimitsAndJunk) {
    const std::pair<const char*, const char*> rows[] = {
        // Powers of 1024 (with or without "iB") and of 1000 ("B"), each up to the most that fits.
        {"3K", "3072"}, {"3k", "3072"}, {"3KiB", "3072"}, {"3kiB", "3072"}, {"3KB", "3000"}, {"3kB", "3000"},
        {"3m", "3145728"}, {"3MiB", "3145728"}, {"3MB", "3000000"}, {"3g", "3221225472"}, {"3GiB", "3221225472"},
        {"3GB", "3000000000"}, {"3T", "3298534883328"}, {"3TB", "3000000000000"}, {"1P", "1125899906842624"},
        {"7E", "8070450532247928832"}, {"8E", "out of range"}, {"8388607T", "9223370937343148032"},
        {"8388608T", "out of range"}, {"9223372TB", "9223372000000000000"}, {"9223373TB", "out of range"},
        {"9EB", "9000000000000000000"}, {"10EB", "out of range"}, {"1Z", "out of range"}, {"1YB", "out of range"},
        {"1Q", "out of range"}, {"0Q", "zero"},
        // b is 512 bytes; it takes no second suffix.
        {"3b", "1536"}, {"3bB", "malformed"}, {"3biB", "malformed"},
        // Bytes from 1 to 2^63-1; digits past 64 bits do not wrap round.
        {"1", "1"}, {"0010", "10"}, {"9223372036854775807", "9223372036854775807"}, {"0", "zero"},
        {"9223372036854775808", "out of range"}, {"18446744073709551617", "out of range"},
        // Signs, fractions, blanks, other letters and letter cases, other scripts' digits.
        {"", "malformed"}, {"K", "malformed"}, {"-5", "malformed"}, {"+5", "malformed"}, {"1.5K", "malformed"},
        {" 5", "malformed"}, {"5 ", "malformed"}, {"5 K", "malformed"}, {"5t", "malformed"}, {"5Kib", "malformed"},
        {"5KIB", "malformed"}, {"5Kb", "malformed"}, {"5B", "malformed"}, {"5KiBB", "malformed"}, {"5X", "malformed"},
        {"1e3", "malformed"}, {"\xd9\xa5", "malformed"},
    };
    for (const auto& [text, expected] : rows) EXPECT_EQ(size(text), expected) << '"' << text << '"';
}

// -n N: one size for every piece but the last, which may be shorter, and exactly N pieces or none.
TEST(PieceSize, EqualPiecesOrNone) {
    constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();
    const std::tuple<std::int64_t, std::int64_t, std::optional<std::int64_t>> rows[] = {
        {12, 4, 3},           // all equal
        {10, 4, 3},           // 3, 3, 3, 1
        {10, 3, 4},           // 4, 4, 2
        {10, 10, 1},          // one byte each
        {10, 6, std::nullopt}, // 2 bytes make 5 pieces, 1 byte makes 10
        {10, 11, std::nullopt},
        {0, 2, std::nullopt},
        {kLargest, 2, kLargest / 2 + 1},
        {kLargest, kLargest, 1},
    };
    for (const auto& [size, count, expected] : rows) EXPECT_EQ(equalPieceSize(size, count), expected) << size << "/" << count;
}

// A failed run's result.
SplitMergeFile::Result failure(Problem problem, std::string path = "", std::string other = "",
                               std::int64_t line = 0, Damage damage = Damage::Empty) {
    return {SplitMergeFile::Status::Failed, problem, {}, std::move(path), std::move(other), line, damage};
}

// Problems in the tool's words, with names quoted as a POSIX shell takes them back: blank, quote, controls.
TEST(Messages, OneLinePerProblem) {
    using enum Problem;
    using enum Command;
    SplitMergeFile::Result full = failure(FileOperation);
    full.io = {tessaly::Operation::Write, "/x/y_splt3", std::error_code(ENOSPC, std::generic_category())};
    const std::tuple<Command, SplitMergeFile::Result, const char*> rows[] = {
        {Split, full, "cannot write /x/y_splt3: No space left on device"},
        {Split, failure(ChunkSizeBelowOne), "the piece size must be at least 1 byte"},
        {Split, failure(PathHoldsLineBreak, "/a/b\r\nc", "/o/b\r\nc_splt1"),
         "cannot split $'/a/b\\r\\nc': the piece path $'/o/b\\r\\nc_splt1' holds a line break (CR LF), "
         "which an index cannot list"},
        {Split, failure(WouldOverwriteSource, "/a/my b", "/o/my b_splt1"),
         "cannot split '/a/my b': writing '/o/my b_splt1' would overwrite the file being split; "
         "choose another output folder"},
        {Join, failure(FileChanged, "/o/it's_splt2"),
         "'/o/it'\\''s_splt2' changed while it was being read; run again once it stays unchanged"},
        {Join, failure(PiecesChanged, "/o/\xc2\x9b" "31m.splt"),
         "cannot join $'/o/\\xc2\\x9b31m.splt': the pieces it lists were replaced or changed meanwhile"},
        {Join, failure(IndexDamaged, "/o/x.splt", "", 3, Damage::Empty), "damaged index /o/x.splt: line 3 is empty"},
        {Join, failure(IndexDamaged, "/o/x.splt", "", 2, Damage::TooLong),
         "damaged index /o/x.splt: line 2 is longer than 131072 bytes"},
        {Join, failure(RebuiltIsIndex, "/o/caf\xc3\xa9"),
         "cannot join into /o/caf\xc3\xa9: it is the index file itself; choose another output folder"},
        {Join, failure(MissingPiece, "/x/\x1b[31mred"), "missing piece $'/x/\\x1b[31mred'"},
        {Join, failure(MissingPiece, "/gone/a b_splt2", "/m/a b_splt2"),
         "missing piece '/gone/a b_splt2' (also looked for '/m/a b_splt2')"},
        {Join, failure(PiecesInTwoFolders, "/a/x_splt1", "/b/x_splt2"),
         "cannot join: the pieces lie in two folders: /a/x_splt1 where the index lists it, /b/x_splt2 only beside "
         "the index; put the whole set in one folder"},
        {Split, failure(Unexpected, "-q*", "memory ran out"), "cannot split '-q*': memory ran out"},
    };
    for (const auto& [command, result, line] : rows) EXPECT_EQ(failureText(command, result), line);
}

TEST(ProgressLine, FitsWhatItCanIntoTheWidthLeavingTheLastColumnFree) {
    constexpr std::int64_t GiB = std::int64_t{1} << 30;
    const std::tuple<std::int64_t, std::int64_t, double, int, const char*> rows[] = {
        {3 * GiB, 8 * GiB, 6, 80, "[#######..............]  37%     3.0 GiB / 8.0 GiB   512.0 MiB/s      0:10 left"},
        // No rate and time left before half a second; none with nothing to copy, which is done.
        {3 * GiB, 8 * GiB, 0.4, 80, "[#######..............]  37%     3.0 GiB / 8.0 GiB            --        -- left"},
        {0, 0, 0, 80, "[#########################] 100%         0 B / 0 B            --        -- left"},
        {8 * GiB - 1, 8 * GiB, 16, 80,
         "[####################.]  99%     8.0 GiB / 8.0 GiB   512.0 MiB/s      0:00 left"},
        {1, GiB, 1, 80, "[.....................]   0%         1 B / 1.0 GiB         1 B/s        -- left"},
        {3 * GiB, 8 * GiB, 6, 58, " 37%     3.0 GiB / 8.0 GiB   512.0 MiB/s      0:10 left"},
        {3 * GiB, 8 * GiB, 6, 40, " 37%     3.0 GiB / 8.0 GiB"},
        {3 * GiB, 8 * GiB, 6, 5, " 37%"},
        {3 * GiB, 8 * GiB, 6, 4, ""},
    };
    for (const auto& [done, total, seconds, width, line] : rows)
        EXPECT_EQ(progressLine(done, total, std::chrono::duration<double>(seconds), width), line) << width;
    const std::pair<double, const char*> sizes[] = {{1023, "1023 B"}, {1536, "1.5 KiB"}, {1048524, "1023.9 KiB"},
                                                    {1048525, "1.0 MiB"}, {9.3e18, "8.1 EiB"}};
    for (const auto& [bytes, text] : sizes) EXPECT_EQ(byteText(bytes), text);
    const std::pair<double, const char*> times[] = {{59.6, "1:00"}, {3599, "59:59"}, {360000, "100:00:00"}};
    for (const auto& [seconds, text] : times) EXPECT_EQ(durationText(seconds), text);
}

} // namespace
} // namespace tessaly::cli
