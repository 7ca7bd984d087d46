#include "CommandLine.h"

#include <string_view>

#include "Messages.h"
#include "PieceSize.h"

namespace tessaly::cli {

const char* const kUsageLine =
    "usage: tessaly-cli split FILE SIZE [-o DIR] [-q] | join INDEX [-o DIR] [-q] (see --help)";

const char* const kHelpText =
    "Usage: tessaly-cli split FILE SIZE [-o DIR] [-q]\n"
    "       tessaly-cli join INDEX [-o DIR] [-q]\n"
    "\n"
    "split cuts FILE into pieces of SIZE bytes named DIR/NAME_splt1, DIR/NAME_splt2,\n"
    "..., where NAME is FILE's own name, then writes the index DIR/NAME.splt, which\n"
    "lists the full path of every piece.\n"
    "join appends the pieces INDEX lists, in order, into one file in DIR named as\n"
    "INDEX is, less every \".splt\".\n"
    "\n"
    "  -o, --output DIR  write into DIR (default: the current folder)\n"
    "  -q, --quiet       show no progress and say nothing on success\n"
    "  -h, --help        show this help and exit\n"
    "      --version     show the version and exit\n"
    "      --            end of options (for names starting with '-')\n"
    "\n"
    "SIZE is a whole number of bytes from 1, optionally followed by K, M, G or T\n"
    "(powers of 1024) or KB, MB, GB or TB (powers of 1000), as GNU split -b reads it.\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 wrong usage, 130 after Ctrl-C (SIGINT),\n"
    "143 after SIGTERM. A run that fails or is stopped leaves no pieces, index or\n"
    "joined file behind.\n";

namespace {

// How many operands each command takes after its name.
std::size_t operandCount(Command command) { return command == Command::Split ? 2 : 1; }

} // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed;
    Invocation& invocation = parsed.invocation;
    auto fail = [&](std::string error) {
        parsed.error = std::move(error);
        return parsed;
    };
    auto setOutputFolder = [&](const std::string& folder) -> std::string {
        if (invocation.outputFolder) return "-o given more than once";
        if (folder.empty()) return "-o needs a folder name";
        invocation.outputFolder = folder;
        return {};
    };

    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasNext = i + 1 < arguments.size();
        if (optionsEnded || argument == "-" || !argument.starts_with('-')) {
            operands.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument.starts_with("--")) {
            const std::size_t equals = argument.find('=');
            const std::string name = argument.substr(0, equals);
            const bool hasValue = equals != std::string::npos;
            if (name == "--output") {
                if (!hasValue && !hasNext) return fail("--output needs a folder name");
                const std::string error = setOutputFolder(hasValue ? argument.substr(equals + 1) : arguments[++i]);
                if (!error.empty()) return fail(error);
                continue;
            }
            if (name != "--help" && name != "--version" && name != "--quiet") {
                return fail("unknown option " + shown(name));
            }
            if (hasValue) return fail("option " + name + " takes no value");
            if (name == "--help") invocation.command = Command::Help;
            if (name == "--version") invocation.command = Command::Version;
            if (name == "--quiet") {
                invocation.quiet = true;
                continue;
            }
            return parsed;
        } else {
            // Short options, possibly grouped ("-qo DIR"); -o takes the rest
            // of the word ("-oDIR") or else the next argument.
            for (std::size_t j = 1; j < argument.size(); ++j) {
                const char letter = argument[j];
                if (letter == 'q') {
                    invocation.quiet = true;
                } else if (letter == 'h') {
                    invocation.command = Command::Help;
                    return parsed;
                } else if (letter == 'o') {
                    const bool attached = j + 1 < argument.size();
                    if (!attached && !hasNext) return fail("-o needs a folder name");
                    const std::string error = setOutputFolder(attached ? argument.substr(j + 1) : arguments[++i]);
                    if (!error.empty()) return fail(error);
                    break;
                } else {
                    return fail("unknown option " + shown(std::string("-") + letter));
                }
            }
        }
    }

    if (operands.empty()) return fail("no command given");
    const std::string& name = operands[0];
    if (name == "split") {
        invocation.command = Command::Split;
    } else if (name == "join") {
        invocation.command = Command::Join;
    } else {
        return fail("unknown command " + shown(name) + " (split or join)");
    }
    const std::size_t wanted = operandCount(invocation.command);
    if (operands.size() < wanted + 1) {
        return fail(invocation.command == Command::Split ? "split needs a FILE and a SIZE" : "join needs an INDEX");
    }
    if (operands.size() > wanted + 1) return fail("unexpected argument " + shown(operands[wanted + 1]));

    invocation.path = operands[1];
    if (invocation.command == Command::Split) {
        const PieceSize size = parsePieceSize(operands[2]);
        if (size.error == PieceSizeError::Malformed) {
            return fail("invalid SIZE " + shown(operands[2]) +
                        ": give whole bytes, optionally with K, M, G, T (1024) or KB, MB, GB, TB (1000)");
        }
        if (size.error == PieceSizeError::OutOfRange) {
            return fail("SIZE " + shown(operands[2]) + " is out of range: 1 to 9223372036854775807 bytes");
        }
        invocation.pieceSize = size.bytes;
    }
    return parsed;
}

} // namespace tessaly::cli
