#include "CommandLine.h"

#include <string_view>

#include "Messages.h"
#include "PieceSize.h"

namespace tessaly::cli {

const char* const kUsageLine =
    "usage: tessaly-cli split FILE SIZE|-n N [-o DIR] [-qv] | join INDEX [-o DIR] [-fqv] (see --help)";

const char* const kHelpText =
    "Usage: tessaly-cli split FILE SIZE [-o DIR] [-q] [-v]\n"
    "       tessaly-cli split FILE -n N [-o DIR] [-q] [-v]\n"
    "       tessaly-cli join INDEX [-o DIR] [-f] [-q] [-v]\n"
    "\n"
    "split cuts FILE into pieces of SIZE bytes named DIR/NAME_splt1, DIR/NAME_splt2,\n"
    "..., where NAME is FILE's own name, then writes the index DIR/NAME.splt, which\n"
    "lists the full path of every piece.\n"
    "join appends the pieces INDEX lists, in order, into one file in DIR named as\n"
    "INDEX is, less every \".splt\". A piece not found where the index lists it is\n"
    "looked for beside the index, so a set joins after it was moved.\n"
    "\n"
    "  -o, --output DIR  write into DIR (default: the current folder)\n"
    "  -n, --number N    split into N pieces of equal size (the last one shorter)\n"
    "  -f, --force       join: replace a file that stands at the rebuilt path\n"
    "  -q, --quiet       show no progress and say nothing on success\n"
    "  -v, --verbose     name each piece on standard output as it is written or\n"
    "                    appended\n"
    "  -h, --help        show this help and exit\n"
    "      --version     show the version and exit\n"
    "      --            end of options (for names starting with '-')\n"
    "\n"
    "SIZE is a whole number of bytes from 1, optionally followed by a unit, as GNU\n"
    "split -b reads it: K, M, G, T, P, E (powers of 1024; also k, m, g and KiB,\n"
    "MiB, ...), KB, MB, GB, ... (powers of 1000), or b (512 bytes).\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 wrong usage, 130 after Ctrl-C (SIGINT),\n"
    "143 after SIGTERM. A run that fails or is stopped leaves no pieces, index or\n"
    "joined file behind.\n";

namespace {

// How many operands each command takes after its name.
std::size_t operandCount(const Invocation& invocation) {
    return invocation.command == Command::Split && invocation.pieceCount == 0 ? 2 : 1;
}

// The options that take a value: their short letter and long name.
struct ValueOption {
    char letter;
    std::string_view name;
};
constexpr ValueOption kOutput{'o', "--output"};
constexpr ValueOption kNumber{'n', "--number"};

// The options without a value, by short letter and long name; "" for a
// letter of no long option, '\0' for a long option of no letter.
struct Flag {
    char letter;
    std::string_view name;
};
constexpr Flag kFlags[] = {{'q', "--quiet"}, {'v', "--verbose"}, {'f', "--force"},
                           {'h', "--help"},  {'\0', "--version"}};

class Reader {
public:
    explicit Reader(ParsedCommandLine& parsed) : parsed_(parsed) {}

    // Takes the value of -o or -n; the error, or "" when it is usable.
    std::string setValue(const ValueOption& option, const std::string& value) {
        Invocation& invocation = parsed_.invocation;
        const std::string shortName = std::string("-") + option.letter;
        if (option.letter == kOutput.letter) {
            if (invocation.outputFolder) return shortName + " given more than once";
            if (value.empty()) return shortName + " needs a folder name";
            invocation.outputFolder = value;
            return {};
        }
        if (invocation.pieceCount != 0) return shortName + " given more than once";
        const PieceSize count = parsePieceCount(value);
        if (count.error == PieceSizeError::Malformed) return "invalid number of pieces " + shown(value);
        if (count.error != PieceSizeError::None || count.bytes < 2) {
            return "invalid number of pieces " + shown(value) + ": give at least 2";
        }
        invocation.pieceCount = count.bytes;
        return {};
    }

    // Sets a flag; true when it ends the reading (help, version).
    bool setFlag(char letter) {
        Invocation& invocation = parsed_.invocation;
        switch (letter) {
        case 'q': invocation.quiet = true; return false;
        case 'v': invocation.verbose = true; return false;
        case 'f': invocation.force = true; return false;
        case 'h': invocation.command = Command::Help; return true;
        default: invocation.command = Command::Version; return true;
        }
    }

private:
    ParsedCommandLine& parsed_;
};

} // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed;
    Invocation& invocation = parsed.invocation;
    Reader reader(parsed);
    auto fail = [&](std::string error) {
        parsed.error = std::move(error);
        return parsed;
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
            bool known = false;
            for (const ValueOption& option : {kOutput, kNumber}) {
                if (name != option.name) continue;
                known = true;
                if (!hasValue && !hasNext) {
                    return fail(name + (option.letter == kOutput.letter ? " needs a folder name" : " needs a number"));
                }
                const std::string error = reader.setValue(option, hasValue ? argument.substr(equals + 1) : arguments[++i]);
                if (!error.empty()) return fail(error);
            }
            if (known) continue;
            const Flag* flag = nullptr;
            for (const Flag& f : kFlags) {
                if (f.name == name) flag = &f;
            }
            if (!flag) return fail("unknown option " + shown(name));
            if (hasValue) return fail("option " + name + " takes no value");
            if (reader.setFlag(flag->letter)) return parsed;
        } else {
            // Short options, possibly grouped ("-qo DIR"); -o and -n take
            // the rest of the word ("-oDIR") or else the next argument.
            for (std::size_t j = 1; j < argument.size(); ++j) {
                const char letter = argument[j];
                if (letter == kOutput.letter || letter == kNumber.letter) {
                    const ValueOption& option = letter == kOutput.letter ? kOutput : kNumber;
                    const bool attached = j + 1 < argument.size();
                    if (!attached && !hasNext) {
                        return fail(std::string("-") + letter +
                                    (letter == kOutput.letter ? " needs a folder name" : " needs a number"));
                    }
                    const std::string error = reader.setValue(option, attached ? argument.substr(j + 1) : arguments[++i]);
                    if (!error.empty()) return fail(error);
                    break;
                }
                bool known = false;
                for (const Flag& f : kFlags) known = known || (f.letter != '\0' && f.letter == letter);
                if (!known) return fail("unknown option " + shown(std::string("-") + letter));
                if (reader.setFlag(letter)) return parsed;
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
    if (invocation.command == Command::Join && invocation.pieceCount != 0) return fail("-n is for split only");
    if (invocation.command == Command::Split && invocation.force) return fail("-f is for join only");
    const std::size_t wanted = operandCount(invocation);
    if (operands.size() < wanted + 1) {
        return fail(invocation.command == Command::Split ? "split needs a FILE and a SIZE (or -n N)"
                                                         : "join needs an INDEX");
    }
    if (operands.size() > wanted + 1) {
        if (invocation.pieceCount != 0 && operands.size() == 3) return fail("give a SIZE or -n N, not both");
        return fail("unexpected argument " + shown(operands[wanted + 1]));
    }

    invocation.path = operands[1];
    if (invocation.command == Command::Split && invocation.pieceCount == 0) {
        const PieceSize size = parsePieceSize(operands[2]);
        switch (size.error) {
        case PieceSizeError::None: break;
        case PieceSizeError::Malformed:
            return fail("invalid SIZE " + shown(operands[2]) +
                        ": give whole bytes, optionally with a unit such as K, MiB or GB (see --help)");
        case PieceSizeError::Zero: return fail("invalid SIZE " + shown(operands[2]) + ": a piece holds at least 1 byte");
        case PieceSizeError::OutOfRange:
            return fail("SIZE " + shown(operands[2]) + " is out of range: 1 to 9223372036854775807 bytes");
        }
        invocation.pieceSize = size.bytes;
    }
    return parsed;
}

} // namespace tessaly::cli
