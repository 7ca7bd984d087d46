#include "PieceSize.h"

#include <limits>

namespace tessaly::cli {

namespace {

constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();

// The power a unit letter raises its base to; -1 for a letter that is none.
int unitPower(char letter) {
    constexpr std::string_view kLetters = "KMGTPEZYRQ";
    const char upper = letter == 'k' || letter == 'm' || letter == 'g' ? static_cast<char>(letter - 'a' + 'A') : letter;
    const std::size_t at = kLetters.find(upper);
    return at == std::string_view::npos ? -1 : static_cast<int>(at) + 1;
}

// `number` times `factor` raised to `power`, or nothing past 2^63-1.
bool scale(std::int64_t& number, std::int64_t factor, int power) {
    for (int i = 0; i < power; ++i) {
        if (number > kLargest / factor) return false;
        number *= factor;
    }
    return true;
}

// `digits` (all decimal digits) as a number; false when it passes 2^63-1.
bool readDigits(std::string_view digits, std::int64_t& number) {
    number = 0;
    for (const char c : digits) {
        const int digit = c - '0';
        // Checked before each step, so nothing ever wraps.
        if (number > (kLargest - digit) / 10) return false;
        number = number * 10 + digit;
    }
    return true;
}

std::size_t digitCount(std::string_view text) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    return digits;
}

} // namespace

PieceSize parsePieceSize(std::string_view text) {
    const std::size_t digits = digitCount(text);
    if (digits == 0) return {0, PieceSizeError::Malformed};

    const std::string_view unit = text.substr(digits);
    std::int64_t factor = 1024;
    int power = 0;
    if (unit == "b") {
        factor = 512;
        power = 1;
    } else if (!unit.empty()) {
        power = unitPower(unit[0]);
        const std::string_view rest = unit.substr(1);
        if (power < 0 || (rest != "" && rest != "iB" && rest != "B")) return {0, PieceSizeError::Malformed};
        if (rest == "B") factor = 1000;
    }

    std::int64_t number = 0;
    if (!readDigits(text.substr(0, digits), number)) return {0, PieceSizeError::OutOfRange};
    if (number == 0) return {0, PieceSizeError::Zero};
    if (!scale(number, factor, power)) return {0, PieceSizeError::OutOfRange};
    return {number, PieceSizeError::None};
}

PieceSize parsePieceCount(std::string_view text) {
    const std::size_t digits = digitCount(text);
    if (digits == 0 || digits != text.size()) return {0, PieceSizeError::Malformed};
    std::int64_t number = 0;
    if (!readDigits(text, number)) return {0, PieceSizeError::OutOfRange};
    if (number == 0) return {0, PieceSizeError::Zero};
    return {number, PieceSizeError::None};
}

std::optional<std::int64_t> equalPieceSize(std::int64_t size, std::int64_t count) {
    if (count < 1 || size < count) return std::nullopt;
    const std::int64_t pieceSize = size / count + (size % count != 0 ? 1 : 0);
    const std::int64_t pieces = size / pieceSize + (size % pieceSize != 0 ? 1 : 0);
    if (pieces != count) return std::nullopt;
    return pieceSize;
}

} // namespace tessaly::cli
