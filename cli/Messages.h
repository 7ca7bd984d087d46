// Everything tessaly-cli says about a run, one line each, without the
// program's name in front: failures the engine reports, refusals before a
// run, stops and successes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

#include "CommandLine.h"
#include "SplitMergeFile.h"

namespace tessaly::cli {

// A path or argument as a message shows it: as it is when that reads
// unambiguously, else quoted as a POSIX shell would take it back ('a b',
// $'a\nb'), so that no name can break a message's line or fake another.
std::string shown(std::string_view text);

// Why a run of `command` that returned Status::Failed failed.
std::string failureText(Command command, const SplitMergeFile::Result& result);
// "cannot write PATH: REASON".
std::string ioFailureText(const tessaly::IoError& error);

// What stands at a path that is not a file the command can use.
enum class NotAFile { Missing, Folder, Other };
std::string notAFileText(Command command, const std::string& path, NotAFile what);
// What stands at `path` could not be examined: "cannot examine PATH: REASON".
std::string examineFailureText(const std::string& path, std::error_code error);
std::string partOfPieceSetText(const std::string& path);
// With the SIZE that would split it, when there is one.
std::string notLargerThanOnePieceText(const std::string& path, std::int64_t size, std::int64_t pieceSize);
// No piece size cuts a file of `size` bytes into exactly `count` pieces.
std::string noEqualPiecesText(const std::string& path, std::int64_t size, std::int64_t count);
// A piece of a set given to join in place of its index `index`.
std::string pieceGivenToJoinText(const std::string& piece, const std::string& index);
// The folder given to -o is missing, or something else than a folder.
std::string outputFolderMissingText(const std::string& folder, bool somethingElseStandsThere);
// Something stands at the rebuilt path and -f was not given.
std::string rebuiltExistsText(const std::string& index, const std::string& rebuilt);

// `text` followed by what became of the incomplete file at `path`, which
// `removal` tried to remove.
std::string incompleteRemovedText(const std::string& text, const std::string& path, std::error_code removal);

// A run stopped by `signal` (SIGINT, SIGTERM, ...).
std::string stoppedText(Command command, int signal);

std::string splitDoneText(const std::string& source, std::int64_t pieces, const std::string& index);
std::string joinDoneText(const std::string& index, std::int64_t pieces, const std::string& rebuilt);

// The line --verbose writes on standard output for each piece.
std::string pieceDoneText(Command command, const std::string& piece);

} // namespace tessaly::cli
