// The window: layout, pointer modes, start-up, settings, progress bar and
// closing; the commands behind the buttons; the helpers behind them.
#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <climits>
#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

#include "ChunkSize.h"
#include "FileDialog.h"
#include "Form1.h"
#include "HomePage.h"
#include "MessageBox.h"
#include "PathEdit.h"
#include "Settings.h"
#include "addFolder.h"

using tessaly::FileDialog;
using tessaly::Form1;
using tessaly::MessageBox;

// Text3 loses the focus by Tab (reason -1) or to another window or a popup;
// then the boxes shown, the focused control and the stored chunk size.
struct Leave {
    QString text;
    int reason, boxes;
    QString focus, stored;
};
Q_DECLARE_METATYPE(Leave)

// A command row: split or join, what stands at the typed path, the path, the
// chunk size, the boxes shown and the files then in the output folder.
struct Cmd {
    bool split;
    QString kind, name, chunk;
    QStringList boxes, written = {};
};
Q_DECLARE_METATYPE(Cmd)

namespace {

QString settingsFile;
int homePageLaunches = 0;

// The value in the settings file itself, or "<absent>".
QString storedValue(const QString& key) {
    return QSettings(settingsFile, QSettings::IniFormat).value("Tessaly/" + key, "<absent>").toString();
}

// The start-up steps (hover cursor looked for in `cursorFolder`), then, if
// asked, the window shown and active.
bool start(Form1& w, bool show = true, const QString& cursorFolder = QDir::tempPath()) {
    w.Form_Load(cursorFolder);
    if (!show) return true;
    w.show();
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// An 8x8 icon file turned into a cursor file (type 2) with hot spot (2, 4).
QByteArray cursorFile() {
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "ICO");
    QByteArray data = buffer.data();
    for (auto [at, value] : {std::pair{2, 2}, {10, 2}, {12, 4}}) qToLittleEndian<quint16>(value, data.data() + at);
    return data;
}

// A box as "pointer|title|icon|text": the window's pointer mode while it was
// open, its title, its QMessageBox::Icon and its text.
QString box(int pointer, const QString& title, QMessageBox::Icon icon, const QString& text) {
    return QStringLiteral("%1|%2|%3|%4").arg(pointer).arg(title).arg(int(icon)).arg(text);
}

// Until `w` is gone, records every real message box that opens over it in
// `shown` and presses the box's OK button.
void answerBoxes(Form1& w, QStringList& shown) {
    auto* timer = new QTimer(&w);
    QObject::connect(timer, &QTimer::timeout, timer, [&w, &shown] {
        auto* b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (b == nullptr || !b->isVisible()) return;
        shown << box(int(w.mousePointer()), b->windowTitle(), b->icon(), b->text());
        QTest::mouseClick(b->button(QMessageBox::Ok), Qt::LeftButton);
    });
    timer->start(1);
}

// The files in `folder` (hidden ones too) as "name:size"; an index file's
// size depends on the paths it lists, so it is given by name only.
QStringList listing(const QString& folder) {
    QStringList files;
    for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name))
        files << (f.fileName().endsWith(".splt") ? f.fileName() : f.fileName() + ":" + QString::number(f.size()));
    return files;
}

// A split's output: the index file and pieces of the given sizes.
QStringList pieces(const QString& base, const QList<int>& sizes) {
    QStringList files{base + ".splt"};
    for (int k = 0; k < sizes.size(); ++k) files << QString("%1_splt%2:%3").arg(base).arg(k + 1).arg(sizes[k]);
    return files;
}

// A window whose runs are slow enough to be closed in the middle.
struct SlowForm : Form1 {
    void progress(const SplitMergeFile::Progress& p) override {
        Form1::progress(p);
        if (p.pieces > 0) QThread::msleep(30);
    }
};

// A window whose first two runs have all five buttons pressed at their first
// progress step, while the engine works.
struct PressingForm : Form1 {
    void progress(const SplitMergeFile::Progress& p) override {
        Form1::progress(p);
        if (p.pieces == 1 && p.bytes == 4096 && ++presses <= 2)
            for (QPushButton* b : {Check1, Check2, Check3, Check4, Check5}) QTest::mouseClick(b, Qt::LeftButton);
    }
    int presses = 0;
};

} // namespace

class WindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir cursorDir, brokenCursorDir; // a cursor file; one cut short

private slots:
    void initTestCase() {
        QVERIFY(writeFile(cursorDir.filePath("HAND-M.CUR"), cursorFile()));
        QVERIFY(writeFile(brokenCursorDir.filePath("HAND-M.CUR"), cursorFile().left(40)));
    }

    // An empty store, no hook answers pending, nothing recorded.
    void init() {
        QFile::remove(settingsFile);
        MessageBox::answerNext(0);
        MessageBox::takeRecorded();
        FileDialog::answerNext({});
        FileDialog::takeRecorded();
        homePageLaunches = 0;
    }

    // "container/control": pixels at 96 DPI in the container; "Form1" is the client area.
    void geometry_data() {
        QTest::addColumn<QRect>("rect");
        const std::pair<const char*, QRect> rows[] = {
            {"Form1", {0, 0, 529, 273}},           {"Form1/Frame1", {8, 8, 513, 124}},
            {"Frame1/Label1", {16, 27, 87, 15}},   {"Frame1/Text1", {120, 24, 336, 22}},
            {"Frame1/Check1", {464, 24, 32, 22}},  {"Frame1/Label7", {16, 54, 79, 15}},
            {"Frame1/Text2", {120, 51, 336, 22}},  {"Frame1/Check2", {464, 51, 32, 22}},
            {"Frame1/lblSize", {16, 82, 62, 15}},  {"Frame1/Text3", {80, 80, 93, 22}},
            {"Frame1/Label2", {176, 82, 31, 15}},  {"Frame1/Check4", {216, 80, 281, 27}},
            {"Form1/Frame2", {8, 136, 513, 97}},   {"Frame2/Label3", {16, 27, 81, 15}},
            {"Frame2/Text4", {104, 24, 352, 22}},  {"Frame2/Check5", {464, 24, 32, 22}},
            {"Frame2/Check3", {16, 51, 482, 27}},  {"Form1/ProgressBar1", {8, 240, 513, 25}},
            {"Form1/Command1", {-48, 176, 41, 33}}};
        for (const auto& [name, r] : rows) QTest::newRow(name) << r;
    }
    void geometry() {
        QFETCH(QRect, rect);
        Form1 w;
        const QString name = QString(QTest::currentDataTag()).section('/', -1);
        QWidget* c = name == "Form1" ? &w : w.findChild<QWidget*>(name);
        QVERIFY(c != nullptr);
        QRect got = c == &w ? w.rect() : c->geometry();
        if (auto* l = qobject_cast<QLabel*>(c)) {
            // A label grows past the layout's width rather than cut its caption.
            QVERIFY(l->width() >= l->fontMetrics().horizontalAdvance(l->text()));
            got.setWidth(std::min(got.width(), rect.width()));
        }
        QCOMPARE(c == &w ? name : c->parentWidget()->objectName() + "/" + name, QTest::currentDataTag());
        QCOMPARE(got, rect);
    }

    // A file or folder dropped from a file manager gives its local path, not
    // its file:// address; a folder dropped on Text2 ends in a separator.
    void droppedPaths_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("dropped");
        QTest::addColumn<QString>("expected");
        const QString dir = QDir::tempPath();
        QTest::newRow("file on Text1") << "Text1" << dir + "/movie.avi" << dir + "/movie.avi";
        QTest::newRow("index on Text4") << "Text4" << dir + "/movie.avi.splt" << dir + "/movie.avi.splt";
        QTest::newRow("folder on Text2") << "Text2" << dir << dir + "/";
    }
    void droppedPaths() {
        QFETCH(QString, field);
        QFETCH(QString, dropped);
        QFETCH(QString, expected);
        Form1 w;
        auto* edit = w.findChild<tessaly::PathEdit*>(field);
        QVERIFY(edit != nullptr);
        edit->setText("typed before");
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(dropped)});
        // Straight to the field: the application passes drop events on only
        // during a drag that the window system started.
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        static_cast<QObject*>(edit)->event(&enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        static_cast<QObject*>(edit)->event(&drop);
        QCOMPARE(edit->text(), expected);
    }

    void tabOrderGoesRoundFromCommand1() {
        Form1 w;
        QVERIFY(start(w));
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 10; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited.join(' '), "Command1 Check4 Check2 Text2 Text1 Check1 Text3 Check5 Text4 Check3 Command1");
    }

    // Mouse movements in turn over the named controls ("-" is bare
    // background), from a starting pointer mode.
    void pointerModes_data() {
        QTest::addColumn<int>("startMode");
        QTest::addColumn<QString>("moves");
        QTest::addColumn<int>("endMode");
        for (const char* b : {"Check1", "Check2", "Check3", "Check4"}) QTest::newRow(b) << 0 << b << 99;
        QTest::newRow("others keep hover") << 0 << "Check4 Frame1 Label1 Text3 Text1 ProgressBar1" << 99;
        QTest::newRow("bare background resets") << 0 << "Check1 Text1 -" << 0;
        QTest::newRow("Check5 leaves default alone") << 0 << "Check5" << 0;
        QTest::newRow("Check5 leaves hover alone") << 0 << "Check2 Check5" << 99;
        QTest::newRow("busy stays busy") << 11 << "Check1 - Check4" << 11;
    }
    void pointerModes() {
        QFETCH(int, startMode);
        QFETCH(QString, moves);
        QFETCH(int, endMode);
        Form1 w;
        QVERIFY(start(w, true, cursorDir.path()));
        // Qt drops a movement to where the pointer already is: start elsewhere.
        QTest::mouseMove(w.windowHandle(), QPoint(1, 1));
        w.setMousePointer(tessaly::PointerMode(startMode));
        for (const QString& target : moves.split(' ')) {
            QWidget* c = w.findChild<QWidget*>(target);
            const QPoint inside = target == "Frame1" ? QPoint(5, 115) : c ? c->rect().center() : QPoint();
            QTest::mouseMove(w.windowHandle(), c ? c->mapTo(&w, inside) : QPoint(3, 3));
        }
        QCOMPARE(int(w.mousePointer()), endMode);
        // The mode governs the fields too; hovering shows the cursor file's image.
        QCOMPARE(w.Text1->cursor().shape(),
                 endMode == 11 ? Qt::WaitCursor : endMode == 99 ? Qt::BitmapCursor : Qt::IBeamCursor);
        if (endMode == 99) QCOMPARE(w.Text1->cursor().hotSpot(), QPoint(2, 4));
    }

    // A first start with an empty store, then one with stored values: the
    // fields and the store after each, no box, the window centred, and the
    // broken cursor file beside the program ignored.
    void startUp() {
        QStringList after;
        for (bool firstStart : {true, false}) {
            if (!firstStart) {
                QVERIFY(tessaly::writeSetting("Orvane", "Tessaly", "Output Folder", "/srv/p/"));
                QVERIFY(tessaly::writeSetting("Orvane", "Tessaly", "Chunk Size", "x"));
            }
            Form1 w;
            MessageBox::answerNext(1);
            QVERIFY(start(w, false, brokenCursorDir.path()));
            w.Check_MouseMove();
            QCOMPARE(w.Text2->cursor().shape(), Qt::PointingHandCursor);
            after << w.Text2->text() << w.Text3->text() << storedValue("Output Folder") << storedValue("Chunk Size");
            QVERIFY(MessageBox::takeRecorded().isEmpty());
            const QRect screen = QGuiApplication::primaryScreen()->geometry();
            QCOMPARE(w.pos(), screen.topLeft() + tessaly::centredPosition(screen.size(), w.frameGeometry().size()));
        }
        const QString home = QDir::homePath() + "/";
        QCOMPARE(after, (QStringList{home, "100000", home, "<absent>", "/srv/p/", "x", "/srv/p/", "x"}));
    }

    // Halves are rounded down, also where the window is larger than the screen.
    void centring() {
        QCOMPARE(tessaly::centredPosition({801, 601}, {100, 100}), QPoint(350, 250));
        QCOMPARE(tessaly::centredPosition({800, 600}, {1000, 700}), QPoint(-100, -50));
        QCOMPARE(tessaly::centredPosition({100, 100}, {201, 101}), QPoint(-51, -1));
    }

    void homePageOpensExactlyOnSeven() {
        QList<int> launchedOn;
        for (int drawn : {1, 6, 7, 8, 100}) {
            tessaly::HomePage::setDraw([drawn] { return drawn; });
            Form1 w;
            QVERIFY(start(w, false));
            if (std::exchange(homePageLaunches, 0) != 0) launchedOn << drawn;
        }
        tessaly::HomePage::setDraw([] { return 1; });
        QCOMPARE(launchedOn, QList<int>{7});
    }

    void typingInText2StoresEveryKeystroke() {
        Form1 w;
        QVERIFY(start(w, false));
        w.Text2->clear();
        QStringList stored;
        for (const char key : {'/', 't', ' ', 'x'}) {
            QTest::keyClick(w.Text2, key);
            stored << storedValue("Output Folder");
        }
        QCOMPARE(stored.join('|'), "/|/t|/t |/t x");
    }

    void leavingText3_data() {
        QTest::addColumn<Leave>("row");
        QTest::newRow("letters") << Leave{"abc", -1, 1, "Text3", "abc"};
        QTest::newRow("empty") << Leave{"", -1, 1, "Text3", ""};
        QTest::newRow("zero") << Leave{"0", -1, 0, "Check5", "0"};
        QTest::newRow("negative") << Leave{"-5", -1, 0, "Check5", "-5"};
        QTest::newRow("fraction") << Leave{"1.5", -1, 0, "Check5", "1.5"};
        QTest::newRow("to another window") << Leave{"abc", Qt::ActiveWindowFocusReason, 0, "Text3", "<absent>"};
        QTest::newRow("to a popup") << Leave{"abc", Qt::PopupFocusReason, 0, "Text3", "<absent>"};
    }
    void leavingText3() {
        QFETCH(Leave, row);
        Form1 w;
        QVERIFY(start(w));
        w.Text3->setFocus(Qt::MouseFocusReason);
        w.Text3->setText(row.text);
        MessageBox::answerNext(1);
        QFocusEvent out(QEvent::FocusOut, Qt::FocusReason(row.reason));
        if (row.reason < 0) QTest::keyClick(w.Text3, Qt::Key_Tab);
        else QCoreApplication::sendEvent(w.Text3, &out);
        QCoreApplication::processEvents();
        QCOMPARE(MessageBox::takeRecorded().size(), row.boxes);
        QCOMPARE(QApplication::focusWidget()->objectName(), row.focus);
        QCOMPARE(storedValue("Chunk Size"), row.stored);
    }

    // The maximum and value set, then the bar's maximum and value shown.
    void progressBar() {
        Form1 w;
        auto shown = [&w](qint64 maximum, qint64 value) {
            w.setProgressMaximum(maximum);
            w.setProgressValue(value);
            return QList<int>{w.ProgressBar1->maximum(), w.ProgressBar1->value()};
        };
        QCOMPARE(shown(10, 3), (QList<int>{10, 3}));
        QCOMPARE(shown(0, 0), (QList<int>{1, 0})); // empty, not the busy animation
        QCOMPARE(shown(0, 5), (QList<int>{1, 0}));
        QCOMPARE(shown(qint64(1) << 40, qint64(1) << 39), (QList<int>{INT_MAX, INT_MAX / 2}));
    }

    // What stands at the typed path: "file:<bytes>", "index" listing pieces of
    // 3 and 2 bytes, "broken" listing a missing third one too, "damaged"
    // with an empty line between the two. Paths are in
    // in/ ("" for an empty field); in the boxes "%1" is the typed path and
    // "%2" the missing piece.
    void commands_data() {
        QTest::addColumn<Cmd>("row");
        const auto W = QMessageBox::Warning, I = QMessageBox::Information;
        const QString split = box(11, "Message", I, "File successfully split");
        const QString joined = box(11, "Message", I, "Files successfully joined");
        const QString isSplit = box(11, "Cannot Split File", W, "Cannot split splitted file.");
        const QString notExist = box(11, "ERROR: File not exist", W, "%1 not exist!");
        const QString cannot = "ERROR: Cannot split a file";
        const QString tooSmall = box(11, cannot, W, "Filesize is less than or equal to chunk size.");
        const QString badChunk =
            box(11, cannot, W, "The chunk size must be a whole number of bytes from 1 to 9223372036854775807.");
        auto row = [](const char* tag, const Cmd& c) { QTest::newRow(tag) << c; };
        row("split: empty field, no message", {true, "none", "", "3", {}});
        row("split: missing .splt path, name test first", {true, "none", "gone.splt", "3", {isSplit}});
        row("split: _splt in a folder name", {true, "file:10", "old_splt/movie.bin", "3", {isSplit}});
        row("split: name test before the chunk size", {true, "file:10", "a.splt", "abc", {isSplit}});
        row("split: SPLT passes the name test", {true, "file:7", "S.SPLT", "3", {split}, pieces("S.SPLT", {3, 3, 1})});
        row("split: missing, before the chunk size", {true, "none", "movie.bin", "abc", {notExist}});
        row("split: folder", {true, "folder", "movie.bin", "3", {notExist}});
        for (const char* chunk : {"", "abc", "0", "-3", "9223372036854775808"})
            row(qPrintable(QString("split: chunk size \"%1\"").arg(chunk)), {true, "file:10", "m", chunk, {badChunk}});
        row("split: chunk size before the file size", {true, "file:0", "movie.bin", "0", {badChunk}});
        row("split: 0-byte file", {true, "file:0", "movie.bin", "1", {tooSmall}});
        row("split: exactly the chunk size", {true, "file:5", "movie.bin", "5", {tooSmall}});
        row("split: chunk size above 32 bits", {true, "file:10", "movie.bin", "4294967296", {tooSmall}});
        row("split: one byte longer", {true, "file:6", "m", "5", {split}, pieces("m", {5, 1})});
        row("split: 1.5 gives 2", {true, "file:5", "m", "1.5", {split}, pieces("m", {2, 2, 1})});
        row("split: 2.5 gives 2", {true, "file:5", "m", "2.5", {split}, pieces("m", {2, 2, 1})});
        row("split: 3.5 gives 4", {true, "file:10", "m", "3.5", {split}, pieces("m", {4, 4, 2})});
        row("join: empty field", {false, "none", "", "", {box(11, "Message", I, "You must select file to join.")}});
        row("join: missing", {false, "none", "p.splt", "", {notExist}});
        row("join: folder", {false, "folder", "p.splt", "", {notExist}});
        row("join: index file", {false, "index", "p.splt", "", {joined}, {"p:5"}});
        row("join: any name", {false, "index", "list.txt", "", {joined}, {"list.txt:5"}});
        row("join: missing piece, the rest kept",
            {false, "broken", "p.splt", "", {box(11, "Error message", W, "%2 splitted file not found")}, {"p:5"}});
        row("join: damaged index, nothing written",
            {false, "damaged", "p.splt", "",
             {box(11, "Error message", W, "Cannot join %1: the index file is damaged (line 2 is empty).")}});
#ifndef Q_OS_WIN
        row("split: FIFO", {true, "fifo", "movie.bin", "3", {notExist}});
        row("join: FIFO", {false, "fifo", "p.splt", "", {notExist}});
#endif
    }
    void commands() {
        QFETCH(Cmd, row);
        QTemporaryDir dir;
        const QString in = dir.filePath("in/"), out = dir.filePath("out/");
        const QString typed = row.name.isEmpty() ? QString() : in + row.name;
        QVERIFY(QDir().mkpath(QFileInfo(in + row.name).path()));
        QVERIFY(QDir().mkpath(out));
        if (row.kind.startsWith("file:")) QVERIFY(writeFile(typed, QByteArray(row.kind.mid(5).toInt(), 'x')));
        if (row.kind == "folder") QVERIFY(QDir().mkpath(typed));
#ifndef Q_OS_WIN
        if (row.kind == "fifo") QCOMPARE(::mkfifo(QFile::encodeName(typed).constData(), 0600), 0);
#endif
        if (row.kind == "index" || row.kind == "broken" || row.kind == "damaged") {
            QVERIFY(writeFile(in + "p_splt1", "abc"));
            QVERIFY(writeFile(in + "p_splt2", "de"));
            const QString missing = row.kind == "broken" ? in + "p_splt3\r\n" : "";
            const QString gap = row.kind == "damaged" ? "\r\n" : "";
            QVERIFY(writeFile(typed, (in + "p_splt1\r\n" + gap + in + "p_splt2\r\n" + missing).toUtf8()));
        }
        QStringList shown;
        Form1 w;
        QVERIFY(start(w));
        (row.split ? w.Text1 : w.Text4)->setText(typed);
        w.Text2->setText(out);
        w.Text3->setText(row.chunk);
        answerBoxes(w, shown);
        QPushButton* button = row.split ? w.Check4 : w.Check3;
        QTest::mouseClick(button, Qt::LeftButton);

        QCOMPARE(shown, row.boxes.replaceInStrings("%1", typed).replaceInStrings("%2", in + "p_splt3"));
        // After every path: released button, default pointer, empty bar.
        QCOMPARE((QList<int>{button->isChecked(), int(w.mousePointer()), w.ProgressBar1->value()}), (QList<int>{0, 0, 0}));
        QCOMPARE(listing(out).join(" "), row.written.join(" "));
    }

    // A real split and a real join through the buttons, the real boxes
    // answered as they open. Buttons pressed during either run do nothing: no
    // dialog, no box, no second run (whose end would reset the pointer).
    void splitThenJoinRebuildsTheFileOneRunAtATime() {
        QTemporaryDir dir;
        const QString source = dir.filePath("src/movie.bin"), pieces = dir.filePath("pieces/");
        QByteArray bytes; // no two pieces alike, so a misplaced piece shows
        for (int i = 0; i < 100003; ++i) bytes += char(i * 7 % 251);
        QVERIFY(writeFile(source, bytes));
        QVERIFY(QDir().mkpath(pieces));
        QVERIFY(QDir().mkpath(dir.filePath("joined")));
        QStringList shown;
        PressingForm w;
        QVERIFY(start(w));
        answerBoxes(w, shown);
        FileDialog::answerNext(QList<QString>(7, "/picked")); // enough that no real dialog opens
        w.Text1->setText(source);
        w.Text2->setText(pieces);
        w.Text3->setText("4096");
        QTest::mouseClick(w.Check4, Qt::LeftButton);
        w.Text4->setText(pieces + "movie.bin.splt");
        w.Text2->setText(dir.filePath("joined/"));
        QTest::mouseClick(w.Check3, Qt::LeftButton);
        QCOMPARE(shown, (QStringList{box(11, "Message", QMessageBox::Information, "File successfully split"),
                                     box(11, "Message", QMessageBox::Information, "Files successfully joined")}));
        QFile rebuilt(dir.filePath("joined/movie.bin"));
        QVERIFY(rebuilt.open(QIODevice::ReadOnly));
        QCOMPARE(rebuilt.readAll(), bytes);
        QCOMPARE(w.presses, 2);
        QCOMPARE(FileDialog::pendingAnswers(), 7);
        for (QPushButton* b : {w.Check1, w.Check2, w.Check3, w.Check4, w.Check5}) QVERIFY(!b->isChecked());
        // Once the runs are over the buttons work again.
        QTest::mouseClick(w.Check1, Qt::LeftButton);
        QCOMPARE(w.Text1->text(), QString("/picked"));
    }

    // Closing during a long split stops it, and the application's own event
    // loop ends once the split has returned.
    void closingDuringASplitStopsItAndEndsTheLoop() {
        QTemporaryDir dir;
        const QString source = dir.filePath("big.bin");
        QVERIFY(writeFile(source, QByteArray(1 << 20, 'x')));
        SlowForm w;
        QVERIFY(start(w));
        w.Text2->setText(dir.path() + "/");
        MessageBox::answerNext(5);
        std::optional<SplitMergeFile::Status> outcome;
        bool loopRanAfterTheRun = false;
        QTimer::singleShot(0, &w, [&] {
            QTimer::singleShot(0, &w, &QWidget::close);
            outcome = SplitMergeFile::SplitFile(w, tessaly::toEngineText(source), 1024,
                                                tessaly::toEngineText(w.Text2->text()))
                          .status;
            QTimer::singleShot(0, &w, [&] { loopRanAfterTheRun = true; });
        });
        // A safety net should the loop never end, not a timing check.
        QTimer::singleShot(120000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(outcome, std::optional(SplitMergeFile::Status::Stopped));
        QVERIFY(!loopRanAfterTheRun);
        QVERIFY(MessageBox::takeRecorded().isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"big.bin"});
    }

    // Each picker answered and cancelled: the field's text after (it was
    // "old") and the filters of the dialogs asked ("" for the folder chooser).
    void pickers() {
#ifdef Q_OS_WIN
        const QString all = "All Files (*.*)";
#else
        const QString all = "All Files (*)";
#endif
        Form1 w;
        QVERIFY(start(w));
        auto pick = [](QPushButton* button, QLineEdit* field, const QString& answer) {
            field->setText("old");
            FileDialog::answerNext({answer});
            QTest::mouseClick(button, Qt::LeftButton);
            QStringList seen{QDir::fromNativeSeparators(field->text())};
            for (const FileDialog::Asked& asked : FileDialog::takeRecorded()) seen << asked.filter;
            return seen;
        };
        QCOMPARE(pick(w.Check1, w.Text1, "/d/my movie.avi"), (QStringList{"/d/my movie.avi", all}));
        QCOMPARE(pick(w.Check1, w.Text1, ""), (QStringList{"old", all}));
        QCOMPARE(pick(w.Check5, w.Text4, "/d/a.splt"), (QStringList{"/d/a.splt", "Split Files (*.splt)"}));
        QCOMPARE(pick(w.Check5, w.Text4, ""), (QStringList{"old", "Split Files (*.splt)"}));
        QCOMPARE(pick(w.Check2, w.Text2, ""), (QStringList{"old", ""}));
        QCOMPARE(pick(w.Check2, w.Text2, "/d"), (QStringList{"/d/", ""}));
        QCOMPARE(storedValue("Output Folder"), QDir::toNativeSeparators("/d/"));
        QVERIFY(MessageBox::takeRecorded().isEmpty());
    }

    // The chosen folder and separator, and the output-folder text.
    void folderTidying_data() {
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("text");
        const std::tuple<char, const char*, const char*> rows[] = {
            {'/', "", "<no choice>"},   {'/', "/", "/"},         {'/', "/data", "/data/"},
            {'/', "/data/", "/data/"},  {'/', "/a//b", "/a/b/"}, {'\\', "", "<no choice>"},
            {'\\', "C", "<no choice>"}, {'\\', R"(C:\)", R"(C:\)"}, {'\\', R"(C:\Data)", R"(C:\Data\)"},
            {'\\', R"(C:\a\\)", R"(C:\a\\)"}, {'\\', R"(\\server\share)", R"(\\server\share\)"},
            {'\\', R"(\\server\\share)", R"(\\server\\share\)"}};
        for (const auto& [sep, in, out] : rows) QTest::addRow("%c %s", sep, in) << QChar(sep) << in << QString(out);
    }
    void folderTidying() {
        QFETCH(QChar, separator);
        QFETCH(QString, chosen);
        QFETCH(QString, text);
        QCOMPARE(tessaly::outputFolderFromChoice(chosen, separator).value_or("<no choice>"), text);
    }

    // Whether the text is a number, and the chunk size it gives (0: refused).
    void chunkSizeText_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("numeric");
        QTest::addColumn<qint64>("size");
        const std::tuple<const char*, const char*, bool, qint64> rows[] = {
            {"en_US", "100000", true, 100000}, {"en_US", " +1,000 ", true, 1000}, {"en_US", "1.5", true, 2},
            {"en_US", "2.5", true, 2},         {"en_US", "3.5", true, 4},         {"en_US", "0.5", true, 0},
            {"en_US", "0", true, 0},           {"en_US", "-3", true, 0},          {"en_US", "9.3e18", true, 0},
            {"en_US", "", false, 0},           {"en_US", "   ", false, 0},        {"en_US", "abc", false, 0},
            {"en_US", "12kb", false, 0},       {"en_US", "inf", false, 0},        {"en_US", "nan", false, 0},
            {"de_DE", "1.000,5", true, 1000},  {"de_DE", "2,5", true, 2},         {"de_DE", "1,000", true, 1},
            {"en_US", "9223372036854775807", true, INT64_MAX}, {"en_US", "9223372036854775808", true, 0}};
        for (const auto& [locale, text, numeric, size] : rows) QTest::newRow(text) << locale << numeric << size;
    }
    void chunkSizeText() {
        QFETCH(QString, locale);
        QFETCH(bool, numeric);
        QFETCH(qint64, size);
        const QString text = QTest::currentDataTag();
        QCOMPARE(tessaly::isNumericText(text, QLocale(locale)), numeric);
        QCOMPARE(tessaly::chunkSizeFromText(text, QLocale(locale)).value_or(0), size);
    }

    // Stored values come back at start-up (above); here an empty text, which
    // is a value and not an absent key, and a write that cannot succeed.
    void settingsStore() {
        QVERIFY(tessaly::writeSetting("Orvane", "Tessaly", "Chunk Size", ""));
        QCOMPARE(tessaly::readSetting("Orvane", "Tessaly", "Chunk Size", "default"), "");
        // A folder where the settings file should be.
        QVERIFY(QFile::remove(settingsFile));
        QVERIFY(QDir().mkpath(settingsFile));
        const bool written = tessaly::writeSetting("Orvane", "Tessaly", "Chunk Size", "5");
        QVERIFY(QDir(settingsFile).removeRecursively());
        QVERIFY(!written);
    }
};

// The settings store goes to a fresh temporary folder before any QSettings
// is made; home-page launches are counted, and the draw never gives 7.
int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    settingsFile = dir.filePath("Orvane.ini");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    tessaly::HomePage::setLaunch([](const QUrl&) { ++homePageLaunches; });
    tessaly::HomePage::setDraw([] { return 1; });
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    WindowTest test;
    return dir.isValid() ? QTest::qExec(&test, argc, argv) : 1;
}

#include "tst_window.moc"
