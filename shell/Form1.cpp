#include "Form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <climits>
#include <cmath>

#include "ChunkSize.h"
#include "HomePage.h"
#include "HoverCursor.h"
#include "MessageBox.h"
#include "PathEdit.h"
#include "Settings.h"

namespace tessaly {

namespace {

constexpr const char* kProgramTitle = "Tessaly";

// The layout is measured in twips; 15 twips make one device-independent
// pixel, so Qt scales the window on high-DPI screens.
constexpr int kTwipsPerPixel = 15;
QRect twips(int left, int top, int width, int height) {
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                 height / kTwipsPerPixel);
}

QFont windowFont() {
    // Liberation Sans has Arial's metrics and stands in where Arial is missing.
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9);
    font.setWeight(QFont::Bold);
    return font;
}

void whiten(QWidget* widget, QPalette::ColorRole role = QPalette::Window) {
    QPalette palette = widget->palette();
    palette.setColor(role, Qt::white);
    widget->setPalette(palette);
}

template <typename T>
T* place(T* widget, const char* name, QRect geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

} // namespace

QPoint centredPosition(QSize screen, QSize window) {
    return QPoint(static_cast<int>(std::floor((screen.width() - window.width()) / 2.0)),
                  static_cast<int>(std::floor((screen.height() - window.height()) / 2.0)));
}

Form1::Form1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    // Fixed size; minimise but no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twips(0, 0, 7935, 4095).size());
    setFont(windowFont());
    whiten(this);
    setAutoFillBackground(true);
    // Transparent everywhere, so the title bar and the task bar show no picture.
    QPixmap icon(32, 32);
    icon.fill(Qt::transparent);
    setWindowIcon(QIcon(icon));
    buildControls();
}

Form1::~Form1() = default;

void Form1::buildControls() {
    QFont buttonFont = font();
    buttonFont.setPointSizeF(11.25);

    auto label = [](QWidget* parent, const char* name, const char* text, QRect r) {
        auto* l = place(new QLabel(QString::fromLatin1(text), parent), name, r);
        l->setAutoFillBackground(true);
        // A label is as wide as its caption. The layout's widths are those of
        // the caption in Arial; where the font renders a little wider, the
        // label grows rather than cut off the caption's end.
        l->resize(std::max(r.width(), l->sizeHint().width()), r.height());
        return l;
    };
    auto toggle = [&](QWidget* parent, const char* name, const char* text, QRect r) {
        auto* b = place(new QPushButton(QString::fromLatin1(text), parent), name, r);
        b->setCheckable(true);
        b->setFont(buttonFont);
        whiten(b, QPalette::Button);
        return b;
    };
    auto frame = [this](const char* name, const char* title, QRect r) {
        auto* f = place(new QGroupBox(QString::fromLatin1(title), this), name, r);
        f->setAutoFillBackground(true);
        return f;
    };

    Frame1 = frame("Frame1", "Split", twips(120, 120, 7695, 1860));
    Label1 = label(Frame1, "Label1", "One file to split:", twips(240, 405, 1305, 225));
    Text1 = place(new PathEdit(PathEdit::Kind::File, Frame1), "Text1", twips(1800, 360, 5040, 330));
    Check1 = toggle(Frame1, "Check1", "...", twips(6960, 360, 480, 330));
    Label7 = label(Frame1, "Label7", "Output Folder:", twips(240, 810, 1185, 225));
    Text2 = place(new PathEdit(PathEdit::Kind::Folder, Frame1), "Text2", twips(1800, 765, 5040, 330));
    Check2 = toggle(Frame1, "Check2", "...", twips(6960, 765, 480, 330));
    lblSize = label(Frame1, "lblSize", "Split every ", twips(240, 1230, 930, 225));
    Text3 = place(new QLineEdit(QStringLiteral("100000"), Frame1), "Text3", twips(1200, 1200, 1395, 330));
    Text3->setMaxLength(INT_MAX);
    Label2 = label(Frame1, "Label2", "bytes", twips(2640, 1230, 465, 225));
    Check4 = toggle(Frame1, "Check4", "Split Into .splt, .splt1, .splt2, etc.", twips(3240, 1200, 4215, 405));

    Frame2 = frame("Frame2", "Join", twips(120, 2040, 7695, 1455));
    Label3 = label(Frame2, "Label3", ".splt Filename:", twips(240, 405, 1215, 225));
    Text4 = place(new PathEdit(PathEdit::Kind::File, Frame2), "Text4", twips(1560, 360, 5280, 330));
    Check5 = toggle(Frame2, "Check5", "...", twips(6960, 360, 480, 330));
    Check3 = toggle(Frame2, "Check3", "Merge .spltx Files That Have Been Split Starting With .splt",
                    twips(240, 765, 7230, 405));

    ProgressBar1 = place(new QProgressBar(this), "ProgressBar1", twips(120, 3600, 7695, 375));
    ProgressBar1->setOrientation(Qt::Horizontal);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    // Lies left of the client area: never seen, but holds the first focus
    // stop, so no visible control is focused when the window opens.
    Command1 = place(new QPushButton(QStringLiteral("Command1"), this), "Command1", twips(-720, 2640, 615, 495));
    Command1->setFont(font());

    QWidget* order[] = {Command1, Check4, Check2, Text2, Text1, Check1, Text3, Check5, Text4, Check3};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
    Command1->setFocus();

    connect(Check1, &QPushButton::toggled, this, [this] { Check1_Click(); });
    connect(Check2, &QPushButton::toggled, this, [this] { Check2_Click(); });
    connect(Check3, &QPushButton::toggled, this, [this] { Check3_Click(); });
    connect(Check4, &QPushButton::toggled, this, [this] { Check4_Click(); });
    connect(Check5, &QPushButton::toggled, this, [this] { Check5_Click(); });
    connect(Text2, &QLineEdit::textChanged, this, [this] { Text2_Change(); });

    // Mouse movements without a pressed button reach only widgets that track
    // the mouse; the others swallow them. So the window sees movements over
    // its bare background, the four buttons see their own, and movements over
    // group boxes, labels, fields, the bar and Check5 change nothing.
    setMouseTracking(true);
    for (QPushButton* b : {Check1, Check2, Check3, Check4}) {
        b->setMouseTracking(true);
        b->installEventFilter(this);
    }
    Text3->installEventFilter(this);
}

void Form1::Form_Load() { Form_Load(QCoreApplication::applicationDirPath()); }

void Form1::Form_Load(const QString& cursorFolder) {
    centreOnScreen();

    // A missing or unreadable cursor file just leaves the system's pointing
    // hand as the hover pointer.
    const QString cursorPath = cursorFolder + QLatin1Char('/') + QLatin1String(kHoverCursorFileName);
    if (QFileInfo::exists(cursorPath)) customPointer_ = loadCursorFile(cursorPath);

    HomePage::visit();
    setWindowTitle(QString::fromLatin1(kProgramTitle));

    whiten(ProgressBar1, QPalette::Base);
    whiten(ProgressBar1, QPalette::Window);
    ProgressBar1->setAutoFillBackground(true);

    // The field is empty until now, so this is a change: Text2_Change stores
    // the value straight back.
    Text2->setText(readSetting(kSettingsApplication, kSettingsSection, kOutputFolderKey, defaultOutputFolder()));
    Text3->setText(readSetting(kSettingsApplication, kSettingsSection, kChunkSizeKey, kDefaultChunkSize));
}

void Form1::centreOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->geometry();
    move(area.topLeft() + centredPosition(area.size(), frameGeometry().size()));
}

void Form1::setMousePointer(PointerMode mode) {
    if (mode == mousePointer_) return;
    mousePointer_ = mode;
    applyPointer();
}

void Form1::applyPointer() {
    const QList<QWidget*> children = findChildren<QWidget*>();
    if (mousePointer_ != PointerMode::Default) {
        // The mode governs every control, the text fields included.
        const QCursor cursor = mousePointer_ == PointerMode::Busy
                                   ? QCursor(Qt::WaitCursor)
                                   : customPointer_.value_or(QCursor(Qt::PointingHandCursor));
        setCursor(cursor);
        for (QWidget* w : children) w->setCursor(cursor);
        return;
    }
    // Each control shows its usual pointer again.
    unsetCursor();
    for (QWidget* w : children) {
        if (qobject_cast<QLineEdit*>(w) != nullptr)
            w->setCursor(Qt::IBeamCursor);
        else
            w->unsetCursor();
    }
}

bool Form1::takePress(QPushButton* button) {
    if (!button->isChecked()) return false;
    button->setChecked(false);
    return true;
}

void Form1::Check_MouseMove() {
    if (mousePointer_ != PointerMode::Busy) setMousePointer(PointerMode::Hover);
}

void Form1::Form_MouseMove() {
    if (mousePointer_ != PointerMode::Busy) setMousePointer(PointerMode::Default);
}

void Form1::Text2_Change() { writeSettingOrWarn(kOutputFolderKey, Text2->text()); }

void Form1::Text3_LostFocus() {
    // A leave that was still pending when the window closed: nothing is
    // checked or stored at shutdown.
    if (stopRequested_) return;
    if (!isNumericText(Text3->text())) {
        MessageBox::show(this, QStringLiteral("Must be numeric entry."), QString::fromLatin1(kProgramTitle),
                         MessageBox::Icon::None);
        Text3->setFocus(Qt::OtherFocusReason);
    }
    // Stored as typed, number or not.
    writeSettingOrWarn(kChunkSizeKey, Text3->text());
}

void Form1::writeSettingOrWarn(const char* key, const QString& value) {
    if (writeSetting(kSettingsApplication, kSettingsSection, QString::fromLatin1(key), value)) return;
    // Once per run: a box on every keystroke would make the field unusable.
    if (warnedAboutSettings_) return;
    warnedAboutSettings_ = true;
    MessageBox::show(this,
                     QStringLiteral("Cannot save the settings in %1. The output folder and the chunk size "
                                    "will not be remembered.")
                         .arg(settingsLocation(kSettingsApplication)),
                     QString::fromLatin1(kProgramTitle), MessageBox::Icon::Warning);
}

void Form1::mouseMoveEvent(QMouseEvent* event) {
    Form_MouseMove();
    QWidget::mouseMoveEvent(event);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        if (watched == Check1 || watched == Check2 || watched == Check3 || watched == Check4) Check_MouseMove();
    } else if (watched == Text3 && event->type() == QEvent::FocusOut) {
        // Only a move to another control of this window is a leave; another
        // window or a popup taking the focus is not.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            // Runs once the focus has arrived at the other control, not in the
            // middle of the focus change.
            QMetaObject::invokeMethod(this, [this] { Text3_LostFocus(); }, Qt::QueuedConnection);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
    // Ends the program: a running split or join stops at its next event pass
    // and returns, and the event loop then ends instead of going on.
    stopRequested_ = true;
    event->accept();
    QCoreApplication::quit();
}

void Form1::setProgressValue(std::int64_t value) {
    progressValue_ = value;
    showProgress();
}

void Form1::setProgressMaximum(std::int64_t maximum) {
    progressMaximum_ = std::max<std::int64_t>(maximum, 0);
    showProgress();
}

void Form1::progress(const SplitMergeFile::Progress& progress) {
    // A new range starts from an empty bar, so the value never lies above
    // the maximum.
    if (progress.pieceCount != progressMaximum_) {
        setProgressValue(0);
        setProgressMaximum(progress.pieceCount);
    }
    if (progress.pieces != progressValue_) setProgressValue(progress.pieces);
}

void Form1::showProgress() {
    const std::int64_t value = std::clamp<std::int64_t>(progressValue_, 0, progressMaximum_);
    if (progressMaximum_ == 0) {
        // A range of 0..0 would make QProgressBar show its busy animation.
        ProgressBar1->setRange(0, 1);
        ProgressBar1->setValue(0);
        return;
    }
    if (progressMaximum_ <= INT_MAX) {
        ProgressBar1->setRange(0, static_cast<int>(progressMaximum_));
        ProgressBar1->setValue(static_cast<int>(value));
        return;
    }
    // QProgressBar counts in int: scale larger ranges down to INT_MAX steps.
    ProgressBar1->setRange(0, INT_MAX);
    ProgressBar1->setValue(static_cast<int>(static_cast<long double>(value) * INT_MAX / progressMaximum_));
}

void Form1::processEvents() { QCoreApplication::processEvents(); }

bool Form1::keepGoing() { return !stopRequested_; }

} // namespace tessaly
