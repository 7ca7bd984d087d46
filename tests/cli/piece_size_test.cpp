// Piece sizes as the command line gives them: GNU split -b's units in both
// conventions, the limits 1 and 2^63-1, and everything else refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "PieceSize.h"

namespace tessaly::cli {
namespace {

constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kTebi = std::int64_t{1} << 40;

TEST(PieceSize, ReadsBytesAndUnits) {
    struct Row { const char* what; const char* text; std::int64_t bytes; };
    const Row rows[] = {
        {"smallest", "1", 1},
        {"largest", "9223372036854775807", kLargest},
        {"leading zeros", "0010", 10},
        {"K is 1024", "3K", 3 * 1024},
        {"M is 1024^2", "3M", 3 << 20},
        {"G is 1024^3", "3G", std::int64_t{3} << 30},
        {"T is 1024^4", "3T", 3 * kTebi},
        {"KB is 1000", "3KB", 3000},
        {"MB is 1000^2", "3MB", 3000000},
        {"GB is 1000^3", "3GB", 3000000000},
        {"TB is 1000^4", "3TB", 3000000000000},
        {"most T that fit", "8388607T", 8388607 * kTebi},
        {"most TB that fit", "9223372TB", 9223372000000000000},
    };
    for (const Row& row : rows) {
        const PieceSize size = parsePieceSize(row.text);
        EXPECT_EQ(size.error, PieceSizeError::None) << row.what;
        EXPECT_EQ(size.bytes, row.bytes) << row.what;
    }
}

TEST(PieceSize, RefusesEverythingElse) {
    struct Row { const char* what; const char* text; PieceSizeError error; };
    const Row rows[] = {
        {"zero", "0", PieceSizeError::OutOfRange},
        {"zero with a unit", "0M", PieceSizeError::OutOfRange},
        {"one past the largest", "9223372036854775808", PieceSizeError::OutOfRange},
        {"digits past 64 bits", "184467440737095516160", PieceSizeError::OutOfRange},
        {"unit overflows", "8388608T", PieceSizeError::OutOfRange},
        {"decimal unit overflows", "9223373TB", PieceSizeError::OutOfRange},
        {"empty", "", PieceSizeError::Malformed},
        {"unit alone", "K", PieceSizeError::Malformed},
        {"minus", "-5", PieceSizeError::Malformed},
        {"plus", "+5", PieceSizeError::Malformed},
        {"fraction", "1.5K", PieceSizeError::Malformed},
        {"blank before", " 5", PieceSizeError::Malformed},
        {"blank after", "5 ", PieceSizeError::Malformed},
        {"blank before unit", "5 K", PieceSizeError::Malformed},
        {"small letter", "5k", PieceSizeError::Malformed},
        {"binary prefix", "5KiB", PieceSizeError::Malformed},
        {"unit not taken", "5P", PieceSizeError::Malformed},
        {"exponent", "1e3", PieceSizeError::Malformed},
        {"other script's digit", "\xd9\xa5", PieceSizeError::Malformed},
    };
    for (const Row& row : rows) EXPECT_EQ(parsePieceSize(row.text).error, row.error) << row.what;
}

} // namespace
} // namespace tessaly::cli
