// Taking the command line apart: where options may stand, the ways -o is
// given, "--", and each kind of mistake refused with its reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandLine.h"

namespace tessaly::cli {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, ReadsCommandsAndOptions) {
    struct Row {
        const char* what;
        Args args;
        Command command;
        std::string path;
        std::int64_t pieceSize;
        std::optional<std::string> folder;
        bool quiet;
    };
    const Row rows[] = {
        {"plain split", {"split", "a b", "2K"}, Command::Split, "a b", 2048, {}, false},
        {"plain join", {"join", "x.splt"}, Command::Join, "x.splt", 0, {}, false},
        {"options first", {"-q", "-o", "out", "split", "f", "7"}, Command::Split, "f", 7, "out", true},
        {"options last", {"join", "i", "--quiet", "--output", "out"}, Command::Join, "i", 0, "out", true},
        {"attached folder", {"join", "i", "-oout"}, Command::Join, "i", 0, "out", false},
        {"long option with =", {"join", "i", "--output=a=b"}, Command::Join, "i", 0, "a=b", false},
        {"grouped letters", {"join", "-qo", "out", "i"}, Command::Join, "i", 0, "out", true},
        {"folder named like an option", {"join", "i", "-o", "-q"}, Command::Join, "i", 0, "-q", false},
        {"-- ends options", {"split", "--", "-q", "5"}, Command::Split, "-q", 5, {}, false},
        {"lone dash is a name", {"join", "-"}, Command::Join, "-", 0, {}, false},
        {"help wins over what follows", {"--help", "bogus", "--bad"}, Command::Help, "", 0, {}, false},
        {"version", {"--version"}, Command::Version, "", 0, {}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const ParsedCommandLine parsed = parseCommandLine(row.args);
        EXPECT_EQ(parsed.error, "");
        EXPECT_EQ(parsed.invocation.command, row.command);
        EXPECT_EQ(parsed.invocation.path, row.path);
        EXPECT_EQ(parsed.invocation.pieceSize, row.pieceSize);
        EXPECT_EQ(parsed.invocation.outputFolder, row.folder);
        EXPECT_EQ(parsed.invocation.quiet, row.quiet);
    }
}

TEST(CommandLine, RefusesMistakesWithTheirReason) {
    struct Row { const char* what; Args args; const char* error; };
    const Row rows[] = {
        {"nothing", {}, "no command given"},
        {"unknown command", {"copy", "f"}, "unknown command copy (split or join)"},
        {"split without SIZE", {"split", "f"}, "split needs a FILE and a SIZE"},
        {"join without INDEX", {"join"}, "join needs an INDEX"},
        {"one operand too many", {"join", "i", "j"}, "unexpected argument j"},
        {"name with a dash, no --", {"split", "-x", "5"}, "unknown option -x"},
        {"unknown long option", {"join", "i", "--out"}, "unknown option --out"},
        {"value for a flag", {"join", "i", "--quiet=yes"}, "option --quiet takes no value"},
        {"-o at the end", {"join", "i", "-o"}, "-o needs a folder name"},
        {"two folders", {"join", "i", "-o", "a", "-ob"}, "-o given more than once"},
        {"bad SIZE, quoted", {"split", "f", "1 K"},
         "invalid SIZE '1 K': give whole bytes, optionally with K, M, G, T (1024) or KB, MB, GB, TB (1000)"},
        {"SIZE out of range", {"split", "f", "0"}, "SIZE 0 is out of range: 1 to 9223372036854775807 bytes"},
    };
    for (const Row& row : rows) EXPECT_EQ(parseCommandLine(row.args).error, row.error) << row.what;
}

} // namespace
} // namespace tessaly::cli
