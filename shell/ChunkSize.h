// Reading the chunk-size field: numbers as the user writes them in their
// own locale (sign, digit groups, decimal fraction, blanks around).
#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>

namespace tessaly {

// True when `text` reads as a finite number in `locale`. An empty text is
// not a number; no range applies (0, -5 and 1.5 are numbers).
bool isNumericText(const QString& text, const QLocale& locale = QLocale());

// The chunk size in bytes that `text` stands for: the number rounded to the
// nearest whole number, a half to the even neighbour (2.5 gives 2, 3.5 gives
// 4). Nothing when the text is not a number or the result is not from 1 to
// the largest signed 64-bit value.
std::optional<std::int64_t> chunkSizeFromText(const QString& text, const QLocale& locale = QLocale());

} // namespace tessaly
