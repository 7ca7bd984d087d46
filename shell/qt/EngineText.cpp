#include "EngineText.h"

#include <QFile>

namespace tessaly {

std::string toEngineText(const QString& text) {
#ifdef Q_OS_WIN
    const QByteArray bytes = text.toUtf8();
#else
    const QByteArray bytes = QFile::encodeName(text);
#endif
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString fromEngineText(const std::string& text) {
#ifdef Q_OS_WIN
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
#else
    return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
#endif
}

} // namespace tessaly
