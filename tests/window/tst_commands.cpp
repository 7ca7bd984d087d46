// The split and join commands, the file pickers and the folder chooser,
// driven through the window's own fields and buttons.
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

#include "FileDialog.h"
#include "Form1.h"
#include "MessageBox.h"
#include "PathEdit.h"
#include "Settings.h"
#include "TestSupport.h"
#include "addFolder.h"

using tessaly::FileDialog;
using tessaly::Form1;
using tessaly::MessageBox;

namespace {

// What a box showed, and the window's state while it was open.
struct Box {
    QString text, title;
    int icon;
    int pointer;
    int progress;
};

QString describe(const Box& b) {
    return QStringLiteral("%1|%2|%3").arg(b.title).arg(b.icon).arg(b.text);
}

// How a row expects a box: "title|icon|text", icon as QMessageBox::Icon.
QString warning(const QString& title, const QString& text) {
    return QStringLiteral("%1|%2|%3").arg(title).arg(int(QMessageBox::Warning)).arg(text);
}
QString information(const QString& title, const QString& text) {
    return QStringLiteral("%1|%2|%3").arg(title).arg(int(QMessageBox::Information)).arg(text);
}

// Answers every real message box that opens while it lives: records it and
// presses its OK button.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(Form1& w) : w_(w) {
        connect(&timer_, &QTimer::timeout, this, [this] { answer(); });
        timer_.start(1);
    }
    QStringList shown() const {
        QStringList list;
        for (const Box& b : boxes) list << describe(b);
        return list;
    }
    QList<Box> boxes;

private:
    void answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        boxes.append({box->text(), box->windowTitle(), int(box->icon()), w_.mousePointer(),
                      w_.ProgressBar1->value()});
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    }
    Form1& w_;
    QTimer timer_;
};

QByteArray pattern(qint64 size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i) bytes[i] = char((i * 7 + 3) & 0xff);
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Makes what a row names at `path`: "none", "folder", "fifo" or "file:<bytes>".
bool makeItem(const QString& kind, const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    if (kind == "none") return true;
    if (kind == "folder") return QDir().mkpath(path);
    if (kind == "fifo") {
#ifdef Q_OS_WIN
        return false;
#else
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
#endif
    }
    return writeFile(path, pattern(kind.mid(5).toLongLong()));
}

// Replaces a field's text by typing, as a user would.
void typeInto(QLineEdit* field, const QString& text) {
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

bool showAndActivate(Form1& w) {
    w.Form_Load(QDir::tempPath());
    w.show();
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}

const QString kNotSplit = "Cannot split splitted file.";
const QString kNotSplitTitle = "Cannot Split File";
const QString kNotExistTitle = "ERROR: File not exist";
const QString kCannotSplit = "ERROR: Cannot split a file";
const QString kTooSmall = "Filesize is less than or equal to chunk size.";
const QString kBadChunk = "The chunk size must be a whole number of bytes from 1 to 9223372036854775807.";

// A window that presses all five buttons at the first progress step of a
// run, that is, while the engine is working.
class PressingForm : public Form1 {
public:
    void setProgressValue(std::int64_t value) override {
        Form1::setProgressValue(value);
        if (value != 1 || pressed) return;
        pressed = true;
        const QString fields = Text1->text() + Text2->text() + Text4->text();
        const int progress = ProgressBar1->value();
        for (QPushButton* b : {Check1, Check2, Check3, Check4, Check5}) {
            QTest::mouseClick(b, Qt::LeftButton);
            allReleased = allReleased && !b->isChecked();
        }
        untouched = fields == Text1->text() + Text2->text() + Text4->text() &&
                    progress == ProgressBar1->value() && mousePointer() == kBusyPointer;
    }
    bool pressed = false;
    bool allReleased = true;
    bool untouched = false;
};

} // namespace

class CommandsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QStringLiteral("en_US"))); }

    void init() {
        testsupport::clearSettings();
        MessageBox::answerNext(0);
        MessageBox::takeRecorded();
        FileDialog::answerNext({});
        FileDialog::takeRecorded();
    }

    // Each row: what stands at the source path, the path typed (relative to
    // a fresh folder; "<empty>" for none), the chunk-size text, the boxes in
    // order ("%1" is the typed path) and the expected piece sizes.
    void split_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("chunk");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QList<qint64>>("pieces");
        const QString done = information("Message", "File successfully split");
        const QString notSplit = warning(kNotSplitTitle, kNotSplit);
        const QString notExist = warning(kNotExistTitle, "%1 not exist!");
        const QString tooSmall = warning(kCannotSplit, kTooSmall);
        const QString badChunk = warning(kCannotSplit, kBadChunk);
        auto row = [](const char* tag, const char* kind, const char* name, const char* chunk, QStringList boxes,
                      QList<qint64> pieces = {}) {
            QTest::newRow(tag) << kind << name << chunk << boxes << pieces;
        };
        row("empty source: no message", "none", "<empty>", "3", {});
        row("index name", "file:10", "movie.splt", "3", {notSplit});
        row("missing .splt path: name test first", "none", "gone.splt", "3", {notSplit});
        row("piece name", "file:10", "movie.bin_splt1", "3", {notSplit});
        row("_splt in a folder name", "file:10", "old_splt/movie.bin", "3", {notSplit});
        row("name test before the chunk size", "file:10", "a.splt", "abc", {notSplit});
        row("capital SPLT, missing", "none", "MOVIE.SPLT", "3", {notExist});
        row("capital SPLT, present", "file:10", "MOVIE.SPLT", "3", {done}, {3, 3, 3, 1});
        row("missing file", "none", "movie.bin", "3", {notExist});
        row("folder", "folder", "movie.bin", "3", {notExist});
        row("presence test before the chunk size", "none", "movie.bin", "abc", {notExist});
#ifndef Q_OS_WIN
        row("FIFO", "fifo", "movie.bin", "3", {notExist});
#endif
        row("empty chunk size", "file:10", "movie.bin", "", {badChunk});
        row("chunk size not a number", "file:10", "movie.bin", "abc", {badChunk});
        row("chunk size zero", "file:10", "movie.bin", "0", {badChunk});
        row("chunk size rounds to zero", "file:10", "movie.bin", "0.4", {badChunk});
        row("chunk size negative", "file:10", "movie.bin", "-3", {badChunk});
        row("chunk size too large", "file:10", "movie.bin", "9223372036854775808", {badChunk});
        row("chunk size before the size", "file:0", "movie.bin", "0", {badChunk});
        row("0-byte file", "file:0", "movie.bin", "1", {tooSmall});
        row("exactly the chunk size", "file:5", "movie.bin", "5", {tooSmall});
        row("one byte longer", "file:6", "movie.bin", "5", {done}, {5, 1});
        row("chunk size above 32 bits accepted", "file:10", "movie.bin", "4294967296", {tooSmall});
        row("1.5 rounds to 2", "file:5", "movie.bin", "1.5", {done}, {2, 2, 1});
        row("2.5 rounds to 2", "file:5", "movie.bin", "2.5", {done}, {2, 2, 1});
        row("3.5 rounds to 4", "file:10", "movie.bin", "3.5", {done}, {4, 4, 2});
        row("digit groups and blanks", "file:2500", "movie.bin", " 1,000 ", {done}, {1000, 1000, 500});
        row("any extension", "file:4", "notes", "2", {done}, {2, 2});
    }
    void split() {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, chunk);
        QFETCH(QStringList, boxes);
        QFETCH(QList<qint64>, pieces);
        QTemporaryDir dir;
        const QString typed = name == "<empty>" ? QString() : dir.filePath("in/" + name);
        QVERIFY(typed.isEmpty() || makeItem(kind, typed));
        const QString out = dir.filePath("out/");
        QVERIFY(QDir().mkpath(out));

        Form1 w;
        QVERIFY(showAndActivate(w));
        typeInto(w.Text1, typed);
        typeInto(w.Text2, out);
        typeInto(w.Text3, chunk);
        BoxAnswerer answerer(w);
        QTest::mouseClick(w.Check4, Qt::LeftButton);

        QCOMPARE(answerer.shown(), boxes.replaceInStrings("%1", typed));
        for (const Box& b : answerer.boxes) QCOMPARE(b.pointer, Form1::kBusyPointer);
        QVERIFY(!w.Check4->isChecked());
        QCOMPARE(w.mousePointer(), Form1::kDefaultPointer);
        QCOMPARE(w.ProgressBar1->value(), 0);
        // The fields keep their text.
        QCOMPARE(w.Text1->text(), typed);
        QCOMPARE(w.Text3->text(), chunk);

        const QStringList written = QDir(out).entryList(QDir::Files);
        if (pieces.isEmpty()) {
            QVERIFY2(written.isEmpty(), qPrintable(written.join(", ")));
            return;
        }
        // The success box was shown with the bar full; the command emptied it.
        QCOMPARE(answerer.boxes.last().progress, w.ProgressBar1->maximum());
        const QString base = QFileInfo(typed).fileName();
        QCOMPARE(written.size(), pieces.size() + 1);
        QVERIFY(written.contains(base + ".splt"));
        QByteArray joined;
        for (int k = 1; k <= pieces.size(); ++k) {
            const QByteArray piece = readFile(out + base + "_splt" + QString::number(k));
            QCOMPARE(piece.size(), pieces[k - 1]);
            joined += piece;
        }
        QCOMPARE(joined, readFile(typed));
    }

    // Each row: what stands at the index path, its name ("<empty>" for an
    // empty field), the boxes in order and the rebuilt file expected in the
    // output folder ("" for none). Pieces "p_splt1" (3 bytes) and "p_splt2"
    // (2 bytes) stand ready; "index" is an index file listing both, "broken"
    // one listing a missing third.
    void join_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QString>("rebuilt");
        const QString done = information("Message", "Files successfully joined");
        const QString notExist = warning(kNotExistTitle, "%1 not exist!");
        QTest::newRow("empty field") << "none" << "<empty>"
                                     << QStringList{information("Message", "You must select file to join.")} << "";
        QTest::newRow("missing") << "none" << "p.splt" << QStringList{notExist} << "";
        QTest::newRow("folder") << "folder" << "p.splt" << QStringList{notExist} << "";
#ifndef Q_OS_WIN
        QTest::newRow("FIFO") << "fifo" << "p.splt" << QStringList{notExist} << "";
#endif
        QTest::newRow("index file") << "index" << "p.splt" << QStringList{done} << "p";
        QTest::newRow("any name or extension") << "index" << "list.txt" << QStringList{done} << "list.txt";
        QTest::newRow("missing piece, told by the joiner")
            << "broken" << "p.splt" << QStringList{warning("Error message", "%2 splitted file not found")} << "";
    }
    void join() {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QStringList, boxes);
        QFETCH(QString, rebuilt);
        QTemporaryDir dir;
        const QString in = dir.filePath("in/");
        const QString out = dir.filePath("out/");
        QVERIFY(QDir().mkpath(in) && QDir().mkpath(out));
        QVERIFY(writeFile(in + "p_splt1", "abc") && writeFile(in + "p_splt2", "de"));
        const QString typed = name == "<empty>" ? QString() : in + name;
        QByteArray list = (in + "p_splt1\r\n" + in + "p_splt2\r\n").toUtf8();
        if (kind == "broken") list += (in + "p_splt3\r\n").toUtf8();
        if (kind == "index" || kind == "broken") QVERIFY(writeFile(typed, list));
        else QVERIFY(typed.isEmpty() || makeItem(kind, typed));

        Form1 w;
        QVERIFY(showAndActivate(w));
        typeInto(w.Text4, typed);
        typeInto(w.Text2, out);
        BoxAnswerer answerer(w);
        QTest::mouseClick(w.Check3, Qt::LeftButton);

        QCOMPARE(answerer.shown(), boxes.replaceInStrings("%1", typed).replaceInStrings("%2", in + "p_splt3"));
        for (const Box& b : answerer.boxes) QCOMPARE(b.pointer, Form1::kBusyPointer);
        QVERIFY(!w.Check3->isChecked());
        QCOMPARE(w.mousePointer(), Form1::kDefaultPointer);
        QCOMPARE(w.ProgressBar1->value(), 0);
        QCOMPARE(w.Text4->text(), typed);
        if (!rebuilt.isEmpty()) QCOMPARE(readFile(out + rebuilt), QByteArray("abcde"));
        else if (kind != "broken") QVERIFY(QDir(out).isEmpty());
    }

    // A whole round trip through the buttons, answering the real boxes.
    void splitThenJoinRebuildsTheFile() {
        QTemporaryDir dir;
        const QString source = dir.filePath("src/movie.bin");
        const QByteArray bytes = pattern(100003);
        QVERIFY(QDir().mkpath(dir.filePath("src")) && writeFile(source, bytes));
        const QString pieces = dir.filePath("pieces/");
        const QString joined = dir.filePath("joined/");
        QVERIFY(QDir().mkpath(pieces) && QDir().mkpath(joined));

        Form1 w;
        QVERIFY(showAndActivate(w));
        BoxAnswerer answerer(w);
        typeInto(w.Text1, source);
        typeInto(w.Text2, pieces);
        typeInto(w.Text3, "4096");
        QTest::mouseClick(w.Check4, Qt::LeftButton);
        QCOMPARE(answerer.shown(), QStringList{information("Message", "File successfully split")});
        QCOMPARE(QDir(pieces).entryList(QDir::Files).size(), 25 + 1);

        typeInto(w.Text4, pieces + "movie.bin.splt");
        typeInto(w.Text2, joined);
        w.Check3->setFocus();
        QTest::keyClick(w.Check3, Qt::Key_Space);
        QCOMPARE(answerer.shown(), (QStringList{information("Message", "File successfully split"),
                                                information("Message", "Files successfully joined")}));
        QCOMPARE(readFile(joined + "movie.bin"), bytes);
        QCOMPARE(w.mousePointer(), Form1::kDefaultPointer);
        QCOMPARE(w.ProgressBar1->value(), 0);
    }

    // While a run is under way every button springs back and does nothing:
    // no dialog, no box, no second run, no change to the pointer or the bar.
    void oneRunAtATime_data() {
        QTest::addColumn<bool>("splitting");
        QTest::newRow("during a split") << true;
        QTest::newRow("during a join") << false;
    }
    void oneRunAtATime() {
        QFETCH(bool, splitting);
        QTemporaryDir dir;
        const QString source = dir.filePath("movie.bin");
        QVERIFY(writeFile(source, pattern(10)));
        const QString index = dir.filePath("p.splt");
        QVERIFY(writeFile(dir.filePath("p_splt1"), "abc"));
        QVERIFY(writeFile(index, (dir.filePath("p_splt1") + "\r\n").toUtf8()));
        const QString out = dir.filePath("out/");
        QVERIFY(QDir().mkpath(out));

        PressingForm w;
        QVERIFY(showAndActivate(w));
        typeInto(w.Text1, source);
        typeInto(w.Text2, out);
        typeInto(w.Text3, "4");
        typeInto(w.Text4, index);
        FileDialog::answerNext({"/picked/a", "/picked/b", "/picked/c"});
        MessageBox::answerNext(10);
        QTest::mouseClick(splitting ? w.Check4 : w.Check3, Qt::LeftButton);

        QVERIFY(w.pressed);
        QVERIFY(w.allReleased);
        QVERIFY(w.untouched);
        QCOMPARE(FileDialog::pendingAnswers(), 3);
        const auto shown = MessageBox::takeRecorded();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QString(splitting ? "File successfully split" : "Files successfully joined"));
        QCOMPARE(QDir(out).entryList(QDir::Files).size(), splitting ? 4 : 1);
        QCOMPARE(w.mousePointer(), Form1::kDefaultPointer);
        QCOMPARE(w.ProgressBar1->value(), 0);

        // Once the run is over the buttons work again.
        QTest::mouseClick(w.Check1, Qt::LeftButton);
        QCOMPARE(w.Text1->text(), QString("/picked/a"));
        MessageBox::answerNext(0);
        FileDialog::answerNext({});
    }

    // Each row: the button, the dialog's answer ("" for a cancel), the
    // dialog expected, and the field's text afterwards (it starts as "old").
    void pickers_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
#ifdef Q_OS_WIN
        const QString all = "All Files (*.*)";
#else
        const QString all = "All Files (*)";
#endif
        const QString select = "Select File";
        const QString folder = "Please select folder to add:";
        QTest::newRow("source chosen") << "Check1" << "/data/my movie.avi" << select << all << "Text1"
                                       << "/data/my movie.avi";
        QTest::newRow("source cancelled") << "Check1" << "" << select << all << "Text1" << "old";
        QTest::newRow("index chosen") << "Check5" << "/data/a.splt" << select << "Split Files (*.splt)" << "Text4"
                                      << "/data/a.splt";
        QTest::newRow("index cancelled") << "Check5" << "" << select << "Split Files (*.splt)" << "Text4" << "old";
        QTest::newRow("folder chosen") << "Check2" << "/data" << folder << "" << "Text2" << "/data/";
        QTest::newRow("root folder chosen") << "Check2" << "/" << folder << "" << "Text2" << "/";
        QTest::newRow("folder cancelled") << "Check2" << "" << folder << "" << "Text2" << "old";
    }
    void pickers() {
        QFETCH(QString, button);
        QFETCH(QString, answer);
        QFETCH(QString, title);
        QFETCH(QString, filter);
        QFETCH(QString, field);
        QFETCH(QString, text);
        Form1 w;
        QVERIFY(showAndActivate(w));
        auto* edit = w.findChild<QLineEdit*>(field);
        typeInto(edit, "old");
        FileDialog::answerNext({answer});
        QTest::mouseClick(w.findChild<QPushButton*>(button), Qt::LeftButton);

        const auto asked = FileDialog::takeRecorded();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].title, title);
        QCOMPARE(asked[0].filter, filter);
        QCOMPARE(asked[0].folder, button == "Check2");
        QCOMPARE(edit->text(), text);
        if (field == "Text2") QCOMPARE(testsupport::storedValue("Output Folder"), text);
        QCOMPARE(w.mousePointer(), Form1::kDefaultPointer);
        QVERIFY(MessageBox::takeRecorded().isEmpty());
    }

    void folderTidying_data() {
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("text");
        const QString none = "<no choice>";
        const QChar slash('/'), backslash('\\');
        auto row = [](const char* tag, QChar sep, const char* in, const QString& out) {
            QTest::newRow(tag) << sep << QString(in) << out;
        };
        row("/: nothing chosen", slash, "", none);
        row("/: root stays", slash, "/", QString("/"));
        row("/: folder gains one", slash, "/data", QString("/data/"));
        row("/: ending in one keeps it", slash, "/data/", QString("/data/"));
        row("/: one pass over pairs", slash, "/a//b", QString("/a/b/"));
        row("\\: nothing chosen", backslash, "", none);
        row("\\: one character is no choice", backslash, "C", none);
        row("\\: drive root stays", backslash, "C:\\", QString("C:\\"));
        row("\\: folder gains one", backslash, "C:\\Data", QString("C:\\Data\\"));
        row("\\: three in a row become two", backslash, "C:\\a\\\\", QString("C:\\a\\\\"));
        row("\\: network path gains one", backslash, "\\\\server\\share", QString("\\\\server\\share\\"));
        row("\\: network path keeps its pairs", backslash, "\\\\server\\\\share",
            QString("\\\\server\\\\share\\"));
    }
    void folderTidying() {
        QFETCH(QChar, separator);
        QFETCH(QString, chosen);
        QFETCH(QString, text);
        QCOMPARE(tessaly::outputFolderFromChoice(chosen, separator).value_or("<no choice>"), text);
    }

    void browseForFolderGivesTheChoiceOrNothing() {
        FileDialog::answerNext({"/srv/data", ""});
        QCOMPARE(tessaly::BrowseForFolder(nullptr, "Please select folder to add:"),
                 QDir::toNativeSeparators("/srv/data"));
        QCOMPARE(tessaly::BrowseForFolder(nullptr, "Please select folder to add:"), QString());
        const auto asked = FileDialog::takeRecorded();
        QCOMPARE(asked.size(), 2);
        QVERIFY(asked[0].folder);
        QCOMPARE(asked[0].title, QString("Please select folder to add:"));
    }
};

int main(int argc, char* argv[]) {
    return testsupport::runTests(argc, argv, [] { return QList<QObject*>{new CommandsTest}; });
}

#include "tst_commands.moc"
