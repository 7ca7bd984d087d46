// The window: layout, pointer modes, start-up, settings, progress bar, closing, the commands and their helpers.
#include <QtTest>
#include <QtWidgets>
#include <sys/stat.h>

#include "ChunkSize.h"
#include "FileDialog.h"
#include "Form1.h"
#include "HomePage.h"
#include "MessageBox.h"
#include "PathEdit.h"
#include "Settings.h"
#include "addFolder.h"

using namespace tessaly;

// A command row: split or join, what stands at the typed path, the path, chunk size, boxes shown, files written.
struct Cmd {
    bool split;
    QString kind, name, chunk;
    QStringList boxes;
    QString written = {};
};
Q_DECLARE_METATYPE(Cmd)

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
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

// The start-up steps, the hover cursor looked for in `cursorFolder`; then the window shown and active.
bool start(Form1& w, const QString& cursorFolder = QDir::tempPath()) {
    w.Form_Load(cursorFolder);
    w.show();
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}

// A box as "pointer|title|icon|text", the pointer being the window's mode while it was open (busy unless told).
QString box(const QString& title, QMessageBox::Icon icon, const QString& text, int pointer = 11) {
    return QStringLiteral("%1|%2|%3|%4").arg(pointer).arg(title).arg(int(icon)).arg(text);
}

// The files in `folder`, hidden ones too, as "name:content"; index files, which list full paths, by name only.
QString listing(const QString& folder) {
    QStringList files;
    for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
        QFile file(f.filePath());
        const bool listed = f.suffix() != "splt" && file.open(QIODevice::ReadOnly);
        files << (listed ? f.fileName() + ":" + file.readAll() : f.fileName());
    }
    return files.join(' ');
}

// A window that answers its real message boxes, recording them in `shown`, and calls `onProgress` as runs go on.
struct TestForm : Form1 {
    QStringList shown;
    std::function<void(const SplitMergeFile::Progress&)> onProgress = [](const auto&) {};
    TestForm() {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] {
            auto* b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (b == nullptr || !b->isVisible()) return;
            shown << box(b->windowTitle(), b->icon(), b->text(), int(mousePointer()));
            QTest::mouseClick(b->button(QMessageBox::Ok), Qt::LeftButton);
        });
        timer->start(1);
    }
    void progress(const SplitMergeFile::Progress& p) override {
        Form1::progress(p);
        onProgress(p);
    }
};

} // namespace

class WindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir settingsDir, cursorDir, brokenCursorDir; // the store; a cursor file; one cut short
    const QString settingsFile = settingsDir.filePath("Orvane.ini");
    int homePageLaunches = 0;

    // The value in the settings file itself, or "<absent>".
    QString storedValue(const QString& key) const {
        return QSettings(settingsFile, QSettings::IniFormat).value("Tessaly/" + key, "<absent>").toString();
    }

private slots:
    // The store goes to a folder of its own; home-page launches are counted; the draw gives 1 unless a test says.
    void initTestCase() {
        QVERIFY(settingsDir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        HomePage::setLaunch([this](const QUrl&) { ++homePageLaunches; });
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        QVERIFY(writeFile(cursorDir.filePath("HAND-M.CUR"), cursorFile()));
        QVERIFY(writeFile(brokenCursorDir.filePath("HAND-M.CUR"), cursorFile().left(40)));
    }

    void init() {
        HomePage::setDraw([] { return 1; });
        QFile::remove(settingsFile);
        MessageBox::answerNext(0);
        MessageBox::takeRecorded();
        FileDialog::answerNext({});
        FileDialog::takeRecorded();
    }

    // Every control as "container/control x y width height", pixels at 96 DPI; a label grows to show its caption.
    void geometry() {
        const QStringList layout = {
            "Form1/Frame1 8 8 513 124",      "Frame1/Label1 16 27 87 15",     "Frame1/Text1 120 24 336 22",
            "Frame1/Check1 464 24 32 22",    "Frame1/Label7 16 54 79 15",     "Frame1/Text2 120 51 336 22",
            "Frame1/Check2 464 51 32 22",    "Frame1/lblSize 16 82 62 15",    "Frame1/Text3 80 80 93 22",
            "Frame1/Label2 176 82 31 15",    "Frame1/Check4 216 80 281 27",   "Form1/Frame2 8 136 513 97",
            "Frame2/Label3 16 27 81 15",     "Frame2/Text4 104 24 352 22",    "Frame2/Check5 464 24 32 22",
            "Frame2/Check3 16 51 482 27",    "Form1/ProgressBar1 8 240 513 25", "Form1/Command1 -48 176 41 33"};
        Form1 w;
        QCOMPARE(w.rect(), QRect(0, 0, 529, 273));
        for (const QString& expected : layout) {
            const QString name = expected.section(' ', 0, 0).section('/', 1);
            QWidget* c = w.findChild<QWidget*>(name);
            QVERIFY2(c != nullptr, qPrintable(name));
            QRect r = c->geometry();
            if (auto* l = qobject_cast<QLabel*>(c)) {
                QVERIFY2(l->width() >= l->fontMetrics().horizontalAdvance(l->text()), qPrintable(name));
                r.setWidth(std::min(r.width(), expected.section(' ', 3, 3).toInt()));
            }
            QCOMPARE(QString("%1/%2 %3 %4 %5 %6").arg(c->parentWidget()->objectName(), name).arg(r.x()).arg(r.y())
                         .arg(r.width()).arg(r.height()), expected);
        }
    }

    // Mouse moves over the named controls ("-": bare background; "busy" sets the mode as a run does), then the mode.
    void pointerModes_data() {
        QTest::addColumn<QString>("moves");
        QTest::addColumn<int>("endMode");
        for (const char* b : {"Check1", "Check2", "Check3", "Check4"}) QTest::newRow(b) << b << 99;
        QTest::newRow("others and Check5 keep hover") << "Check4 Frame1 Label1 Text3 Text1 ProgressBar1 Check5" << 99;
        QTest::newRow("bare background resets, Check5 keeps it") << "Check1 Text1 - Check5" << 0;
        QTest::newRow("busy stays busy") << "busy Check1 - Check4" << 11;
    }
    void pointerModes() {
        QFETCH(QString, moves);
        QFETCH(int, endMode);
        Form1 w;
        QVERIFY(start(w, cursorDir.path()));
        // Qt drops a movement to where the pointer already is: start elsewhere.
        QTest::mouseMove(w.windowHandle(), QPoint(1, 1));
        for (const QString& target : moves.split(' ')) {
            QWidget* c = w.findChild<QWidget*>(target);
            const QPoint inside = target == "Frame1" ? QPoint(5, 115) : c ? c->rect().center() : QPoint();
            if (target == "busy") w.setMousePointer(PointerMode::Busy);
            else QTest::mouseMove(w.windowHandle(), c ? c->mapTo(&w, inside) : QPoint(3, 3));
        }
        QCOMPARE(int(w.mousePointer()), endMode);
        // The mode governs the fields too; hovering shows the cursor file's image.
        QCOMPARE(w.Text1->cursor().shape(),
                 endMode == 11 ? Qt::WaitCursor : endMode == 99 ? Qt::BitmapCursor : Qt::IBeamCursor);
        if (endMode == 99) QCOMPARE(w.Text1->cursor().hotSpot(), QPoint(2, 4));
    }

    // Three starts drawing 6, 7 and 8, the first with an empty store: the fields, the store and the home-page visits
    // after each; no box, the window centred (halves rounded down), the broken cursor file ignored.
    void startUp() {
        QStringList after;
        for (int drawn : {6, 7, 8}) {
            HomePage::setDraw([drawn] { return drawn; });
            Form1 w;
            MessageBox::answerNext(1);
            w.Form_Load(brokenCursorDir.path());
            w.Check_MouseMove();
            QCOMPARE(w.Text2->cursor().shape(), Qt::PointingHandCursor);
            QVERIFY(MessageBox::takeRecorded().isEmpty());
            const QRect screen = QGuiApplication::primaryScreen()->geometry();
            const QSize margin = screen.size() - w.frameGeometry().size();
            QCOMPARE(w.pos(), screen.topLeft() + QPoint(margin.width() / 2, margin.height() / 2));
            after << QString("%1 %2, stored %3 %4, %5 visit")
                         .arg(w.Text2->text(), w.Text3->text(), storedValue("Output Folder"), storedValue("Chunk Size"))
                         .arg(std::exchange(homePageLaunches, 0));
            QVERIFY(writeSetting("Orvane", "Tessaly", "Output Folder", "/srv/p/"));
            QVERIFY(writeSetting("Orvane", "Tessaly", "Chunk Size", "x"));
        }
        const QString home = QDir::homePath() + "/";
        QCOMPARE(after, (QStringList{home + " 100000, stored " + home + " <absent>, 0 visit",
                                     "/srv/p/ x, stored /srv/p/ x, 1 visit", "/srv/p/ x, stored /srv/p/ x, 0 visit"}));
    }

    // Every keystroke in Text2 is stored; a store that cannot be written (a folder in its place) is told of once.
    void typingInText2StoresEveryKeystroke() {
        Form1 w;
        QStringList stored;
        for (const char key : {'/', 't', ' ', 'x'}) {
            QTest::keyClick(w.Text2, key);
            stored << storedValue("Output Folder");
        }
        QCOMPARE(stored.join('|'), "/|/t|/t |/t x");
        QVERIFY(QFile::remove(settingsFile));
        QVERIFY(QDir().mkpath(settingsFile));
        MessageBox::answerNext(2);
        QTest::keyClicks(w.Text2, "yz");
        QVERIFY(QDir(settingsFile).removeRecursively());
        QCOMPARE(MessageBox::takeRecorded().size(), 1);
    }

    // Tab goes round from Command1. Text3 left by Tab (reason -1), or for another window or a popup: the boxes shown,
    // the control then focused and the chunk size stored.
    void keyboardFocusAndLeavingText3() {
        Form1 w;
        QVERIFY(start(w));
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 10; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited.join(' '), "Command1 Check4 Check2 Text2 Text1 Check1 Text3 Check5 Text4 Check3 Command1");
        QCoreApplication::processEvents(); // the walk's own leave of Text3, which holds a number
        const std::tuple<const char*, int, const char*> rows[] = {
            {"abc", -1, "abc: 1 box, Text3, stored abc"}, {"0", -1, "0: 0 box, Check5, stored 0"},
            {"-5", -1, "-5: 0 box, Check5, stored -5"},   {"1.5", -1, "1.5: 0 box, Check5, stored 1.5"},
            {"abc", Qt::ActiveWindowFocusReason, "abc: 0 box, Text3, stored <absent>"},
            {"abc", Qt::PopupFocusReason, "abc: 0 box, Text3, stored <absent>"}};
        for (const auto& [text, reason, outcome] : rows) {
            QFile::remove(settingsFile);
            w.Text3->setFocus(Qt::MouseFocusReason);
            w.Text3->setText(text);
            MessageBox::answerNext(1);
            QFocusEvent out(QEvent::FocusOut, Qt::FocusReason(reason));
            if (reason < 0) QTest::keyClick(w.Text3, Qt::Key_Tab);
            else QCoreApplication::sendEvent(w.Text3, &out);
            QCoreApplication::processEvents();
            const QString got = QString("%1: %2 box, ").arg(text).arg(MessageBox::takeRecorded().size());
            QCOMPARE(got + qApp->focusWidget()->objectName() + ", stored " + storedValue("Chunk Size"), outcome);
        }
    }

    void progressBar() {
        Form1 w;
        auto shown = [&w](qint64 maximum, qint64 value) {
            w.setProgressMaximum(maximum);
            w.setProgressValue(value);
            return QList<int>{w.ProgressBar1->maximum(), w.ProgressBar1->value()};
        };
        QCOMPARE(shown(10, 3), (QList<int>{10, 3}));
        QCOMPARE(shown(0, 5), (QList<int>{1, 0})); // empty, not the busy animation
        QCOMPARE(shown(qint64(1) << 40, qint64(1) << 39), (QList<int>{INT_MAX, INT_MAX / 2}));
    }

    // What stands at the typed path: "file:<content>", "index" listing pieces "abc" and "de", "broken" a missing
    // third one too, "damaged" an empty line between them. In the boxes "%1" is that path, "%2" the missing piece.
    void commands_data() {
        QTest::addColumn<Cmd>("row");
        const auto W = QMessageBox::Warning, I = QMessageBox::Information;
        const QString split = box("Message", I, "File successfully split");
        const QString isSplit = box("Cannot Split File", W, "Cannot split splitted file.");
        const QString notExist = box("ERROR: File not exist", W, "%1 not exist!");
        const QString tooSmall = box("ERROR: Cannot split a file", W, "Filesize is less than or equal to chunk size.");
        const QString badChunk = box("ERROR: Cannot split a file", W,
                                     "The chunk size must be a whole number of bytes from 1 to 9223372036854775807.");
        const QString joined = box("Message", I, "Files successfully joined");
        auto row = [](const char* tag, const Cmd& c) { QTest::newRow(tag) << c; };
        row("split: empty field, no message", {true, "none", "", "3", {}});
        row("split: missing .splt path, name test first", {true, "none", "gone.splt", "3", {isSplit}});
        row("split: name test before the chunk size", {true, "file:0123456789", "a_splt1", "abc", {isSplit}});
        row("split: missing, before the chunk size", {true, "none", "movie.bin", "abc", {notExist}});
        for (const char* chunk : {"", "abc", "0", "-3", "9223372036854775808"})
            row(qPrintable(QString("split: chunk size \"%1\"").arg(chunk)), {true, "file:012", "m", chunk, {badChunk}});
        row("split: chunk size before the file size", {true, "file:", "movie.bin", "0", {badChunk}});
        row("split: exactly the chunk size", {true, "file:01234", "movie.bin", "5", {tooSmall}});
        row("split: chunk size above 32 bits", {true, "file:0123456789", "movie.bin", "4294967296", {tooSmall}});
        row("split: one byte longer", {true, "file:012345", "m", "5", {split}, "m.splt m_splt1:01234 m_splt2:5"});
        row("split: 1.5 gives 2", {true, "file:01234", "m", "1.5", {split}, "m.splt m_splt1:01 m_splt2:23 m_splt3:4"});
        row("split: 2.5 gives 2", {true, "file:01234", "m", "2.5", {split}, "m.splt m_splt1:01 m_splt2:23 m_splt3:4"});
        row("split: 3.5 gives 4", {true, "file:01234567", "m", "3.5", {split}, "m.splt m_splt1:0123 m_splt2:4567"});
        row("join: empty field", {false, "none", "", "", {box("Message", I, "You must select file to join.")}});
        row("join: missing", {false, "none", "p.splt", "", {notExist}});
        row("join: folder", {false, "folder", "p.splt", "", {notExist}});
        row("join: index file", {false, "index", "p.splt", "", {joined}, "p:abcde"});
        row("join: any name", {false, "index", "list.txt", "", {joined}, "list.txt:abcde"});
        row("join: missing piece, what was joined kept",
            {false, "broken", "p.splt", "", {box("Error message", W, "%2 splitted file not found")}, "p:abcde"});
        row("join: damaged index, nothing written",
            {false, "damaged", "p.splt", "",
             {box("Error message", W, "Cannot join %1: the index file is damaged (line 2 is empty).")}});
        row("split: FIFO", {true, "fifo", "movie.bin", "3", {notExist}});
        row("join: FIFO", {false, "fifo", "p.splt", "", {notExist}});
    }
    // Through the buttons, the real boxes answered as they open. All five buttons pressed during a run do nothing:
    // no dialog, no box, no second run (whose end would reset the pointer).
    void commands() {
        QFETCH(Cmd, row);
        QTemporaryDir inDir, outDir;
        const QString in = inDir.path() + "/", out = outDir.path() + "/";
        const QString typed = row.name.isEmpty() ? QString() : in + row.name;
        if (row.kind.startsWith("file:")) QVERIFY(writeFile(typed, row.kind.sliced(5).toUtf8()));
        if (row.kind == "folder") QVERIFY(QDir().mkpath(typed));
        if (row.kind == "fifo") QCOMPARE(::mkfifo(QFile::encodeName(typed).constData(), 0600), 0);
        if (row.kind == "index" || row.kind == "broken" || row.kind == "damaged") {
            QVERIFY(writeFile(in + "p_splt1", "abc"));
            QVERIFY(writeFile(in + "p_splt2", "de"));
            const QString missing = row.kind == "broken" ? in + "p_splt3\r\n" : "";
            const QString gap = row.kind == "damaged" ? "\r\n" : "";
            QVERIFY(writeFile(typed, (in + "p_splt1\r\n" + gap + in + "p_splt2\r\n" + missing).toUtf8()));
        }
        TestForm w;
        QVERIFY(start(w));
        const QList<QPushButton*> buttons{w.Check1, w.Check2, w.Check3, w.Check4, w.Check5};
        bool pressed = false;
        w.onProgress = [&](const SplitMergeFile::Progress& p) {
            if (p.pieces == 1 && !std::exchange(pressed, true))
                for (QPushButton* b : buttons) QTest::mouseClick(b, Qt::LeftButton);
        };
        FileDialog::answerNext({"/picked"});
        (row.split ? w.Text1 : w.Text4)->setText(typed);
        w.Text2->setText(out);
        w.Text3->setText(row.chunk);
        QTest::mouseClick(row.split ? w.Check4 : w.Check3, Qt::LeftButton);
        QCOMPARE(w.shown, row.boxes.replaceInStrings("%1", typed).replaceInStrings("%2", in + "p_splt3"));
        QCOMPARE(listing(out), row.written);
        QCOMPARE(pressed, !row.written.isEmpty());
        // Whatever happened: released buttons, default pointer, empty bar, no dialog asked.
        for (QPushButton* b : buttons) QVERIFY(!b->isChecked());
        QCOMPARE((QList<int>{int(w.mousePointer()), w.ProgressBar1->value(), FileDialog::pendingAnswers()}),
                 (QList<int>{0, 0, 1}));
        // Once the run is over the buttons work again.
        QTest::mouseClick(w.Check1, Qt::LeftButton);
        QCOMPARE(w.Text1->text(), QString("/picked"));
    }

    // Closing after the first piece stops the split, which removes its pieces, and ends the event loop.
    void closingDuringASplitStopsItAndEndsTheLoop() {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("big.bin"), "0123456789"));
        TestForm w;
        QVERIFY(start(w));
        w.Text1->setText(dir.filePath("big.bin"));
        w.Text2->setText(dir.path() + "/");
        w.Text3->setText("3");
        w.onProgress = [&w](const SplitMergeFile::Progress& p) {
            if (p.pieces != 1) return;
            QTimer::singleShot(0, &w, &QWidget::close);
            QThread::msleep(30); // past the engine's pause between event passes
        };
        bool loopRanAfterTheRun = false;
        QTimer::singleShot(0, &w, [&] {
            QTest::mouseClick(w.Check4, Qt::LeftButton);
            QTimer::singleShot(0, &w, [&] { loopRanAfterTheRun = true; });
        });
        // A safety net should the loop never end, not a timing check.
        QTimer::singleShot(120000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!loopRanAfterTheRun);
        QCOMPARE(w.shown, QStringList());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"big.bin"});
    }

    // Path fields filled by their pickers, answered or cancelled, with the filters asked ("" for the folder chooser);
    // then by a file or folder dropped from a file manager: its local path, a folder on Text2 ending in "/".
    void pathFieldsFilledByPickersAndDrops() {
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
        QCOMPARE(pick(w.Check1, w.Text1, "/d/my movie.avi"), (QStringList{"/d/my movie.avi", "All Files (*)"}));
        QCOMPARE(pick(w.Check5, w.Text4, ""), (QStringList{"old", "Split Files (*.splt)"}));
        QCOMPARE(pick(w.Check2, w.Text2, ""), (QStringList{"old", ""}));
        QCOMPARE(pick(w.Check2, w.Text2, "/d"), (QStringList{"/d/", ""}));
        auto drop = [](PathEdit* edit, const QString& path) {
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(path)});
            // Straight to the field: Qt passes drops on only in a drag the system started.
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            static_cast<QObject*>(edit)->event(&enter);
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            static_cast<QObject*>(edit)->event(&drop);
            return enter.isAccepted() ? edit->text() : "<drag refused>";
        };
        const QString dir = QDir::tempPath();
        QCOMPARE(drop(w.Text1, dir + "/movie.avi"), dir + "/movie.avi");
        QCOMPARE(drop(w.Text2, dir), dir + "/");
    }

    // The folder chosen, then the output-folder text with '/' or '\' as the separator ("-": no choice).
    void folderTidying() {
        const std::tuple<char, const char*, const char*> rows[] = {
            {'/', "", "-"},     {'/', "/", "/"},     {'/', "/data", "/data/"},     {'/', "/a//b", "/a/b/"},
            {'\\', "C", "-"},   {'\\', R"(C:\)", R"(C:\)"}, {'\\', R"(C:\Data)", R"(C:\Data\)"},
            {'\\', R"(C:\a\\)", R"(C:\a\\)"}, {'\\', R"(\\server\share)", R"(\\server\share\)"},
            {'\\', R"(\\server\\share)", R"(\\server\\share\)"}};
        for (const auto& [separator, chosen, text] : rows)
            QCOMPARE(chosen + QString(" -> ") + outputFolderFromChoice(chosen, separator).value_or("-"),
                     chosen + QString(" -> ") + text);
    }

    // A text in a locale: whether it is a number, and the chunk size it gives ("-": refused).
    void chunkSizeText() {
        const std::tuple<const char*, const char*, const char*> rows[] = {
            {"en_US", " +1,000 ", "number 1000"}, {"en_US", "0.5", "number -"}, {"en_US", "   ", "text -"},
            {"en_US", "12kb", "text -"},          {"en_US", "inf", "text -"},   {"en_US", "nan", "text -"},
            {"de_DE", "1.000,5", "number 1000"},  {"de_DE", "1,000", "number 1"},
            {"en_US", "9223372036854775807", "number 9223372036854775807"},
            {"en_US", "9223372036854775808", "number -"}};
        for (const auto& [locale, text, outcome] : rows) {
            const QString kind = isNumericText(text, QLocale(locale)) ? "number" : "text";
            const std::optional<qint64> size = chunkSizeFromText(text, QLocale(locale));
            QCOMPARE(QString("%1 '%2': %3 %4").arg(locale, text, kind, size ? QString::number(*size) : "-"),
                     QString("%1 '%2': %3").arg(locale, text, outcome));
        }
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
