// Reading the chunk-size field with the separators of a QLocale.
#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>

#include "ChunkSizeText.h"

namespace tessaly {

// The decimal and digit-group separators of `locale`.
NumberFormat numberFormat(const QLocale& locale = QLocale());

// As the toolkit-free functions of the same names, in `locale`.
bool isNumericText(const QString& text, const QLocale& locale = QLocale());
std::optional<std::int64_t> chunkSizeFromText(const QString& text, const QLocale& locale = QLocale());

} // namespace tessaly
