#include "HoverCursor.h"

#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QtEndian>
#include <algorithm>

namespace tessaly {

namespace {

// A cursor file is an icon file with resource type 2, whose directory entries
// hold the hot spot where an icon has its colour planes and bit count.
constexpr qsizetype kDirectoryHeader = 6;
constexpr qsizetype kDirectoryEntry = 16;
constexpr qint64 kLargestCursorFile = 1 << 20;

quint16 le16(const QByteArray& data, qsizetype at) {
    return qFromLittleEndian<quint16>(data.constData() + at);
}

} // namespace

std::optional<QCursor> loadCursorFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kLargestCursorFile) return std::nullopt;
    QByteArray data = file.readAll();
    if (data.size() < kDirectoryHeader + kDirectoryEntry) return std::nullopt;
    if (le16(data, 0) != 0 || le16(data, 2) != 2 || le16(data, 4) == 0) return std::nullopt;
    const int hotX = le16(data, kDirectoryHeader + 4);
    const int hotY = le16(data, kDirectoryHeader + 6);

    // Qt's icon reader decodes the images; present the file to it as an icon.
    data[2] = 1;
    const QImage image = QImage::fromData(data, "ICO");
    if (image.isNull()) return std::nullopt;
    return QCursor(QPixmap::fromImage(image), std::min(hotX, image.width() - 1),
                   std::min(hotY, image.height() - 1));
}

} // namespace tessaly
