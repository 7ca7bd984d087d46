// The split and join engine: piece-set naming, the index file format, the
// splitter and the joiner. Standard C++ only; it reaches the window through
// SplitMergeHost, so it runs without one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace SplitMergeFile {

enum class MessageIcon { None, Information, Warning };

// What the engine needs from the window that runs it.
class SplitMergeHost {
public:
    virtual ~SplitMergeHost() = default;
    // The output-folder field's text, used as a plain prefix.
    virtual std::string outputFolder() = 0;
    virtual void setProgressValue(std::int64_t value) = 0;
    virtual void setProgressMaximum(std::int64_t maximum) = 0;
    virtual std::int64_t progressMaximum() = 0;
    // A modal message with one OK button; returns when it is closed.
    virtual void showMessage(const std::string& text, const std::string& title, MessageIcon icon) = 0;
    // Lets pending window events run.
    virtual void processEvents() = 0;
    // True once the window wants the run to end (it is being closed).
    virtual bool stopRequested() = 0;
};

// How a run ended. The user has already been told; callers may ignore it.
enum class Outcome { Succeeded, Failed, Stopped };

// Titles and texts the user sees.
inline constexpr const char* kSplitDoneText = "File successfully split";
inline constexpr const char* kJoinDoneText = "Files successfully joined";
inline constexpr const char* kDoneTitle = "Message";
inline constexpr const char* kSplitErrorTitle = "ERROR: Cannot split a file";
inline constexpr const char* kJoinErrorTitle = "Error message";
inline constexpr const char* kMissingPieceSuffix = " splitted file not found";

// Naming rules: plain concatenation, no file-system access.
std::string PiecePath(const std::string& outputFolder, const std::string& sourcePath, std::int64_t pieceNumber);
std::string IndexPath(const std::string& outputFolder, const std::string& sourcePath);
// Base name of the index path with every ".splt" removed, in any letter case,
// in one left-to-right pass.
std::string RebuiltName(const std::string& indexPath);
std::string RebuiltPath(const std::string& outputFolder, const std::string& indexPath);

// The entries of an index file: the text before each CR LF. Text after the
// last CR LF is not an entry.
std::vector<std::string> ParseIndex(const std::string& indexText);

// Cuts `sourcePath` into pieces of `chunkSize` bytes in the host's output
// folder, then writes the index file, then reports the outcome.
Outcome SplitFile(SplitMergeHost& host, const std::string& sourcePath, std::int64_t chunkSize);

// Rebuilds the file listed by the index file at `indexPath` into the host's
// output folder, then reports the outcome.
Outcome JoinFiles(SplitMergeHost& host, const std::string& indexPath);

} // namespace SplitMergeFile
