// The window's helpers: the chunk-size reading, the settings store, the
// cursor file, the message box and file dialog wrappers, the home-page draw.
#include <QDialogButtonBox>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "ChunkSize.h"
#include "FileDialog.h"
#include "HomePage.h"
#include "HoverCursor.h"
#include "MessageBox.h"
#include "Settings.h"
#include "TestSupport.h"

using tessaly::MessageBox;

Q_DECLARE_METATYPE(std::optional<qint64>)

class ShellHelpersTest : public QObject {
    Q_OBJECT
private slots:
    void numericText_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("numeric");
        QTest::newRow("plain") << "en_US" << "100000" << true;
        QTest::newRow("blanks around") << "en_US" << "  42 " << true;
        QTest::newRow("signs") << "en_US" << "-5" << true;
        QTest::newRow("plus") << "en_US" << "+5" << true;
        QTest::newRow("zero") << "en_US" << "0" << true;
        QTest::newRow("fraction") << "en_US" << "1.5" << true;
        QTest::newRow("groups") << "en_US" << "1,000,000" << true;
        QTest::newRow("german groups and comma") << "de_DE" << "1.000,5" << true;
        QTest::newRow("beyond 64 bits") << "en_US" << "99999999999999999999999" << true;
        QTest::newRow("empty") << "en_US" << "" << false;
        QTest::newRow("blanks only") << "en_US" << "   " << false;
        QTest::newRow("letters") << "en_US" << "abc" << false;
        QTest::newRow("trailing letters") << "en_US" << "12kb" << false;
        QTest::newRow("infinity") << "en_US" << "inf" << false;
        QTest::newRow("not a number") << "en_US" << "nan" << false;
    }
    void numericText() {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(bool, numeric);
        QCOMPARE(tessaly::isNumericText(text, QLocale(locale)), numeric);
    }

    void chunkSizeFromText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<qint64>>("size");
        const std::optional<qint64> refused;
        QTest::newRow("whole") << "100000" << std::optional<qint64>(100000);
        QTest::newRow("one") << "1" << std::optional<qint64>(1);
        QTest::newRow("half to even, down") << "2.5" << std::optional<qint64>(2);
        QTest::newRow("half to even, up") << "3.5" << std::optional<qint64>(4);
        QTest::newRow("one and a half") << "1.5" << std::optional<qint64>(2);
        QTest::newRow("groups and blanks") << " 1,000 " << std::optional<qint64>(1000);
        QTest::newRow("largest") << "9223372036854775807" << std::optional<qint64>(INT64_MAX);
        QTest::newRow("one past largest") << "9223372036854775808" << refused;
        QTest::newRow("huge fraction") << "9.3e18" << refused;
        QTest::newRow("half rounds to zero") << "0.5" << refused;
        QTest::newRow("zero") << "0" << refused;
        QTest::newRow("negative") << "-5" << refused;
        QTest::newRow("empty") << "" << refused;
        QTest::newRow("letters") << "abc" << refused;
    }
    void chunkSizeFromText() {
        QFETCH(QString, text);
        QFETCH(std::optional<qint64>, size);
        const std::optional<std::int64_t> got = tessaly::chunkSizeFromText(text, QLocale(QStringLiteral("en_US")));
        QCOMPARE(got.has_value(), size.has_value());
        if (size) QCOMPARE(*got, *size);
    }

    void settingsRoundTrip() {
        testsupport::clearSettings();
        QCOMPARE(tessaly::readSetting("Orvane", "Tessaly", "Chunk Size", "100000"), QString("100000"));
        QVERIFY(tessaly::writeSetting("Orvane", "Tessaly", "Chunk Size", "abc"));
        QCOMPARE(tessaly::readSetting("Orvane", "Tessaly", "Chunk Size", "100000"), QString("abc"));
        // An empty text is a value, not an absent key.
        QVERIFY(tessaly::writeSetting("Orvane", "Tessaly", "Chunk Size", ""));
        QCOMPARE(tessaly::readSetting("Orvane", "Tessaly", "Chunk Size", "100000"), QString(""));
        // Written to the store at once, in the Orvane file, section Tessaly.
        QCOMPARE(testsupport::storedValue("Chunk Size"), QString(""));
        QCOMPARE(tessaly::settingsLocation("Orvane"), QDir::toNativeSeparators(testsupport::settingsFile()));
    }

    void settingsReadAsksTheStore() {
        testsupport::clearSettings();
        QVERIFY(tessaly::writeSetting("Orvane", "Tessaly", "Output Folder", "/one/"));
        QCOMPARE(tessaly::readSetting("Orvane", "Tessaly", "Output Folder", "x"), QString("/one/"));
        // Another program changes the file: the next read sees it.
        QFile file(testsupport::settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[Tessaly]\nOutput%20Folder=/somewhere/else/\n");
        file.close();
        QCOMPARE(tessaly::readSetting("Orvane", "Tessaly", "Output Folder", "x"), QString("/somewhere/else/"));
    }

    void settingsWriteFailureIsReported() {
        testsupport::clearSettings();
        // A folder where the settings file should be: no write can succeed.
        QVERIFY(QDir().mkpath(testsupport::settingsFile()));
        const bool written = tessaly::writeSetting("Orvane", "Tessaly", "Chunk Size", "5");
        QVERIFY(QDir(testsupport::settingsFile()).removeRecursively());
        QVERIFY(!written);
    }

    void cursorFile_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("loads");
        QTest::newRow("cursor") << testsupport::makeCursorFile(3, 5) << true;
        QByteArray icon = testsupport::makeCursorFile(0, 0);
        icon[2] = 1;
        QTest::newRow("icon, not a cursor") << icon << false;
        QTest::newRow("cut short") << testsupport::makeCursorFile(3, 5).left(40) << false;
        QTest::newRow("text") << QByteArray("not a cursor at all, just some text") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void cursorFile() {
        QFETCH(QByteArray, content);
        QFETCH(bool, loads);
        QTemporaryDir dir;
        const QString path = dir.filePath("HAND-M.CUR");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        const std::optional<QCursor> cursor = tessaly::loadCursorFile(path);
        QCOMPARE(cursor.has_value(), loads);
        if (loads) {
            QCOMPARE(cursor->shape(), Qt::BitmapCursor);
            QCOMPARE(cursor->hotSpot(), QPoint(3, 5));
            QCOMPARE(cursor->pixmap().size(), QSize(8, 8));
        }
    }

    void messageBoxHookRecordsInsteadOfShowing() {
        MessageBox::answerNext(2);
        MessageBox::show(nullptr, "first", "Title A", MessageBox::Icon::Warning);
        MessageBox::show(nullptr, "second", "Title B", MessageBox::Icon::None);
        QCOMPARE(MessageBox::pendingAnswers(), 0);
        const QList<MessageBox::Shown> shown = MessageBox::takeRecorded();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].text, QString("first"));
        QCOMPARE(shown[0].title, QString("Title A"));
        QCOMPARE(shown[0].icon, MessageBox::Icon::Warning);
        QCOMPARE(shown[1].icon, MessageBox::Icon::None);
        QVERIFY(MessageBox::takeRecorded().isEmpty());
    }

    void realMessageBoxIsModalWithOneOkButton_data() {
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("expected");
        QTest::newRow("none") << int(MessageBox::Icon::None) << int(QMessageBox::NoIcon);
        QTest::newRow("information") << int(MessageBox::Icon::Information) << int(QMessageBox::Information);
        QTest::newRow("warning") << int(MessageBox::Icon::Warning) << int(QMessageBox::Warning);
    }
    void realMessageBoxIsModalWithOneOkButton() {
        QFETCH(int, icon);
        QFETCH(int, expected);
        QString title, text;
        int shownIcon = -1;
        qsizetype buttons = -1;
        bool modal = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            title = box->windowTitle();
            text = box->text();
            shownIcon = box->icon();
            buttons = box->buttons().size();
            modal = box->isModal();
            box->button(QMessageBox::Ok)->click();
        });
        // Returns only once the box is closed.
        MessageBox::show(nullptr, "C:\\a <b> & c not exist!", "ERROR: File not exist",
                         static_cast<MessageBox::Icon>(icon));
        QCOMPARE(title, QString("ERROR: File not exist"));
        QCOMPARE(text, QString("C:\\a <b> & c not exist!"));
        QCOMPARE(shownIcon, expected);
        QCOMPARE(buttons, 1);
        QVERIFY(modal);
    }

    void fileDialogHookAnswersInTurn() {
        tessaly::FileDialog::answerNext({"/data/movie.avi", "", "/out"});
        QCOMPARE(tessaly::FileDialog::getOpenFileName(nullptr, "Select File", "All Files (*)"),
                 QString("/data/movie.avi"));
        QCOMPARE(tessaly::FileDialog::getOpenFileName(nullptr, "Select File", "Split Files (*.splt)"), QString());
        QCOMPARE(tessaly::FileDialog::getExistingDirectory(nullptr, "Please select folder to add:"), QString("/out"));
        QCOMPARE(tessaly::FileDialog::pendingAnswers(), 0);
        const auto asked = tessaly::FileDialog::takeRecorded();
        QCOMPARE(asked.size(), 3);
        QCOMPARE(asked[1].filter, QString("Split Files (*.splt)"));
        QCOMPARE(asked[2].title, QString("Please select folder to add:"));
        QVERIFY(asked[2].folder);
        QVERIFY(!asked[0].folder);
    }

    void homePageOpensExactlyOnSeven() {
        int drawn = 0;
        tessaly::HomePage::setDraw([&] { return drawn; });
        for (drawn = 1; drawn <= 100; ++drawn) {
            tessaly::HomePage::visit();
            QCOMPARE(testsupport::takeHomePageLaunches(), drawn == 7 ? 1 : 0);
        }
        tessaly::HomePage::setDraw({});
    }
};

int main(int argc, char* argv[]) {
    return testsupport::runTests(argc, argv, [] { return QList<QObject*>{new ShellHelpersTest}; });
}

#include "tst_shell_helpers.moc"
