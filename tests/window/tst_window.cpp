// The main window: layout, keyboard order, pointer modes, start-up, stored
// settings, the progress bar and closing during a run; and the helpers behind
// them: the chunk-size reading and the settings store.
#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QThread>
#include <QtEndian>
#include <climits>

#include "ChunkSize.h"
#include "Settings.h"
#include "TestSupport.h"

using tessaly::Form1;
using tessaly::MessageBox;

namespace {

// A window whose runs are slow enough to be closed in the middle.
class SlowForm : public Form1 {
public:
    void setProgressValue(std::int64_t value) override {
        Form1::setProgressValue(value);
        if (value > 0) QThread::msleep(30);
    }
};

// A tiny cursor file: an 8x8 icon file turned into type 2, hot spot (2, 4).
QByteArray cursorFile() {
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "ICO");
    QByteArray data = buffer.data();
    qToLittleEndian<quint16>(2, data.data() + 2);
    qToLittleEndian<quint16>(2, data.data() + 10);
    qToLittleEndian<quint16>(4, data.data() + 12);
    return data;
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { ts::reset(); }

    // Pixels at 96 DPI, relative to the container; "Form1" is the client area.
    void geometry_data() {
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("rect");
        for (auto [name, in, r] : std::initializer_list<std::tuple<const char*, const char*, QRect>>{
                 {"Form1", "", {0, 0, 529, 273}},         {"Frame1", "Form1", {8, 8, 513, 124}},
                 {"Label1", "Frame1", {16, 27, 87, 15}},  {"Text1", "Frame1", {120, 24, 336, 22}},
                 {"Check1", "Frame1", {464, 24, 32, 22}}, {"Label7", "Frame1", {16, 54, 79, 15}},
                 {"Text2", "Frame1", {120, 51, 336, 22}}, {"Check2", "Frame1", {464, 51, 32, 22}},
                 {"lblSize", "Frame1", {16, 82, 62, 15}}, {"Text3", "Frame1", {80, 80, 93, 22}},
                 {"Label2", "Frame1", {176, 82, 31, 15}}, {"Check4", "Frame1", {216, 80, 281, 27}},
                 {"Frame2", "Form1", {8, 136, 513, 97}},  {"Label3", "Frame2", {16, 27, 81, 15}},
                 {"Text4", "Frame2", {104, 24, 352, 22}}, {"Check5", "Frame2", {464, 24, 32, 22}},
                 {"Check3", "Frame2", {16, 51, 482, 27}}, {"ProgressBar1", "Form1", {8, 240, 513, 25}},
                 {"Command1", "Form1", {-48, 176, 41, 33}}})
            QTest::newRow(name) << QString(in) << r;
    }
    void geometry() {
        QFETCH(QString, container);
        QFETCH(QRect, rect);
        Form1 w;
        const QString name = QTest::currentDataTag();
        QWidget* c = name == "Form1" ? &w : w.findChild<QWidget*>(name);
        QVERIFY(c != nullptr);
        QRect got = c == &w ? w.rect() : c->geometry();
        if (auto* l = qobject_cast<QLabel*>(c)) {
            // A label grows past the layout's width rather than cut its caption.
            QVERIFY(l->width() >= l->fontMetrics().horizontalAdvance(l->text()));
            if (got.width() >= rect.width()) got.setWidth(rect.width());
        }
        QCOMPARE(c->parentWidget() ? c->parentWidget()->objectName() : QString(), container);
        QCOMPARE(got, rect);
    }

    void tabOrderGoesRoundFromCommand1() {
        Form1 w;
        QVERIFY(ts::start(w));
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 10; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, QString("Command1 Check4 Check2 Text2 Text1 Check1 Text3 Check5 Text4 Check3 Command1")
                              .split(' '));
    }

    // Mouse movements in turn over the named controls ("margin" is bare
    // background), from a starting pointer mode.
    void pointerModes_data() {
        QTest::addColumn<int>("startMode");
        QTest::addColumn<QStringList>("moves");
        QTest::addColumn<int>("endMode");
        for (const char* b : {"Check1", "Check2", "Check3", "Check4"}) QTest::newRow(b) << 0 << QStringList{b} << 99;
        QTest::newRow("frame, label, fields and bar keep hover")
            << 0 << QStringList{"Check4", "Frame1", "Label1", "Text3", "Text1", "ProgressBar1"} << 99;
        QTest::newRow("bare background resets") << 0 << QStringList{"Check1", "Text1", "margin"} << 0;
        QTest::newRow("Check5 leaves default alone") << 0 << QStringList{"Check5"} << 0;
        QTest::newRow("Check5 leaves hover alone") << 0 << QStringList{"Check2", "Check5"} << 99;
        QTest::newRow("busy stays busy") << 11 << QStringList{"Check1", "margin", "Check4"} << 11;
    }
    void pointerModes() {
        QFETCH(int, startMode);
        QFETCH(QStringList, moves);
        QFETCH(int, endMode);
        Form1 w;
        QVERIFY(ts::start(w));
        // Qt drops a movement to where the pointer already is: start elsewhere.
        QTest::mouseMove(w.windowHandle(), QPoint(1, 1));
        w.setMousePointer(startMode);
        for (const QString& target : moves) {
            QWidget* c = w.findChild<QWidget*>(target);
            const QPoint at = c ? c->mapTo(&w, target == "Frame1" ? QPoint(5, 115) : c->rect().center()) : QPoint(3, 3);
            QTest::mouseMove(w.windowHandle(), at);
        }
        QCOMPARE(w.mousePointer(), endMode);
        // The mode governs the fields too.
        QCOMPARE(w.Text1->cursor().shape(),
                 endMode == 11 ? Qt::WaitCursor : endMode == 99 ? Qt::PointingHandCursor : Qt::IBeamCursor);
    }

    // What stands where the hover cursor file is looked for.
    void hoverCursorFile_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("loads");
        QByteArray icon = cursorFile();
        icon[2] = 1;
        QTest::newRow("cursor file") << cursorFile() << true;
        QTest::newRow("icon file") << icon << false;
        QTest::newRow("cut short") << cursorFile().left(40) << false;
        QTest::newRow("text") << QByteArray("not a cursor") << false;
        QTest::newRow("a folder") << QByteArray() << false;
    }
    void hoverCursorFile() {
        QFETCH(QByteArray, content);
        QFETCH(bool, loads);
        QTemporaryDir dir;
        const QString path = dir.filePath("HAND-M.CUR");
        QVERIFY(content.isEmpty() ? QDir().mkdir(path) : ts::writeFile(path, content));
        Form1 w;
        MessageBox::answerNext(1);
        QVERIFY(ts::start(w, false, dir.path()));
        w.Check1_MouseMove();
        QCOMPARE(w.Text2->cursor().shape(), loads ? Qt::BitmapCursor : Qt::PointingHandCursor);
        if (loads) QCOMPARE(w.Text2->cursor().hotSpot(), QPoint(2, 4));
        QVERIFY(MessageBox::takeRecorded().isEmpty());
    }

    // The store before the start ("<absent>" for no value), then the fields
    // and the store after it.
    void startUp_data() {
        QTest::addColumn<QString>("folderBefore");
        QTest::addColumn<QString>("chunkBefore");
        QTest::addColumn<QStringList>("after"); // Text2, Text3, stored folder, stored chunk size
        const QString home = QDir::homePath() + "/";
        QTest::newRow("empty store") << "<absent>" << "<absent>" << QStringList{home, "100000", home, "<absent>"};
        QTest::newRow("stored values") << "/srv/p/" << "x" << QStringList{"/srv/p/", "x", "/srv/p/", "x"};
    }
    void startUp() {
        QFETCH(QString, folderBefore);
        QFETCH(QString, chunkBefore);
        QFETCH(QStringList, after);
        if (folderBefore != "<absent>") QVERIFY(tessaly::writeSetting("Orvane", "Tessaly", "Output Folder", folderBefore));
        if (chunkBefore != "<absent>") QVERIFY(tessaly::writeSetting("Orvane", "Tessaly", "Chunk Size", chunkBefore));
        Form1 w;
        MessageBox::answerNext(1);
        QVERIFY(ts::start(w, false));
        QCOMPARE((QStringList{w.Text2->text(), w.Text3->text(), ts::storedValue("Output Folder"),
                              ts::storedValue("Chunk Size")}),
                 after);
        QVERIFY(MessageBox::takeRecorded().isEmpty());
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(w.pos(), screen.topLeft() + tessaly::centredPosition(screen.size(), w.frameGeometry().size()));
    }

    void centring_data() {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QPoint>("position");
        QTest::newRow("fits") << QSize(1920, 1080) << QSize(800, 600) << QPoint(560, 240);
        QTest::newRow("odd difference") << QSize(801, 601) << QSize(100, 100) << QPoint(350, 250);
        QTest::newRow("larger than the screen") << QSize(800, 600) << QSize(1000, 700) << QPoint(-100, -50);
        QTest::newRow("larger by an odd amount") << QSize(100, 100) << QSize(201, 101) << QPoint(-51, -1);
    }
    void centring() {
        QFETCH(QSize, screen);
        QFETCH(QSize, window);
        QFETCH(QPoint, position);
        QCOMPARE(tessaly::centredPosition(screen, window), position);
    }

    void homePageOpensExactlyOnSeven() {
        int drawn = 0;
        tessaly::HomePage::setDraw([&] { return drawn; });
        QList<int> launchedOn;
        for (drawn = 1; drawn <= 100; ++drawn) {
            tessaly::HomePage::visit();
            if (std::exchange(ts::homePageLaunches(), 0) != 0) launchedOn << drawn;
        }
        drawn = 7;
        Form1 w;
        QVERIFY(ts::start(w, false));
        tessaly::HomePage::setDraw([] { return 1; });
        QCOMPARE(launchedOn, QList<int>{7});
        QCOMPARE(ts::homePageLaunches(), 1);
    }

    void typingInText2StoresEveryKeystroke() {
        Form1 w;
        QVERIFY(ts::start(w, false));
        w.Text2->clear();
        QStringList stored;
        for (const char key : std::string("/tmp/o u")) {
            QTest::keyClick(w.Text2, key);
            stored << ts::storedValue("Output Folder");
        }
        QTest::keyClick(w.Text2, Qt::Key_Backspace);
        stored << ts::storedValue("Output Folder");
        QCOMPARE(stored, QString("/,/t,/tm,/tmp,/tmp/,/tmp/o,/tmp/o ,/tmp/o u,/tmp/o ").split(','));
    }

    // Text3 loses the focus by Tab (reason -1) or to another window or a
    // popup: boxes shown, where the focus is then, what is stored.
    void leavingText3_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("reason");
        QTest::addColumn<int>("boxes");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("stored");
        QTest::newRow("letters") << "abc" << -1 << 1 << "Text3" << "abc";
        QTest::newRow("empty") << "" << -1 << 1 << "Text3" << "";
        QTest::newRow("zero") << "0" << -1 << 0 << "Check5" << "0";
        QTest::newRow("negative") << "-5" << -1 << 0 << "Check5" << "-5";
        QTest::newRow("fraction") << "1.5" << -1 << 0 << "Check5" << "1.5";
        QTest::newRow("to another window") << "abc" << int(Qt::ActiveWindowFocusReason) << 0 << "Text3" << "<absent>";
        QTest::newRow("to a popup") << "abc" << int(Qt::PopupFocusReason) << 0 << "Text3" << "<absent>";
    }
    void leavingText3() {
        QFETCH(QString, text);
        QFETCH(int, reason);
        QFETCH(int, boxes);
        QFETCH(QString, focus);
        QFETCH(QString, stored);
        Form1 w;
        QVERIFY(ts::start(w));
        w.Text3->setFocus(Qt::MouseFocusReason);
        w.Text3->setText(text);
        MessageBox::answerNext(1);
        if (reason < 0) {
            QTest::keyClick(w.Text3, Qt::Key_Tab);
        } else {
            QFocusEvent out(QEvent::FocusOut, static_cast<Qt::FocusReason>(reason));
            QCoreApplication::sendEvent(w.Text3, &out);
        }
        QCoreApplication::processEvents();
        QCOMPARE(MessageBox::takeRecorded().size(), boxes);
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        QCOMPARE(ts::storedValue("Chunk Size"), stored);
    }

    void progressBar_data() {
        QTest::addColumn<qint64>("maximum");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QList<int>>("shown"); // maximum, value
        QTest::newRow("ordinary") << qint64(10) << qint64(3) << QList<int>{10, 3};
        QTest::newRow("maximum 0 is an empty bar") << qint64(0) << qint64(0) << QList<int>{1, 0};
        QTest::newRow("maximum 0, value past it") << qint64(0) << qint64(5) << QList<int>{1, 0};
        QTest::newRow("beyond int") << (qint64(1) << 40) << (qint64(1) << 39) << QList<int>{INT_MAX, INT_MAX / 2};
    }
    void progressBar() {
        QFETCH(qint64, maximum);
        QFETCH(qint64, value);
        QFETCH(QList<int>, shown);
        Form1 w;
        w.setProgressMaximum(maximum);
        w.setProgressValue(value);
        QCOMPARE((QList<int>{w.ProgressBar1->maximum(), w.ProgressBar1->value()}), shown);
    }

    // Closing during a long split stops it, and the event loop ends once the
    // split has returned. It runs the application's own event loop.
    void closingDuringASplitStopsItAndEndsTheLoop() {
        QTemporaryDir dir;
        const QString source = dir.filePath("big.bin");
        QVERIFY(ts::writeFile(source, QByteArray(1 << 20, 'x')));
        SlowForm w;
        QVERIFY(ts::start(w, false));
        w.Text2->setText(dir.path() + "/");
        w.show();
        MessageBox::answerNext(5);
        std::optional<SplitMergeFile::Outcome> outcome;
        bool loopRanAfterTheRun = false;
        QTimer::singleShot(0, &w, [&] {
            QTimer::singleShot(0, &w, &QWidget::close);
            outcome = SplitMergeFile::SplitFile(w, tessaly::toEngineText(source), 1024);
            QTimer::singleShot(0, &w, [&] { loopRanAfterTheRun = true; });
        });
        // A safety net should the loop never end, not a timing check.
        QTimer::singleShot(120000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(outcome, std::optional(SplitMergeFile::Outcome::Stopped));
        QVERIFY(!loopRanAfterTheRun);
        QVERIFY(MessageBox::takeRecorded().isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"big.bin"});
    }

    // Whether the text is a number, and the chunk size it gives (0: refused).
    void chunkSizeText_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("numeric");
        QTest::addColumn<qint64>("size");
        auto row = [](const char* locale, const char* text, bool numeric, qint64 size) {
            QTest::addRow("%s \"%s\"", locale, text) << QString(locale) << QString(text) << numeric << size;
        };
        row("en_US", "100000", true, 100000);
        row("en_US", " +1,000 ", true, 1000);
        row("en_US", "1.5", true, 2);
        row("en_US", "2.5", true, 2);
        row("en_US", "3.5", true, 4);
        row("en_US", "0.5", true, 0);
        row("en_US", "0", true, 0);
        row("en_US", "-3", true, 0);
        row("en_US", "9223372036854775807", true, INT64_MAX);
        row("en_US", "9223372036854775808", true, 0);
        row("en_US", "9.3e18", true, 0);
        row("en_US", "", false, 0);
        row("en_US", "   ", false, 0);
        row("en_US", "abc", false, 0);
        row("en_US", "12kb", false, 0);
        row("en_US", "inf", false, 0);
        row("en_US", "nan", false, 0);
        row("de_DE", "1.000,5", true, 1000);
        row("de_DE", "2,5", true, 2);
        row("de_DE", "1,000", true, 1);
    }
    void chunkSizeText() {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(bool, numeric);
        QFETCH(qint64, size);
        QCOMPARE(tessaly::isNumericText(text, QLocale(locale)), numeric);
        QCOMPARE(tessaly::chunkSizeFromText(text, QLocale(locale)).value_or(0), size);
    }

    void settingsStore() {
        auto read = [] { return tessaly::readSetting("Orvane", "Tessaly", "Chunk Size", "default"); };
        QStringList seen{read()};
        QVERIFY(tessaly::writeSetting("Orvane", "Tessaly", "Chunk Size", "abc"));
        seen << read() << ts::storedValue("Chunk Size");
        // An empty text is a value, not an absent key.
        QVERIFY(tessaly::writeSetting("Orvane", "Tessaly", "Chunk Size", ""));
        seen << read();
        // Another program changes the file: the next read sees it.
        QVERIFY(ts::writeFile(ts::settingsFile(), "[Tessaly]\nChunk%20Size=7\n"));
        seen << read();
        QCOMPARE(seen, (QStringList{"default", "abc", "abc", "", "7"}));

        // A folder where the settings file should be: no write can succeed.
        QVERIFY(QFile::remove(ts::settingsFile()) && QDir().mkpath(ts::settingsFile()));
        const bool written = tessaly::writeSetting("Orvane", "Tessaly", "Chunk Size", "5");
        QVERIFY(QDir(ts::settingsFile()).removeRecursively());
        QVERIFY(!written);
    }
};

TESSALY_TEST_MAIN(WindowTest)
#include "tst_window.moc"
