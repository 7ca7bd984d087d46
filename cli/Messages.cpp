#include "Messages.h"

#include <csignal>
#include <cstdio>

namespace tessaly::cli {

namespace {

using SplitMergeFile::Damage;
using SplitMergeFile::Problem;

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// UTF-8 for U+0080..U+009F: control codes some terminals act on.
bool isEncodedC1(std::string_view text, std::size_t at) {
    return static_cast<unsigned char>(text[at]) == 0xc2 && at + 1 < text.size() &&
           static_cast<unsigned char>(text[at + 1]) >= 0x80 && static_cast<unsigned char>(text[at + 1]) <= 0x9f;
}

// Characters a shell reads as themselves anywhere in a word. Bytes from 0x80
// on are the rest of UTF-8 and shown as they are.
bool isPlain(unsigned char c) {
    if (c >= 0x80) return true;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
#ifdef _WIN32
    // Windows paths are written with backslashes; its shells take them as they are.
    if (c == '\\') return true;
#endif
    return std::string_view("/._-+,:@%=^").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string hexEscape(unsigned char c) {
    char text[5];
    std::snprintf(text, sizeof text, "\\x%02x", c);
    return text;
}

std::string plural(std::int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

const char* commandName(Command command) { return command == Command::Join ? "join" : "split"; }

} // namespace

std::string shown(std::string_view text) {
    bool plain = !text.empty();
    bool control = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        plain = plain && isPlain(c) && !isEncodedC1(text, i);
        control = control || isControl(c) || isEncodedC1(text, i);
    }
    if (plain) return std::string(text);

    if (!control) {
        std::string quoted = "'";
        for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return quoted + "'";
    }

    std::string quoted = "$'";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\r') {
            quoted += "\\r";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (c == '\\' || c == '\'') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (isControl(c) || isEncodedC1(text, i)) {
            quoted += hexEscape(c);
            if (!isControl(c)) quoted += hexEscape(static_cast<unsigned char>(text[++i]));
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "'";
}

std::string failureText(Command command, const SplitMergeFile::Result& r) {
    switch (r.problem) {
    case Problem::None:
        break;
    case Problem::FileOperation:
        return ioFailureText(r.io);
    case Problem::ChunkSizeBelowOne:
        return "the piece size must be at least 1 byte";
    case Problem::PathHoldsLineBreak:
        return "cannot split " + shown(r.path) + ": the piece path " + shown(r.other) +
               " holds a line break (CR LF), which an index cannot list";
    case Problem::WouldOverwriteSource:
        return "cannot split " + shown(r.path) + ": writing " + shown(r.other) +
               " would overwrite the file being split; choose another output folder";
    case Problem::FileChanged:
        return shown(r.path) + " changed while it was being read; run again once it stays unchanged";
    case Problem::PiecesChanged:
        if (command == Command::Split) {
            return "cannot split " + shown(r.path) + ": its pieces were replaced or changed by something else meanwhile";
        }
        return "cannot join " + shown(r.path) + ": the pieces it lists were replaced or changed meanwhile";
    case Problem::IndexDamaged: {
        std::string what;
        switch (r.damage) {
        case Damage::Empty: what = "is empty"; break;
        case Damage::HoldsNul: what = "holds a NUL byte"; break;
        case Damage::TooLong: what = "is longer than " + std::to_string(SplitMergeFile::kLongestEntry) + " bytes"; break;
        }
        return "damaged index " + shown(r.path) + ": line " + std::to_string(r.line) + " " + what;
    }
    case Problem::NoRebuiltName:
        return "cannot join " + shown(r.path) + ": its name without \".splt\" leaves no file name";
    case Problem::RebuiltIsIndex:
        return "cannot join into " + shown(r.path) + ": it is the index file itself; choose another output folder";
    case Problem::RebuiltIsPiece:
        return "cannot join into " + shown(r.path) + ": it is the listed piece " + shown(r.other) +
               "; choose another output folder";
    case Problem::MissingPiece:
        if (r.other.empty()) return "missing piece " + shown(r.path);
        return "missing piece " + shown(r.path) + " (also looked for " + shown(r.other) + ")";
    case Problem::PiecesInTwoFolders:
        return "cannot join: the pieces lie in two folders: " + shown(r.path) + " where the index lists it, " +
               shown(r.other) + " only beside the index; put the whole set in one folder";
    case Problem::Unexpected:
        return std::string("cannot ") + commandName(command) + " " + shown(r.path) + ": " + r.other;
    }
    return std::string(commandName(command)) + " failed for a reason it did not give";
}

std::string ioFailureText(const tessaly::IoError& error) {
    return std::string("cannot ") + tessaly::verb(error.operation) + " " + shown(error.path) + ": " + error.reason();
}

std::string notAFileText(Command command, const std::string& path, NotAFile what) {
    const std::string start = std::string("cannot ") + commandName(command) + " " + shown(path) + ": ";
    switch (what) {
    case NotAFile::Missing: return start + "no such file";
    case NotAFile::Folder: return start + "it is a folder";
    case NotAFile::Other: break;
    }
    return start + "not an ordinary file";
}

std::string examineFailureText(const std::string& path, std::error_code error) {
    return "cannot examine " + shown(path) + ": " + error.message();
}

std::string partOfPieceSetText(const std::string& path) {
    return "cannot split " + shown(path) + ": its path holds \".splt\" or \"_splt\", so it is part of a piece set";
}

std::string notLargerThanOnePieceText(const std::string& path, std::int64_t size, std::int64_t pieceSize) {
    const std::string text = "cannot split " + shown(path) + ": at " + plural(size, "byte", "bytes") +
                             " it is not larger than one piece of " + plural(pieceSize, "byte", "bytes");
    if (size < 2) return text + "; a file under 2 bytes cannot be split";
    return text + "; a SIZE of at most " + std::to_string(size - 1) + " would split it";
}

std::string noEqualPiecesText(const std::string& path, std::int64_t size, std::int64_t count) {
    return "cannot split " + shown(path) + " into " + std::to_string(count) + " pieces: at " +
           plural(size, "byte", "bytes") + " no piece size gives " + std::to_string(count) +
           " pieces with only the last one shorter";
}

std::string pieceGivenToJoinText(const std::string& piece, const std::string& index) {
    return "cannot join " + shown(piece) + ": it is a piece; join its index " + shown(index);
}

std::string outputFolderMissingText(const std::string& folder, bool somethingElseStandsThere) {
    const std::string text = "output folder " + shown(folder) + " does not exist";
    return somethingElseStandsThere ? text + " (a file of that name stands there)" : text;
}

std::string rebuiltExistsText(const std::string& index, const std::string& rebuilt) {
    return "cannot join " + shown(index) + ": " + shown(rebuilt) + " already exists; give -f to replace it";
}

std::string incompleteRemovedText(const std::string& text, const std::string& path, std::error_code removal) {
    if (removal) return text + "; the incomplete " + shown(path) + " is left, as it cannot be removed: " + removal.message();
    return text + "; the incomplete " + shown(path) + " was removed";
}

std::string stoppedText(Command command, int signal) {
    const char* name = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal";
#ifdef SIGHUP
    if (signal == SIGHUP) name = "SIGHUP";
#endif
    if (command == Command::Join) return std::string("join stopped by ") + name + "; nothing was written";
    return std::string("split stopped by ") + name + "; the pieces written so far were removed";
}

std::string splitDoneText(const std::string& source, std::int64_t pieces, const std::string& index) {
    return "split " + shown(source) + " into " + plural(pieces, "piece", "pieces") + ", index " + shown(index);
}

std::string joinDoneText(const std::string& index, std::int64_t pieces, const std::string& rebuilt) {
    return "joined " + plural(pieces, "piece", "pieces") + " listed in " + shown(index) + " into " + shown(rebuilt);
}

std::string pieceDoneText(Command command, const std::string& piece) {
    return std::string(command == Command::Join ? "appended " : "wrote ") + shown(piece) + "\n";
}

} // namespace tessaly::cli
