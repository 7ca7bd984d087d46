#include "ChunkSize.h"

#include <cmath>

namespace tessaly {

namespace {

std::optional<double> toNumber(const QString& text, const QLocale& locale) {
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

} // namespace

bool isNumericText(const QString& text, const QLocale& locale) {
    return toNumber(text, locale).has_value();
}

std::optional<std::int64_t> chunkSizeFromText(const QString& text, const QLocale& locale) {
    // Whole numbers first, exactly: a double has no room for every 64-bit value.
    bool ok = false;
    const qlonglong whole = locale.toLongLong(text.trimmed(), &ok);
    if (ok) {
        if (whole < 1) return std::nullopt;
        return static_cast<std::int64_t>(whole);
    }
    const std::optional<double> value = toNumber(text, locale);
    if (!value) return std::nullopt;
    // The default rounding mode rounds a half to the even neighbour.
    const double rounded = std::nearbyint(*value);
    // 2^63 is exactly representable; everything below it fits in 64 bits.
    if (rounded < 1.0 || rounded >= 9223372036854775808.0) return std::nullopt;
    return static_cast<std::int64_t>(rounded);
}

} // namespace tessaly
