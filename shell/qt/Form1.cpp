#include "Form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
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
#include "EngineText.h"
#include "FileDialog.h"
#include "HomePage.h"
#include "HoverCursor.h"
#include "Layout.h"
#include "MessageBox.h"
#include "PathEdit.h"
#include "addFolder.h"

namespace tessaly {

namespace {

// The layout is measured in twips; 15 twips make one device-independent
// pixel, so Qt scales the window on high-DPI screens.
QRect twips(const layout::Twips& t) {
    return QRect(layout::pixels(t.left), layout::pixels(t.top), layout::pixels(t.width), layout::pixels(t.height));
}
QRect twips(const char* control) { return twips(layout::control(control).place); }
QString caption(const char* control) { return QString::fromLatin1(layout::control(control).caption); }

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
T* place(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(twips(name));
    return widget;
}

MessageBox::Icon boxIcon(WindowMessage::Icon icon) {
    switch (icon) {
    case WindowMessage::Icon::Information: return MessageBox::Icon::Information;
    case WindowMessage::Icon::Warning: return MessageBox::Icon::Warning;
    case WindowMessage::Icon::None: break;
    }
    return MessageBox::Icon::None;
}

} // namespace

Form1::Form1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    // Fixed size; minimise but no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twips(layout::kClientArea).size());
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

    auto label = [](QWidget* parent, const char* name) {
        auto* l = place(new QLabel(caption(name), parent), name);
        l->setAutoFillBackground(true);
        // A label is as wide as its caption. The layout's widths are those of
        // the caption in Arial; where the font renders a little wider, the
        // label grows rather than cut off the caption's end.
        l->resize(std::max(l->width(), l->sizeHint().width()), l->height());
        return l;
    };
    auto toggle = [&](QWidget* parent, const char* name) {
        auto* b = place(new QPushButton(caption(name), parent), name);
        b->setCheckable(true);
        b->setFont(buttonFont);
        whiten(b, QPalette::Button);
        return b;
    };
    auto frame = [this](const char* name) {
        auto* f = place(new QGroupBox(caption(name), this), name);
        f->setAutoFillBackground(true);
        return f;
    };

    Frame1 = frame("Frame1");
    Label1 = label(Frame1, "Label1");
    Text1 = place(new PathEdit(PathEdit::Kind::File, Frame1), "Text1");
    Check1 = toggle(Frame1, "Check1");
    Label7 = label(Frame1, "Label7");
    Text2 = place(new PathEdit(PathEdit::Kind::Folder, Frame1), "Text2");
    Check2 = toggle(Frame1, "Check2");
    lblSize = label(Frame1, "lblSize");
    Text3 = place(new QLineEdit(caption("Text3"), Frame1), "Text3");
    Text3->setMaxLength(INT_MAX);
    Label2 = label(Frame1, "Label2");
    Check4 = toggle(Frame1, "Check4");

    Frame2 = frame("Frame2");
    Label3 = label(Frame2, "Label3");
    Text4 = place(new PathEdit(PathEdit::Kind::File, Frame2), "Text4");
    Check5 = toggle(Frame2, "Check5");
    Check3 = toggle(Frame2, "Check3");

    ProgressBar1 = place(new QProgressBar(this), "ProgressBar1");
    ProgressBar1->setOrientation(Qt::Horizontal);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    Command1 = place(new QPushButton(caption("Command1"), this), "Command1");
    Command1->setFont(font());

    for (std::size_t i = 1; i < layout::kTabOrder.size(); ++i) {
        setTabOrder(findChild<QWidget*>(QString::fromLatin1(layout::kTabOrder[i - 1])),
                    findChild<QWidget*>(QString::fromLatin1(layout::kTabOrder[i])));
    }
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
    cursorFolder_ = cursorFolder;
    rules_.Form_Load();
}

void Form1::centreOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->geometry();
    const QSize window = frameGeometry().size();
    move(area.topLeft() + QPoint(layout::centredStart(area.width(), window.width()),
                                 layout::centredStart(area.height(), window.height())));
}

void Form1::loadHoverPointer() {
    const QString cursorPath = cursorFolder_ + QLatin1Char('/') + QLatin1String(kHoverCursorFileName);
    if (QFileInfo::exists(cursorPath)) customPointer_ = loadCursorFile(cursorPath);
}

int Form1::drawOneToHundred() { return HomePage::draw(); }

void Form1::openHomePage(const std::string& address) { HomePage::launch(QUrl(QString::fromStdString(address))); }

void Form1::setCaption(const std::string& caption) { setWindowTitle(QString::fromStdString(caption)); }

void Form1::whitenProgressBar() {
    whiten(ProgressBar1, QPalette::Base);
    whiten(ProgressBar1, QPalette::Window);
    ProgressBar1->setAutoFillBackground(true);
}

QLineEdit* Form1::field(Field field) const {
    switch (field) {
    case Field::Text1: return Text1;
    case Field::Text2: return Text2;
    case Field::Text3: return Text3;
    case Field::Text4: break;
    }
    return Text4;
}

QPushButton* Form1::button(Button button) const {
    switch (button) {
    case Button::Check1: return Check1;
    case Button::Check2: return Check2;
    case Button::Check3: return Check3;
    case Button::Check4: return Check4;
    case Button::Check5: break;
    }
    return Check5;
}

std::string Form1::text(Field f) { return toEngineText(field(f)->text()); }

void Form1::setText(Field f, const std::string& text) { field(f)->setText(fromEngineText(text)); }

void Form1::focus(Field f) { field(f)->setFocus(Qt::OtherFocusReason); }

bool Form1::isPressed(Button b) { return button(b)->isChecked(); }

void Form1::release(Button b) { button(b)->setChecked(false); }

void Form1::showPointer(PointerMode mode) {
    const QList<QWidget*> children = findChildren<QWidget*>();
    if (mode != PointerMode::Default) {
        // The mode governs every control, the text fields included.
        const QCursor cursor = mode == PointerMode::Busy ? QCursor(Qt::WaitCursor)
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

void Form1::showProgress(const ProgressSteps& steps) {
    ProgressBar1->setRange(0, steps.maximum);
    ProgressBar1->setValue(steps.value);
}

void Form1::showMessage(const WindowMessage& message) {
    MessageBox::show(this, fromEngineText(message.text), fromEngineText(message.title), boxIcon(message.icon));
}

std::string Form1::chooseFile(const std::string& title, FileFilter filter) {
    const QString chosen = FileDialog::getOpenFileName(this, QString::fromStdString(title),
                                                       QString::fromStdString(fileType(filter).description));
    return toEngineText(QDir::toNativeSeparators(chosen));
}

std::string Form1::chooseFolder(const std::string& title) {
    return toEngineText(BrowseForFolder(this, QString::fromStdString(title)));
}

NumberFormat Form1::numberFormat() { return tessaly::numberFormat(QLocale()); }

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
    rules_.requestStop();
    event->accept();
    QCoreApplication::quit();
}

void Form1::processEvents() { QCoreApplication::processEvents(); }

} // namespace tessaly
