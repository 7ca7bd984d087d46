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
// The system could not even tell what stands there.
std::string unreachableText(Command command, const std::string& path, std::error_code error);
std::string partOfPieceSetText(const std::string& path);
std::string notLargerThanOnePieceText(const std::string& path, std::int64_t size, std::int64_t pieceSize);

// `text` followed by what became of the incomplete file at `path`, which
// `removal` tried to remove.
std::string incompleteRemovedText(const std::string& text, const std::string& path, std::error_code removal);

// A run stopped by `signal` (SIGINT, SIGTERM, ...).
std::string stoppedText(Command command, int signal);

std::string splitDoneText(const std::string& source, std::int64_t pieces, const std::string& index);
std::string joinDoneText(const std::string& index, std::int64_t pieces, const std::string& rebuilt);

} // namespace tessaly::cli
