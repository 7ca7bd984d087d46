// Shared set-up for the window tests: a private settings store, no browser,
// the dialog hooks emptied before each test, real message boxes answered from
// a timer, and small file helpers.
#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "FileDialog.h"
#include "Form1.h"
#include "HomePage.h"
#include "MessageBox.h"
#include "PathEdit.h"

namespace ts {

inline QString& settingsFolder() {
    static QString folder;
    return folder;
}
inline QString settingsFile() { return settingsFolder() + QStringLiteral("/Orvane.ini"); }
inline int& homePageLaunches() {
    static int launches = 0;
    return launches;
}

// Runs `Test` with the settings store in a fresh temporary folder (set before
// any QSettings is made), the home-page launch counted instead of opening a
// browser, a draw that never hits 7, and en_US numbers.
template <class Test>
int run(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) qFatal("no temporary folder");
    settingsFolder() = dir.path();
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    tessaly::HomePage::setLaunch([](const QUrl&) { ++homePageLaunches(); });
    tessaly::HomePage::setDraw([] { return 1; });
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    Test test;
    return QTest::qExec(&test, argc, argv);
}

// An empty store, no pending hook answers, nothing recorded.
inline void reset() {
    QFile::remove(settingsFile());
    tessaly::MessageBox::answerNext(0);
    tessaly::MessageBox::takeRecorded();
    tessaly::FileDialog::answerNext({});
    tessaly::FileDialog::takeRecorded();
    homePageLaunches() = 0;
}

// The stored value read from the file itself, or "<absent>".
inline QString storedValue(const QString& key) {
    QSettings file(settingsFile(), QSettings::IniFormat);
    return file.value(QStringLiteral("Tessaly/") + key, QStringLiteral("<absent>")).toString();
}

// Runs the start-up steps (hover cursor looked for in `cursorFolder`) and, if
// asked, shows the window and waits until it is active.
inline bool start(tessaly::Form1& w, bool show = true, const QString& cursorFolder = QDir::tempPath()) {
    w.Form_Load(cursorFolder);
    if (!show) return true;
    w.show();
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// How a box is described: "pointer|title|icon|text", the pointer mode being
// the window's while the box was open, the icon a QMessageBox::Icon.
inline QString box(int pointer, const QString& title, QMessageBox::Icon icon, const QString& text) {
    return QStringLiteral("%1|%2|%3|%4").arg(pointer).arg(title).arg(int(icon)).arg(text);
}

// While it lives, answers every real message box that opens over `w`: records
// it and presses its OK button.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(tessaly::Form1& w) : w_(w) {
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto* b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (b == nullptr || !b->isVisible()) return;
            shown << box(w_.mousePointer(), b->windowTitle(), b->icon(), b->text());
            QTest::mouseClick(b->button(QMessageBox::Ok), Qt::LeftButton);
        });
        timer_.start(1);
    }
    QStringList shown;

private:
    tessaly::Form1& w_;
    QTimer timer_;
};

} // namespace ts

#define TESSALY_TEST_MAIN(Test) \
    int main(int argc, char* argv[]) { return ts::run<Test>(argc, argv); }
