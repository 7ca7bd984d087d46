#include "TestSupport.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include "HomePage.h"

namespace testsupport {

namespace {
QTemporaryDir* configDir = nullptr;
int homePageLaunches = 0;
} // namespace

int runTests(int argc, char* argv[], QList<QObject*> (*makeTests)()) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) qFatal("no temporary folder");
    configDir = &dir;
    // Before any QSettings is made: the store lives in the temporary folder.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    tessaly::HomePage::setLaunch([](const QUrl&) { ++homePageLaunches; });

    int failures = 0;
    for (QObject* test : makeTests()) {
        failures += QTest::qExec(test, argc, argv);
        delete test;
    }
    configDir = nullptr;
    return failures;
}

QString settingsFolder() { return configDir->path(); }

QString settingsFile() { return configDir->filePath(QStringLiteral("Orvane.ini")); }

void clearSettings() { QFile::remove(settingsFile()); }

QString storedValue(const QString& key) {
    QSettings file(settingsFile(), QSettings::IniFormat);
    file.beginGroup(QStringLiteral("Tessaly"));
    const QVariant value = file.value(key);
    return value.isValid() ? value.toString() : QString();
}

int takeHomePageLaunches() { return std::exchange(homePageLaunches, 0); }

QByteArray makeCursorFile(int hotX, int hotY) {
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "ICO");
    QByteArray data = buffer.data();
    // An icon file becomes a cursor file: type 2, hot spot in the entry.
    qToLittleEndian<quint16>(2, data.data() + 2);
    qToLittleEndian<quint16>(static_cast<quint16>(hotX), data.data() + 10);
    qToLittleEndian<quint16>(static_cast<quint16>(hotY), data.data() + 12);
    return data;
}

} // namespace testsupport
