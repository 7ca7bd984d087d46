#include "Settings.h"

#include <QDir>
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

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toUtf8(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

std::string QtSettingsStore::read(const std::string& key, const std::string& defaultValue) {
    return toUtf8(readSetting(kSettingsApplication, kSettingsSection, fromUtf8(key), fromUtf8(defaultValue)));
}

bool QtSettingsStore::write(const std::string& key, const std::string& value) {
    return writeSetting(kSettingsApplication, kSettingsSection, fromUtf8(key), fromUtf8(value));
}

std::string QtSettingsStore::location() { return toUtf8(settingsLocation(kSettingsApplication)); }

std::string QtSettingsStore::defaultOutputFolder() { return toUtf8(tessaly::defaultOutputFolder()); }

} // namespace tessaly
