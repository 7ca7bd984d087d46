// Reading the command line: the command, its operands and the options.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaly::cli {

enum class Command { Split, Join, Help, Version };

struct Invocation {
    Command command = Command::Help;
    std::string path;           // split: the file to cut; join: the index file
    std::int64_t pieceSize = 0; // split with SIZE
    std::int64_t pieceCount = 0; // split with -n N instead of SIZE
    std::optional<std::string> outputFolder; // as given to -o; none: the current folder
    bool quiet = false;
    bool verbose = false; // name each piece on standard output
    bool force = false;   // join: replace a file at the rebuilt path
};

// The invocation, or why the command line cannot be used (one line, without
// the program's name in front).
struct ParsedCommandLine {
    Invocation invocation;
    std::string error; // empty when the command line is usable
};

// `arguments` come without the program's name. Options may stand anywhere;
// "--" ends them, so that names starting with "-" can follow. --help and
// --version win over whatever comes after them.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments);

// One line naming both commands, shown after a usage error.
extern const char* const kUsageLine;
// The text --help prints.
extern const char* const kHelpText;

} // namespace tessaly::cli
