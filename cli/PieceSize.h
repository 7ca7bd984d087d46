// Reading the piece size from the command line: whole bytes, optionally
// with a unit as GNU split -b takes them.
#pragma once

#include <cstdint>
#include <string_view>

namespace tessaly::cli {

enum class PieceSizeError {
    None,
    Malformed,  // not digits and an optional known unit
    OutOfRange, // 0, or more than the largest signed 64-bit value
};

struct PieceSize {
    std::int64_t bytes = 0; // from 1 to 2^63-1 when error is None
    PieceSizeError error = PieceSizeError::None;
};

// Digits, then nothing (bytes), K, M, G or T (powers of 1024), or KB, MB, GB
// or TB (powers of 1000). Letter case counts; no sign, fraction or blank.
PieceSize parsePieceSize(std::string_view text);

} // namespace tessaly::cli
