// The spellings of a piece set's names, shared inside the engine by the
// naming rules and by the splitter's search for earlier outputs.
#pragma once

#include <cstddef>
#include <string_view>

namespace SplitMergeFile::detail {

inline constexpr std::string_view kIndexSuffix = ".splt";
inline constexpr std::string_view kPieceInfix = "_splt";
inline constexpr std::string_view kLineEnd = "\r\n";

// True when `word` stands in `text` at `at`, letter case ignored (ASCII only).
bool startsWithIgnoringCase(std::string_view text, std::size_t at, std::string_view word);

} // namespace SplitMergeFile::detail
