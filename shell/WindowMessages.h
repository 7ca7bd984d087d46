// What the window tells the user when a split or a join has ended: the
// text, title and icon of its message box. Plain C++, so that the benchmark
// driver reports runs exactly as the window would.
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

// The box for a run of `command` that ended with `result`; nothing for a
// stopped run, which the user asked for and is not told about.
std::optional<WindowMessage> messageFor(Command command, const SplitMergeFile::Result& result);

} // namespace tessaly
