// The split and join commands, the file pickers and the folder chooser,
// driven through the window's own fields and buttons.
#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

#include "TestSupport.h"
#include "addFolder.h"

using tessaly::FileDialog;
using tessaly::Form1;
using tessaly::MessageBox;
using ts::box;

namespace {

QByteArray pattern(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) bytes[i] = char((i * 7 + 3) & 0xff);
    return bytes;
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

// A window that presses all five buttons at the first progress step of a
// run, that is, while the engine is working.
class PressingForm : public Form1 {
public:
    void setProgressValue(std::int64_t value) override {
        Form1::setProgressValue(value);
        if (value != 1 || pressed) return;
        pressed = true;
        const QString before = Text1->text() + Text2->text() + Text4->text();
        for (QPushButton* b : {Check1, Check2, Check3, Check4, Check5}) QTest::mouseClick(b, Qt::LeftButton);
        untouched = before == Text1->text() + Text2->text() + Text4->text() && ProgressBar1->value() == 1 &&
                    mousePointer() == kBusyPointer;
    }
    bool pressed = false;
    bool untouched = false;
};

} // namespace

class CommandsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { ts::reset(); }

    // Each row: the command, what stands at the typed path ("file:<bytes>",
    // "index" listing pieces of 3 and 2 bytes, "broken" listing a missing
    // third one too), the path relative to in/ ("" for an empty field), the
    // chunk size, the boxes in order ("%1" is the typed path, "%2" the
    // missing piece) and the files then in the output folder.
    void commands_data() {
        QTest::addColumn<bool>("split");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("chunk");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("written");
        const auto W = QMessageBox::Warning;
        const QString split = box(11, "Message", QMessageBox::Information, "File successfully split");
        const QString joined = box(11, "Message", QMessageBox::Information, "Files successfully joined");
        const QString isSplit = box(11, "Cannot Split File", W, "Cannot split splitted file.");
        const QString notExist = box(11, "ERROR: File not exist", W, "%1 not exist!");
        const QString tooSmall = box(11, "ERROR: Cannot split a file", W, "Filesize is less than or equal to chunk size.");
        const QString badChunk = box(11, "ERROR: Cannot split a file", W,
                                     "The chunk size must be a whole number of bytes from 1 to 9223372036854775807.");
        auto row = [](const char* tag, bool split, const char* kind, const char* name, const char* chunk,
                      QStringList boxes, QStringList written = {}) {
            QTest::newRow(tag) << split << kind << name << chunk << boxes << written;
        };
        row("split: empty field, no message", true, "none", "", "3", {});
        row("split: index name", true, "file:10", "movie.splt", "3", {isSplit});
        row("split: missing .splt path, name test first", true, "none", "gone.splt", "3", {isSplit});
        row("split: _splt in a folder name", true, "file:10", "old_splt/movie.bin", "3", {isSplit});
        row("split: name test before the chunk size", true, "file:10", "a.splt", "abc", {isSplit});
        row("split: capital SPLT, missing", true, "none", "MOVIE.SPLT", "3", {notExist});
        row("split: capital SPLT, present", true, "file:10", "MOVIE.SPLT", "3", {split}, pieces("MOVIE.SPLT", {3, 3, 3, 1}));
        row("split: missing, before the chunk size", true, "none", "movie.bin", "abc", {notExist});
        row("split: folder", true, "folder", "movie.bin", "3", {notExist});
#ifndef Q_OS_WIN
        row("split: FIFO", true, "fifo", "movie.bin", "3", {notExist});
#endif
        for (const char* chunk : {"", "abc", "0", "-3", "9223372036854775808"})
            row(qPrintable(QString("split: chunk size \"%1\"").arg(chunk)), true, "file:10", "movie.bin", chunk, {badChunk});
        row("split: chunk size before the file size", true, "file:0", "movie.bin", "0", {badChunk});
        row("split: 0-byte file", true, "file:0", "movie.bin", "1", {tooSmall});
        row("split: exactly the chunk size", true, "file:5", "movie.bin", "5", {tooSmall});
        row("split: chunk size above 32 bits", true, "file:10", "movie.bin", "4294967296", {tooSmall});
        row("split: one byte longer", true, "file:6", "m", "5", {split}, pieces("m", {5, 1}));
        row("split: 1.5 gives 2", true, "file:5", "m", "1.5", {split}, pieces("m", {2, 2, 1}));
        row("split: 2.5 gives 2", true, "file:5", "m", "2.5", {split}, pieces("m", {2, 2, 1}));
        row("split: 3.5 gives 4", true, "file:10", "m", "3.5", {split}, pieces("m", {4, 4, 2}));
        row("join: empty field", false, "none", "", "",
            {box(11, "Message", QMessageBox::Information, "You must select file to join.")});
        row("join: missing", false, "none", "p.splt", "", {notExist});
        row("join: folder", false, "folder", "p.splt", "", {notExist});
#ifndef Q_OS_WIN
        row("join: FIFO", false, "fifo", "p.splt", "", {notExist});
#endif
        row("join: index file", false, "index", "p.splt", "", {joined}, {"p:5"});
        row("join: any name", false, "index", "list.txt", "", {joined}, {"list.txt:5"});
        row("join: missing piece", false, "broken", "p.splt", "",
            {box(11, "Error message", W, "%2 splitted file not found")}, {"p:5"});
    }
    void commands() {
        QFETCH(bool, split);
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, chunk);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, written);
        QTemporaryDir dir;
        const QString in = dir.filePath("in/"), out = dir.filePath("out/");
        QVERIFY(QDir().mkpath(in) && QDir().mkpath(out));
        const QString typed = name.isEmpty() ? QString() : in + name;
        QVERIFY(QDir().mkpath(QFileInfo(in + name).path()));
        if (kind.startsWith("file:")) QVERIFY(ts::writeFile(typed, pattern(kind.mid(5).toLongLong())));
        if (kind == "folder") QVERIFY(QDir().mkpath(typed));
#ifndef Q_OS_WIN
        if (kind == "fifo") QCOMPARE(::mkfifo(QFile::encodeName(typed).constData(), 0600), 0);
#endif
        if (kind == "index" || kind == "broken") {
            QVERIFY(ts::writeFile(in + "p_splt1", "abc") && ts::writeFile(in + "p_splt2", "de"));
            const QString list = in + "p_splt1\r\n" + in + "p_splt2\r\n" + (kind == "broken" ? in + "p_splt3\r\n" : "");
            QVERIFY(ts::writeFile(typed, list.toUtf8()));
        }

        Form1 w;
        QVERIFY(ts::start(w));
        (split ? w.Text1 : w.Text4)->setText(typed);
        w.Text2->setText(out);
        w.Text3->setText(chunk);
        ts::BoxAnswerer answerer(w);
        QPushButton* button = split ? w.Check4 : w.Check3;
        QTest::mouseClick(button, Qt::LeftButton);

        QCOMPARE(answerer.shown, boxes.replaceInStrings("%1", typed).replaceInStrings("%2", in + "p_splt3"));
        // After every path: released button, default pointer, empty bar.
        QCOMPARE((QList<int>{button->isChecked(), w.mousePointer(), w.ProgressBar1->value()}), (QList<int>{0, 0, 0}));
        QCOMPARE(listing(out).join(" "), written.join(" "));
    }

    // A real split and a real join through the buttons, the real boxes
    // answered as they open.
    void splitThenJoinRebuildsTheFile() {
        QTemporaryDir dir;
        const QString source = dir.filePath("src/movie.bin");
        const QByteArray bytes = pattern(100003);
        QVERIFY(ts::writeFile(source, bytes));
        const QString pieces = dir.filePath("pieces/"), joined = dir.filePath("joined/");
        QVERIFY(QDir().mkpath(pieces) && QDir().mkpath(joined));

        Form1 w;
        QVERIFY(ts::start(w));
        ts::BoxAnswerer answerer(w);
        w.Text1->setText(source);
        w.Text2->setText(pieces);
        w.Text3->setText("4096");
        QTest::mouseClick(w.Check4, Qt::LeftButton);
        QCOMPARE(QDir(pieces).entryList(QDir::Files).size(), 25 + 1);

        w.Text4->setText(pieces + "movie.bin.splt");
        w.Text2->setText(joined);
        w.Check3->setFocus();
        QTest::keyClick(w.Check3, Qt::Key_Space);
        QCOMPARE(answerer.shown, (QStringList{box(11, "Message", QMessageBox::Information, "File successfully split"),
                                              box(11, "Message", QMessageBox::Information, "Files successfully joined")}));
        QCOMPARE(ts::readFile(joined + "movie.bin"), bytes);
    }

    // While a run is under way every button springs back and does nothing:
    // no dialog, no box, no second run, no change to the fields, pointer or bar.
    void oneRunAtATime_data() {
        QTest::addColumn<bool>("split");
        QTest::newRow("during a split") << true;
        QTest::newRow("during a join") << false;
    }
    void oneRunAtATime() {
        QFETCH(bool, split);
        QTemporaryDir dir;
        QVERIFY(ts::writeFile(dir.filePath("movie.bin"), pattern(10)) && ts::writeFile(dir.filePath("p_splt1"), "abc"));
        QVERIFY(ts::writeFile(dir.filePath("p.splt"), (dir.filePath("p_splt1") + "\r\n").toUtf8()));
        const QString out = dir.filePath("out/");
        QVERIFY(QDir().mkpath(out));

        PressingForm w;
        QVERIFY(ts::start(w));
        w.Text1->setText(dir.filePath("movie.bin"));
        w.Text2->setText(out);
        w.Text3->setText("4");
        w.Text4->setText(dir.filePath("p.splt"));
        FileDialog::answerNext({"/picked/a", "/picked/b", "/picked/c"});
        MessageBox::answerNext(10);
        QTest::mouseClick(split ? w.Check4 : w.Check3, Qt::LeftButton);

        QVERIFY(w.pressed && w.untouched);
        QCOMPARE(FileDialog::pendingAnswers(), 3);
        QCOMPARE(MessageBox::takeRecorded().size(), 1);
        QCOMPARE(listing(out), split ? pieces("movie.bin", {4, 4, 2}) : QStringList{"p:3"});
        for (QPushButton* b : {w.Check1, w.Check2, w.Check3, w.Check4, w.Check5}) QVERIFY(!b->isChecked());
        // Once the run is over the buttons work again.
        QTest::mouseClick(w.Check1, Qt::LeftButton);
        QCOMPARE(w.Text1->text(), QString("/picked/a"));
    }

    // Each row: the button, the dialog's answer ("" for a cancel), the
    // dialog's filter ("" for the folder chooser), the field and its text
    // afterwards (it starts as "old").
    void pickers_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
#ifdef Q_OS_WIN
        const QString all = "All Files (*.*)";
#else
        const QString all = "All Files (*)";
#endif
        const QString splt = "Split Files (*.splt)";
        QTest::newRow("source chosen") << "Check1" << "/data/my movie.avi" << all << "Text1" << "/data/my movie.avi";
        QTest::newRow("source cancelled") << "Check1" << "" << all << "Text1" << "old";
        QTest::newRow("index chosen") << "Check5" << "/data/a.splt" << splt << "Text4" << "/data/a.splt";
        QTest::newRow("index cancelled") << "Check5" << "" << splt << "Text4" << "old";
        QTest::newRow("folder chosen") << "Check2" << "/data" << "" << "Text2" << "/data/";
        QTest::newRow("folder cancelled") << "Check2" << "" << "" << "Text2" << "old";
    }
    void pickers() {
        QFETCH(QString, button);
        QFETCH(QString, answer);
        QFETCH(QString, filter);
        QFETCH(QString, field);
        QFETCH(QString, text);
        Form1 w;
        QVERIFY(ts::start(w));
        auto* edit = w.findChild<QLineEdit*>(field);
        edit->setText("old");
        FileDialog::answerNext({answer});
        QTest::mouseClick(w.findChild<QPushButton*>(button), Qt::LeftButton);

        const auto asked = FileDialog::takeRecorded();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].folder, button == "Check2");
        QCOMPARE(asked[0].filter, filter);
        QCOMPARE(edit->text(), QDir::toNativeSeparators(text));
        if (field == "Text2") QCOMPARE(ts::storedValue("Output Folder"), edit->text());
        QVERIFY(MessageBox::takeRecorded().isEmpty());
    }

    // The chosen folder and separator, and the output-folder text.
    void folderTidying_data() {
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("text");
        auto row = [](char sep, const char* in, const char* out) {
            QTest::addRow("%c \"%s\"", sep, in) << QChar(sep) << QString(in) << QString(out);
        };
        row('/', "", "<no choice>");
        row('/', "/", "/");
        row('/', "/data", "/data/");
        row('/', "/data/", "/data/");
        row('/', "/a//b", "/a/b/");
        row('\\', "", "<no choice>");
        row('\\', "C", "<no choice>");
        row('\\', "C:\\", "C:\\");
        row('\\', "C:\\Data", "C:\\Data\\");
        row('\\', "C:\\a\\\\", "C:\\a\\\\");
        row('\\', "\\\\server\\share", "\\\\server\\share\\");
        row('\\', "\\\\server\\\\share", "\\\\server\\\\share\\");
    }
    void folderTidying() {
        QFETCH(QChar, separator);
        QFETCH(QString, chosen);
        QFETCH(QString, text);
        QCOMPARE(tessaly::outputFolderFromChoice(chosen, separator).value_or("<no choice>"), text);
    }
};

TESSALY_TEST_MAIN(CommandsTest)
#include "tst_commands.moc"
