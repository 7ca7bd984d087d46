#include "PieceSize.h"

#include <limits>

namespace tessaly::cli {

namespace {

struct Unit {
    std::string_view name;
    std::int64_t bytes;
};

constexpr std::int64_t kKibi = std::int64_t{1} << 10;
constexpr std::int64_t kKilo = 1000;

constexpr Unit kUnits[] = {
    {"", 1},
    {"K", kKibi},
    {"M", kKibi * kKibi},
    {"G", kKibi * kKibi * kKibi},
    {"T", kKibi * kKibi * kKibi * kKibi},
    {"KB", kKilo},
    {"MB", kKilo * kKilo},
    {"GB", kKilo * kKilo * kKilo},
    {"TB", kKilo * kKilo * kKilo * kKilo},
};

} // namespace

PieceSize parsePieceSize(std::string_view text) {
    constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();

    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0) return {0, PieceSizeError::Malformed};

    const std::string_view unitName = text.substr(digits);
    const Unit* unit = nullptr;
    for (const Unit& u : kUnits) {
        if (u.name == unitName) unit = &u;
    }
    if (!unit) return {0, PieceSizeError::Malformed};

    // Overflow is checked before each step, so nothing ever wraps.
    std::int64_t number = 0;
    for (const char c : text.substr(0, digits)) {
        const int digit = c - '0';
        if (number > (kLargest - digit) / 10) return {0, PieceSizeError::OutOfRange};
        number = number * 10 + digit;
    }
    if (number < 1 || number > kLargest / unit->bytes) return {0, PieceSizeError::OutOfRange};
    return {number * unit->bytes, PieceSizeError::None};
}

} // namespace tessaly::cli
