#include "Settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>

namespace tessaly {

namespace {

#ifdef Q_OS_WIN
constexpr QSettings::Format kFormat = QSettings::NativeFormat;
#else
constexpr QSettings::Format kFormat = QSettings::IniFormat;
#endif

} // namespace

QString readSetting(const QString& application, const QString& section, const QString& key,
                    const QString& defaultValue) {
    // A fresh handle each time: QSettings re-reads a file that another
    // process changed, so the value is the one in the store now.
    QSettings store(kFormat, QSettings::UserScope, application);
    store.beginGroup(section);
    const QVariant value = store.value(key);
    if (!value.isValid()) return defaultValue;
    return value.toString();
}

bool writeSetting(const QString& application, const QString& section, const QString& key,
                  const QString& value) {
    QSettings store(kFormat, QSettings::UserScope, application);
    store.beginGroup(section);
    store.setValue(key, value);
    store.endGroup();
    store.sync();
    return store.status() == QSettings::NoError;
}

QString settingsLocation(const QString& application) {
    QSettings store(kFormat, QSettings::UserScope, application);
    return QDir::toNativeSeparators(store.fileName());
}

QString defaultOutputFolder() {
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\");
#else
    QString home = QDir::homePath();
    if (!home.endsWith(QLatin1Char('/'))) home += QLatin1Char('/');
    return home;
#endif
}

// The engine's text is UTF-8 on Windows, where its file calls take UTF-16;
// elsewhere it is the file system's own encoding of names.
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
