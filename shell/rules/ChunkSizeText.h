// Reading the chunk-size field: a number as the user writes it in their own
// locale (a sign, digit groups, a decimal fraction, an exponent, blanks
// around). The toolkit tells the locale's two separators; the reading is
// the same for every toolkit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// The user's decimal and digit-group separators, in UTF-8.
struct NumberFormat {
    std::string decimal = ".";
    std::string group = ",";
};

// The value `text` stands for in `format`, when it is a finite number.
// Digit groups are as the locale writes them: up to three digits, then
// groups of exactly three, only before the decimal separator. Where the
// group separator is a no-break space, a plain blank serves as well.
std::optional<double> numberFromText(std::string_view text, const NumberFormat& format);

// True when `text` reads as a finite number. An empty text is not a number;
// no range applies (0, -5 and 1.5 are numbers).
bool isNumericText(std::string_view text, const NumberFormat& format);

// The chunk size in bytes that `text` stands for: the number rounded to the
// nearest whole number, a half to the even neighbour (2.5 gives 2, 3.5 gives
// 4). Whole numbers are read exactly. Nothing when the text is not a number
// or the result is not from 1 to the largest signed 64-bit value.
std::optional<std::int64_t> chunkSizeFromText(std::string_view text, const NumberFormat& format);

} // namespace tessaly
