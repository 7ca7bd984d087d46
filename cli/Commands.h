// tessaly-cli's work after the command line has been taken apart: the
// checks before a run, the run itself with its progress line, and what is
// said about how it ended.
#pragma once

#include <string>
#include <vector>

namespace tessaly::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
// A run stopped by a signal exits with 128 plus the signal's number.
inline constexpr int kExitSignalBase = 128;

// Runs the command `arguments` (without the program's name) ask for and
// returns the exit status. `version` is what --version shows.
int run(const std::vector<std::string>& arguments, const std::string& version);

} // namespace tessaly::cli
