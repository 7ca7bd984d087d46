// Reading the piece size from the command line: whole bytes, optionally
// with a unit as GNU split -b takes them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tessaly::cli {

enum class PieceSizeError {
    None,
    Malformed,  // not digits and an optional known unit
    Zero,       // a piece holds at least 1 byte
    OutOfRange, // more than the largest signed 64-bit value
};

struct PieceSize {
    std::int64_t bytes = 0; // from 1 to 2^63-1 when error is None
    PieceSizeError error = PieceSizeError::None;
};

// Digits, then nothing (bytes) or a unit:
//   b                        512
//   K k M m G g T P E Z Y R Q  powers of 1024 (K = 1024, M = 1024^2, ...)
//   the same followed by "iB" (KiB, MiB, ...): powers of 1024 too
//   the same followed by "B" (KB, MB, ...): powers of 1000
// No sign, fraction or blank.
PieceSize parsePieceSize(std::string_view text);

// A whole number of at least 1 for -n, without a unit.
PieceSize parsePieceCount(std::string_view text);

// The piece size that cuts `size` bytes into exactly `count` pieces, all of
// one size but the last, which may be shorter; nothing when none does
// (10 bytes into 6 pieces: 2 bytes a piece makes 5 pieces, 1 byte makes 10).
std::optional<std::int64_t> equalPieceSize(std::int64_t size, std::int64_t count);

} // namespace tessaly::cli
