// Every message box the window shows: the refusals of the split and join
// commands, the chunk-size check, and how a finished split or join ended.
// Plain C++, so that both windows and the benchmark driver say exactly the
// same words.
#pragma once

#include <optional>
#include <string>

#include "SplitMergeFile.h"

namespace tessaly {

enum class Command { Split, Join };

// The title of every box about a split that cannot be done, whether the
// window refuses it or the engine fails it.
inline constexpr const char* kSplitErrorTitle = "ERROR: Cannot split a file";

struct WindowMessage {
    enum class Icon { None, Information, Warning };
    std::string text;
    std::string title;
    Icon icon = Icon::None;
};

// The program's title, which the chunk-size check and the settings warning
// also use as the title of their boxes.
inline constexpr const char* kProgramTitle = "Tessaly";

// The boxes the commands and handlers show before any run starts.
WindowMessage splittedFileMessage();
WindowMessage notExistMessage(const std::string& path);
WindowMessage badChunkSizeMessage();
WindowMessage tooSmallMessage();
WindowMessage nothingToJoinMessage();
WindowMessage notNumericMessage();
WindowMessage settingsNotSavedMessage(const std::string& location);

// The box for a run of `command` that ended with `result`; nothing for a
// stopped run, which the user asked for and is not told about.
std::optional<WindowMessage> messageFor(Command command, const SplitMergeFile::Result& result);

} // namespace tessaly
