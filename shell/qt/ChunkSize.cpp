#include "ChunkSize.h"

namespace tessaly {

NumberFormat numberFormat(const QLocale& locale) {
    return {locale.decimalPoint().toStdString(), locale.groupSeparator().toStdString()};
}

bool isNumericText(const QString& text, const QLocale& locale) {
    return isNumericText(text.toStdString(), numberFormat(locale));
}

std::optional<std::int64_t> chunkSizeFromText(const QString& text, const QLocale& locale) {
    return chunkSizeFromText(text.toStdString(), numberFormat(locale));
}

} // namespace tessaly
