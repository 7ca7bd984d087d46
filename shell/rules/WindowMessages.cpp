#include "WindowMessages.h"

namespace tessaly {

namespace {

using SplitMergeFile::Damage;
using SplitMergeFile::Problem;
using SplitMergeFile::Result;
using SplitMergeFile::Status;

constexpr const char* kDoneTitle = "Message";
constexpr const char* kJoinErrorTitle = "Error message";
constexpr const char* kChooseAnotherFolder = ". Choose another output folder.";

const char* damageText(Damage damage) {
    switch (damage) {
    case Damage::Empty: return "is empty";
    case Damage::HoldsNul: return "holds a NUL byte";
    case Damage::TooLong: return "is too long to name a file";
    }
    return "is damaged";
}

std::string failureText(Command command, const Result& r) {
    const std::string cannot = command == Command::Split ? "Cannot split " : "Cannot join ";
    switch (r.problem) {
    case Problem::FileOperation:
        return "Cannot " + std::string(verb(r.io.operation)) + " " + r.io.path + ": " + r.io.reason();
    case Problem::ChunkSizeBelowOne: return "The chunk size must be a whole number of bytes, at least 1.";
    case Problem::PathHoldsLineBreak:
        return cannot + r.path + ": the piece path " + r.other +
               " would hold a line break (CR LF), which an index file cannot list. Rename the file or choose "
               "another output folder.";
    case Problem::WouldOverwriteSource:
        return cannot + r.path + ": " + r.other + " would overwrite the file being split" + kChooseAnotherFolder;
    case Problem::FileChanged:
        if (command == Command::Split) return cannot + r.path + ": the file changed while it was being split.";
        return "Cannot join: " + r.path + " changed while it was being joined.";
    case Problem::PiecesChanged:
        if (command == Command::Split) {
            return cannot + r.path + ": its pieces were replaced or changed by something else while they were written.";
        }
        return cannot + r.path + ": the pieces it lists were replaced or changed while they were being joined.";
    case Problem::IndexDamaged:
        return cannot + r.path + ": the index file is damaged (line " + std::to_string(r.line) + " " +
               damageText(r.damage) + ").";
    case Problem::NoRebuiltName:
        return cannot + r.path + ": without \".splt\" its name leaves no name for the rebuilt file.";
    case Problem::RebuiltIsIndex:
        return "Cannot join into " + r.path + ": it is the index file itself" + kChooseAnotherFolder;
    case Problem::RebuiltIsPiece:
        return "Cannot join into " + r.path + ": it is the listed piece " + r.other + kChooseAnotherFolder;
    case Problem::MissingPiece: return r.path + " splitted file not found";
    case Problem::PiecesInTwoFolders:
        return "Cannot join: the pieces lie in two folders. " + r.path + " is where the index file lists it, " +
               r.other + " only beside the index file. Put the whole set in one folder.";
    case Problem::Unexpected: return cannot + r.path + ": " + r.other;
    case Problem::None: break;
    }
    return cannot + r.path;
}

} // namespace

WindowMessage splittedFileMessage() {
    return {"Cannot split splitted file.", "Cannot Split File", WindowMessage::Icon::Warning};
}

WindowMessage notExistMessage(const std::string& path) {
    return {path + " not exist!", "ERROR: File not exist", WindowMessage::Icon::Warning};
}

WindowMessage badChunkSizeMessage() {
    return {"The chunk size must be a whole number of bytes from 1 to 9223372036854775807.", kSplitErrorTitle,
            WindowMessage::Icon::Warning};
}

WindowMessage tooSmallMessage() {
    return {"Filesize is less than or equal to chunk size.", kSplitErrorTitle, WindowMessage::Icon::Warning};
}

WindowMessage nothingToJoinMessage() {
    return {"You must select file to join.", kDoneTitle, WindowMessage::Icon::Information};
}

WindowMessage notNumericMessage() { return {"Must be numeric entry.", kProgramTitle, WindowMessage::Icon::None}; }

WindowMessage settingsNotSavedMessage(const std::string& location) {
    return {"Cannot save the settings in " + location +
                ". The output folder and the chunk size will not be remembered.",
            kProgramTitle, WindowMessage::Icon::Warning};
}

std::optional<WindowMessage> messageFor(Command command, const Result& result) {
    switch (result.status) {
    case Status::Stopped: return std::nullopt;
    case Status::Succeeded:
        return WindowMessage{command == Command::Split ? "File successfully split" : "Files successfully joined",
                             kDoneTitle, WindowMessage::Icon::Information};
    case Status::Failed: break;
    }
    return WindowMessage{failureText(command, result), command == Command::Split ? kSplitErrorTitle : kJoinErrorTitle,
                         WindowMessage::Icon::Warning};
}

} // namespace tessaly
