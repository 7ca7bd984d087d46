// The main window: layout, keyboard order, pointer modes, stored settings,
// start-up, the engine host and closing during a run.
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <climits>

#include "FileDialog.h"
#include "Form1.h"
#include "HomePage.h"
#include "MessageBox.h"
#include "PathEdit.h"
#include "Settings.h"
#include "SplitMergeFile.h"
#include "TestSupport.h"

using tessaly::Form1;
using tessaly::MessageBox;

namespace {

// A window whose runs are slow enough to be closed in the middle: every
// progress step takes a while, so the engine's event passes come due.
class SlowForm : public Form1 {
public:
    void setProgressValue(std::int64_t value) override {
        Form1::setProgressValue(value);
        if (value > 0) QThread::msleep(30);
    }
};

QWidget* child(Form1& w, const QString& name) { return w.findChild<QWidget*>(name); }

bool showAndActivate(Form1& w) {
    w.show();
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}

} // namespace

class Form1Test : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        tessaly::HomePage::setDraw([] { return 1; });
    }

    void init() {
        testsupport::clearSettings();
        MessageBox::answerNext(0);
        MessageBox::takeRecorded();
        testsupport::takeHomePageLaunches();
    }

    void controlGeometry_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");
        auto row = [](const char* name, const char* in, QRect r, const char* caption) {
            QTest::newRow(name) << QString(name) << QString(in) << r << QString(caption);
        };
        row("Frame1", "Form1", {8, 8, 513, 124}, "Split");
        row("Label1", "Frame1", {16, 27, 87, 15}, "One file to split:");
        row("Text1", "Frame1", {120, 24, 336, 22}, "");
        row("Check1", "Frame1", {464, 24, 32, 22}, "...");
        row("Label7", "Frame1", {16, 54, 79, 15}, "Output Folder:");
        row("Text2", "Frame1", {120, 51, 336, 22}, "");
        row("Check2", "Frame1", {464, 51, 32, 22}, "...");
        row("lblSize", "Frame1", {16, 82, 62, 15}, "Split every ");
        row("Text3", "Frame1", {80, 80, 93, 22}, "100000");
        row("Label2", "Frame1", {176, 82, 31, 15}, "bytes");
        row("Check4", "Frame1", {216, 80, 281, 27}, "Split Into .splt, .splt1, .splt2, etc.");
        row("Frame2", "Form1", {8, 136, 513, 97}, "Join");
        row("Label3", "Frame2", {16, 27, 81, 15}, ".splt Filename:");
        row("Text4", "Frame2", {104, 24, 352, 22}, "");
        row("Check5", "Frame2", {464, 24, 32, 22}, "...");
        row("Check3", "Frame2", {16, 51, 482, 27}, "Merge .spltx Files That Have Been Split Starting With .splt");
        row("ProgressBar1", "Form1", {8, 240, 513, 25}, "");
        row("Command1", "Form1", {-48, 176, 41, 33}, "Command1");
    }
    void controlGeometry() {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        Form1 w;
        QWidget* c = child(w, name);
        QVERIFY(c != nullptr);
        QCOMPARE(c->parentWidget()->objectName(), container);
        if (auto* l = qobject_cast<QLabel*>(c)) {
            // Labels size themselves to their caption: never narrower than
            // the layout, never cutting the caption.
            QCOMPARE(c->pos(), geometry.topLeft());
            QCOMPARE(c->height(), geometry.height());
            QVERIFY(c->width() >= geometry.width());
            QVERIFY(c->width() >= l->fontMetrics().horizontalAdvance(l->text()));
        } else {
            QCOMPARE(c->geometry(), geometry);
        }
        QVERIFY(c->isEnabled());
        QString text;
        if (auto* g = qobject_cast<QGroupBox*>(c)) text = g->title();
        if (auto* l = qobject_cast<QLabel*>(c)) text = l->text();
        if (auto* e = qobject_cast<QLineEdit*>(c)) {
            text = e->text();
            QCOMPARE(e->maxLength(), INT_MAX); // no length limit
        }
        if (auto* b = qobject_cast<QPushButton*>(c)) {
            text = b->text();
            QCOMPARE(b->isCheckable(), name.startsWith("Check"));
        }
        QCOMPARE(text, caption);
    }

    void windowFrameFontsAndColours() {
        Form1 w;
        QCOMPARE(w.size(), QSize(529, 273));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(w.windowTitle(), QString("Form1"));
        const QImage icon = w.windowIcon().pixmap(32, 32).toImage();
        QCOMPARE(qAlpha(icon.pixel(16, 16)), 0);

        const QStringList arial{"Arial", "Liberation Sans"};
        QVERIFY2(arial.contains(QFontInfo(w.font()).family()), qPrintable(QFontInfo(w.font()).family()));
        QCOMPARE(w.font().pointSizeF(), 9.0);
        QCOMPARE(w.font().weight(), QFont::Bold);
        QCOMPARE(w.Label1->font(), w.font());
        QCOMPARE(w.Text4->font(), w.font());
        for (QPushButton* b : {w.Check1, w.Check2, w.Check3, w.Check4, w.Check5}) {
            QCOMPARE(b->font().pointSizeF(), 11.25);
            QCOMPARE(b->font().weight(), QFont::Bold);
            QCOMPARE(b->palette().color(QPalette::Button), QColor(Qt::white));
        }
        QCOMPARE(w.palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(w.Frame1->autoFillBackground() && w.Label2->autoFillBackground());
        QVERIFY(!w.ProgressBar1->isTextVisible());
    }

    void tabOrderGoesRoundFromCommand1() {
        Form1 w;
        w.Form_Load(QDir::tempPath());
        QVERIFY(showAndActivate(w));
        QCOMPARE(QApplication::focusWidget(), w.Command1);
        const QList<QWidget*> order{w.Check4, w.Check2, w.Text2, w.Text1, w.Check1, w.Text3,
                                    w.Check5, w.Text4, w.Check3, w.Command1};
        for (QWidget* next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), next->objectName());
        }
        QCoreApplication::processEvents();
    }

    void pointerModes_data() {
        QTest::addColumn<int>("startMode");
        QTest::addColumn<QStringList>("moves");
        QTest::addColumn<int>("endMode");
        QTest::newRow("Check1 hovers") << 0 << QStringList{"Check1"} << 99;
        QTest::newRow("Check2 hovers") << 0 << QStringList{"Check2"} << 99;
        QTest::newRow("Check3 hovers") << 0 << QStringList{"Check3"} << 99;
        QTest::newRow("Check4 hovers") << 0 << QStringList{"Check4"} << 99;
        QTest::newRow("frame, label, fields and bar keep hover")
            << 0 << QStringList{"Check4", "Frame1 area", "Label1", "Text3", "Text1", "ProgressBar1"} << 99;
        QTest::newRow("bare background resets") << 0 << QStringList{"Check1", "Text1", "margin"} << 0;
        QTest::newRow("gap between the frames resets") << 0 << QStringList{"Check3", "gap"} << 0;
        QTest::newRow("Check5 leaves default alone") << 0 << QStringList{"Check5"} << 0;
        QTest::newRow("Check5 leaves hover alone") << 0 << QStringList{"Check2", "Check5"} << 99;
        QTest::newRow("busy stays busy") << 11 << QStringList{"Check1", "margin", "Check4", "gap"} << 11;
    }
    void pointerModes() {
        QFETCH(int, startMode);
        QFETCH(QStringList, moves);
        QFETCH(int, endMode);
        Form1 w;
        w.Form_Load(QDir::tempPath());
        QVERIFY(showAndActivate(w));
        // Qt drops a movement to where the pointer already is: start from a
        // spot that no row ends on.
        QTest::mouseMove(w.windowHandle(), QPoint(1, 1));
        w.setMousePointer(startMode);
        for (const QString& target : moves) {
            QPoint at;
            if (target == "margin") at = QPoint(3, 3);
            else if (target == "gap") at = QPoint(200, 134);
            else if (target == "Frame1 area") at = w.Frame1->mapTo(&w, QPoint(5, 115));
            else {
                QWidget* c = child(w, target);
                at = c->mapTo(&w, c->rect().center());
            }
            if (target == "margin" || target == "gap") QCOMPARE(w.childAt(at), nullptr);
            QTest::mouseMove(w.windowHandle(), at);
        }
        QCOMPARE(w.mousePointer(), endMode);
        // The mode governs the fields too.
        const Qt::CursorShape expected =
            endMode == 11 ? Qt::WaitCursor : endMode == 99 ? Qt::PointingHandCursor : Qt::IBeamCursor;
        QCOMPARE(w.Text1->cursor().shape(), expected);
        QCOMPARE(w.Check4->cursor().shape(), endMode == 0 ? Qt::ArrowCursor : expected);
    }

    void hoverPointerUsesTheCursorFile() {
        QTemporaryDir dir;
        QFile file(dir.filePath("HAND-M.CUR"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(testsupport::makeCursorFile(2, 4));
        file.close();
        Form1 w;
        w.Form_Load(dir.path());
        QVERIFY(w.hasCustomPointer());
        w.Check1_MouseMove();
        QCOMPARE(w.mousePointer(), 99);
        QCOMPARE(w.Text2->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(w.Text2->cursor().hotSpot(), QPoint(2, 4));
        QVERIFY(MessageBox::takeRecorded().isEmpty());
    }

    void unreadableCursorFileIsIgnored() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("HAND-M.CUR"));
        Form1 w;
        MessageBox::answerNext(1);
        w.Form_Load(dir.path());
        QVERIFY(!w.hasCustomPointer());
        QVERIFY(MessageBox::takeRecorded().isEmpty());
    }

    void firstStartWithEmptyStore() {
        Form1 w;
        w.Form_Load(QDir::tempPath());
        QCOMPARE(w.windowTitle(), QString("Tessaly"));
        QCOMPARE(w.Text2->text(), QDir::homePath() + "/");
        QCOMPARE(w.Text3->text(), QString("100000"));
        QCOMPARE(testsupport::storedValue("Output Folder"), QDir::homePath() + "/");
        QVERIFY(testsupport::storedValue("Chunk Size").isNull());
        QCOMPARE(w.ProgressBar1->palette().color(QPalette::Base), QColor(Qt::white));
    }

    void startRestoresStoredValues() {
        QVERIFY(tessaly::writeSetting("Orvane", "Tessaly", "Output Folder", "/srv/pieces/"));
        QVERIFY(tessaly::writeSetting("Orvane", "Tessaly", "Chunk Size", "not a number"));
        Form1 w;
        MessageBox::answerNext(1);
        w.Form_Load(QDir::tempPath());
        QCOMPARE(w.Text2->text(), QString("/srv/pieces/"));
        QCOMPARE(w.Text3->text(), QString("not a number"));
        QVERIFY(MessageBox::takeRecorded().isEmpty());
    }

    void typingInText2StoresEveryKeystroke() {
        Form1 w;
        w.Form_Load(QDir::tempPath());
        w.Text2->clear();
        QCOMPARE(testsupport::storedValue("Output Folder"), QString(""));
        const QString typed = "/tmp/o u";
        for (qsizetype i = 0; i < typed.size(); ++i) {
            QTest::keyClick(w.Text2, typed.at(i).toLatin1());
            QCOMPARE(testsupport::storedValue("Output Folder"), typed.left(i + 1));
        }
        QTest::keyClick(w.Text2, Qt::Key_Backspace);
        QCOMPARE(testsupport::storedValue("Output Folder"), QString("/tmp/o "));
    }

    void leavingText3_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("complains");
        QTest::newRow("letters") << "abc" << true;
        QTest::newRow("empty") << "" << true;
        QTest::newRow("zero") << "0" << false;
        QTest::newRow("negative") << "-5" << false;
        QTest::newRow("fraction") << "1.5" << false;
        QTest::newRow("groups") << " 1,000,000 " << false;
    }
    void leavingText3() {
        QFETCH(QString, text);
        QFETCH(bool, complains);
        Form1 w;
        w.Form_Load(QDir::tempPath());
        QVERIFY(showAndActivate(w));
        w.Text3->setFocus(Qt::MouseFocusReason);
        QCOMPARE(QApplication::focusWidget(), w.Text3);
        w.Text3->setText(text);
        QVERIFY(testsupport::storedValue("Chunk Size").isNull()); // not while focused
        MessageBox::answerNext(1);
        QTest::keyClick(w.Text3, Qt::Key_Tab);
        QCoreApplication::processEvents();
        const QList<MessageBox::Shown> shown = MessageBox::takeRecorded();
        QCOMPARE(shown.size(), complains ? 1 : 0);
        if (complains) {
            QCOMPARE(shown[0].text, QString("Must be numeric entry."));
            QCOMPARE(shown[0].title, QString("Tessaly"));
            QCOMPARE(shown[0].icon, MessageBox::Icon::None);
        }
        QCOMPARE(QApplication::focusWidget(), complains ? static_cast<QWidget*>(w.Text3) : w.Check5);
        QCOMPARE(testsupport::storedValue("Chunk Size"), text);
    }

    void otherWindowTakingFocusIsNoLeave_data() {
        QTest::addColumn<int>("reason");
        QTest::newRow("another window") << int(Qt::ActiveWindowFocusReason);
        QTest::newRow("a popup") << int(Qt::PopupFocusReason);
    }
    void otherWindowTakingFocusIsNoLeave() {
        QFETCH(int, reason);
        Form1 w;
        w.Form_Load(QDir::tempPath());
        w.Text3->setText("abc");
        MessageBox::answerNext(1);
        QFocusEvent out(QEvent::FocusOut, static_cast<Qt::FocusReason>(reason));
        QCoreApplication::sendEvent(w.Text3, &out);
        QCoreApplication::processEvents();
        QVERIFY(MessageBox::takeRecorded().isEmpty());
        QVERIFY(testsupport::storedValue("Chunk Size").isNull());
    }

    void centring_data() {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QPoint>("position");
        QTest::newRow("fits") << QSize(1920, 1080) << QSize(800, 600) << QPoint(560, 240);
        QTest::newRow("odd difference") << QSize(801, 601) << QSize(100, 100) << QPoint(350, 250);
        QTest::newRow("wider and taller than the screen") << QSize(800, 600) << QSize(1000, 700) << QPoint(-100, -50);
        QTest::newRow("larger by an odd amount") << QSize(100, 100) << QSize(201, 101) << QPoint(-51, -1);
    }
    void centring() {
        QFETCH(QSize, screen);
        QFETCH(QSize, window);
        QFETCH(QPoint, position);
        QCOMPARE(tessaly::centredPosition(screen, window), position);
    }

    void startCentresTheWindow() {
        Form1 w;
        w.Form_Load(QDir::tempPath());
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(w.pos(), screen.topLeft() + tessaly::centredPosition(screen.size(), w.frameGeometry().size()));
    }

    void startVisitsTheHomePage() {
        tessaly::HomePage::setDraw([] { return 7; });
        Form1 w;
        w.Form_Load(QDir::tempPath());
        tessaly::HomePage::setDraw([] { return 1; });
        QCOMPARE(testsupport::takeHomePageLaunches(), 1);
    }

    void progressBar_data() {
        QTest::addColumn<qint64>("maximum");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<int>("shownMaximum");
        QTest::addColumn<int>("shownValue");
        QTest::newRow("ordinary") << qint64(10) << qint64(3) << 10 << 3;
        QTest::newRow("full") << qint64(10) << qint64(10) << 10 << 10;
        QTest::newRow("empty range is an empty bar") << qint64(0) << qint64(0) << 1 << 0;
        QTest::newRow("full on an empty range") << qint64(0) << qint64(0) << 1 << 0;
        QTest::newRow("largest int") << qint64(INT_MAX) << qint64(INT_MAX) << INT_MAX << INT_MAX;
        QTest::newRow("beyond int, half") << (qint64(1) << 40) << (qint64(1) << 39) << INT_MAX << INT_MAX / 2;
        QTest::newRow("beyond int, full") << (qint64(1) << 40) << (qint64(1) << 40) << INT_MAX << INT_MAX;
    }
    void progressBar() {
        QFETCH(qint64, maximum);
        QFETCH(qint64, value);
        QFETCH(int, shownMaximum);
        QFETCH(int, shownValue);
        Form1 w;
        QCOMPARE(w.ProgressBar1->maximum(), 100);
        QCOMPARE(w.ProgressBar1->value(), 0);
        // As a run drives it: value first, then the range, then the steps.
        w.setProgressValue(0);
        w.setProgressMaximum(maximum);
        w.setProgressValue(value);
        QCOMPARE(w.progressMaximum(), maximum);
        QCOMPARE(w.ProgressBar1->minimum(), 0);
        QCOMPARE(w.ProgressBar1->maximum(), shownMaximum);
        QCOMPARE(w.ProgressBar1->value(), shownValue);
        w.setProgressValue(0);
        QCOMPARE(w.ProgressBar1->value(), 0);
    }

    // Each press, by mouse, keyboard or program, runs the button's command
    // once: the pickers open one (cancelled) dialog, the join with an empty
    // field shows one box, the split with an empty field shows nothing.
    void toggleButtonsSpringBack() {
        Form1 w;
        w.Form_Load(QDir::tempPath());
        QVERIFY(showAndActivate(w));
        tessaly::FileDialog::answerNext(QList<QString>(9, QString()));
        MessageBox::answerNext(3);
        for (QPushButton* b : {w.Check1, w.Check2, w.Check3, w.Check4, w.Check5}) {
            QTest::mouseClick(b, Qt::LeftButton);
            QVERIFY(!b->isChecked());
            b->setFocus();
            QTest::keyClick(b, Qt::Key_Space);
            QVERIFY(!b->isChecked());
            b->setChecked(true);
            QVERIFY(!b->isChecked());
        }
        QCOMPARE(tessaly::FileDialog::takeRecorded().size(), 9);
        QCOMPARE(MessageBox::takeRecorded().size(), 3);
        QCOMPARE(tessaly::FileDialog::pendingAnswers(), 0);
        QCOMPARE(MessageBox::pendingAnswers(), 0);
    }

    void droppedItemsGiveLocalPaths_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<bool>("slashAdded");
        QTest::newRow("file on Text1") << "Text1" << false << false;
        QTest::newRow("file on Text4") << "Text4" << false << false;
        QTest::newRow("folder on Text2") << "Text2" << true << true;
        QTest::newRow("file on Text2") << "Text2" << false << false;
    }
    void droppedItemsGiveLocalPaths() {
        QFETCH(QString, field);
        QFETCH(bool, folder);
        QFETCH(bool, slashAdded);
        QTemporaryDir dir;
        QString path = dir.filePath("my file #1.bin");
        if (folder) QVERIFY(QDir(dir.path()).mkdir("my file #1.bin"));
        else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        Form1 w;
        w.Form_Load(QDir::tempPath());
        auto* edit = w.findChild<QLineEdit*>(field);
        edit->setText("old text");
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        // Straight to the field: the application passes drop events only on
        // during a drag that the window system started.
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        static_cast<QObject*>(edit)->event(&enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        static_cast<QObject*>(edit)->event(&drop);
        QVERIFY(drop.isAccepted());
        const QString expected = path + (slashAdded ? "/" : "");
        QCOMPARE(edit->text(), expected);
        if (field == "Text2") QCOMPARE(testsupport::storedValue("Output Folder"), expected);
    }

    void engineMessagesGoThroughTheBox() {
        Form1 w;
        MessageBox::answerNext(1);
        w.showMessage("/a/b.bin splitted file not found", "Error message", SplitMergeFile::MessageIcon::Warning);
        const auto shown = MessageBox::takeRecorded();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QString("Error message"));
        QCOMPARE(shown[0].text, QString("/a/b.bin splitted file not found"));
        QCOMPARE(shown[0].icon, MessageBox::Icon::Warning);
        w.Text2->setText(QString::fromUtf8("/tmp/Grüße/"));
        QCOMPARE(w.outputFolder(), std::string("/tmp/Gr\xc3\xbc\xc3\x9f" "e/"));
    }

    // Closing the window during a long split stops the split, and the event
    // loop ends once the split has returned. Last: it runs the application's
    // own event loop, as the program does.
    void closingDuringASplitStopsItAndEndsTheProgram() {
        QTemporaryDir dir;
        const QString source = dir.filePath("big.bin");
        {
            QFile f(source);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(1 << 20));
        }
        SlowForm w;
        w.Form_Load(QDir::tempPath());
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
        // Only a safety net should the loop never end.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
        guard.start(120000);
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(outcome, std::optional(SplitMergeFile::Outcome::Stopped));
        QVERIFY(!loopRanAfterTheRun);
        QVERIFY(w.stopRequested());
        QVERIFY(!w.isVisible());
        QVERIFY(MessageBox::takeRecorded().isEmpty());
        QVERIFY(!QFile::exists(dir.filePath("big.bin.splt")));
    }
};

int main(int argc, char* argv[]) {
    return testsupport::runTests(argc, argv, [] { return QList<QObject*>{new Form1Test}; });
}

#include "tst_form1.moc"
