#include "ChunkSizeText.h"

#include <charconv>
#include <cmath>

namespace tessaly {

namespace {

constexpr std::string_view kNoBreakSpace = "\u00a0";
constexpr std::string_view kNarrowNoBreakSpace = "\u202f";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Blanks around the number: ASCII white space and the two no-break spaces
// that locales use between digit groups.
std::string_view trimmed(std::string_view text) {
    for (bool changed = true; changed;) {
        changed = false;
        for (std::string_view blank : {std::string_view(" "), std::string_view("\t"), std::string_view("\n"),
                                       std::string_view("\r"), std::string_view("\v"), std::string_view("\f"),
                                       kNoBreakSpace, kNarrowNoBreakSpace}) {
            if (text.starts_with(blank)) text.remove_prefix(blank.size()), changed = true;
            if (text.ends_with(blank)) text.remove_suffix(blank.size()), changed = true;
        }
    }
    return text;
}

// The number in the C locale's plain form ("-1000.5e3"); `whole` tells
// whether it has neither a fraction nor an exponent. Nothing when `text`
// is not a number in `format`.
struct Plain {
    std::string text;
    bool whole = true;
};

std::optional<Plain> plainNumber(std::string_view text, const NumberFormat& format) {
    text = trimmed(text);
    const bool spaceGroups = format.group == kNoBreakSpace || format.group == kNarrowNoBreakSpace;
    Plain plain;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        if (text.front() == '-') plain.text += '-';
        text.remove_prefix(1);
    }

    // Whole part: digit groups.
    std::size_t digits = 0, groupDigits = 0;
    bool grouped = false;
    while (!text.empty()) {
        if (isDigit(text.front())) {
            plain.text += text.front();
            ++digits, ++groupDigits;
            text.remove_prefix(1);
            continue;
        }
        std::size_t separator = 0;
        if (!format.group.empty() && text.starts_with(format.group)) separator = format.group.size();
        else if (spaceGroups && text.starts_with(' ')) separator = 1;
        if (separator == 0) break;
        // A separator follows one to three digits, or a group of three.
        if (groupDigits == 0 || groupDigits > 3 || (grouped && groupDigits != 3)) return std::nullopt;
        grouped = true;
        groupDigits = 0;
        text.remove_prefix(separator);
    }
    if (grouped && groupDigits != 3) return std::nullopt;

    // Fraction.
    if (!format.decimal.empty() && text.starts_with(format.decimal)) {
        text.remove_prefix(format.decimal.size());
        plain.text += '.';
        plain.whole = false;
        while (!text.empty() && isDigit(text.front())) {
            plain.text += text.front();
            ++digits;
            text.remove_prefix(1);
        }
    }
    if (digits == 0) return std::nullopt;

    // Exponent.
    if (!text.empty() && (text.front() == 'e' || text.front() == 'E')) {
        plain.text += 'e';
        plain.whole = false;
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
            plain.text += text.front();
            text.remove_prefix(1);
        }
        if (text.empty() || !isDigit(text.front())) return std::nullopt;
        while (!text.empty() && isDigit(text.front())) {
            plain.text += text.front();
            text.remove_prefix(1);
        }
    }
    if (!text.empty()) return std::nullopt;
    return plain;
}

std::optional<double> toDouble(const std::string& plain) {
    double value = 0;
    const char* end = plain.data() + plain.size();
    const auto [ptr, error] = std::from_chars(plain.data(), end, value);
    if (error != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

} // namespace

std::optional<double> numberFromText(std::string_view text, const NumberFormat& format) {
    const std::optional<Plain> plain = plainNumber(text, format);
    if (!plain) return std::nullopt;
    return toDouble(plain->text);
}

bool isNumericText(std::string_view text, const NumberFormat& format) {
    return numberFromText(text, format).has_value();
}

std::optional<std::int64_t> chunkSizeFromText(std::string_view text, const NumberFormat& format) {
    const std::optional<Plain> plain = plainNumber(text, format);
    if (!plain) return std::nullopt;
    if (plain->whole) {
        // Exactly: a double has no room for every 64-bit value.
        std::int64_t whole = 0;
        const char* end = plain->text.data() + plain->text.size();
        const auto [ptr, error] = std::from_chars(plain->text.data(), end, whole);
        if (error == std::errc() && ptr == end) {
            if (whole < 1) return std::nullopt;
            return whole;
        }
    }
    const std::optional<double> value = toDouble(plain->text);
    if (!value) return std::nullopt;
    // The default rounding mode rounds a half to the even neighbour.
    const double rounded = std::nearbyint(*value);
    // 2^63 is exactly representable; everything below it fits in 64 bits.
    if (rounded < 1.0 || rounded >= 9223372036854775808.0) return std::nullopt;
    return static_cast<std::int64_t>(rounded);
}

} // namespace tessaly
